#pragma once
// The main window: menu, toolbar, the log pane with its progress bar, the status bar; owner of the
// serial port, the reply timer and, while a command runs, its programming object.

#include "InputGate.h"
#include "TalmarVersion.h"
#include "base/QtHost.h"
#include "jobs/RecordJob.h"
#include "link/ComPort.h"
#include "link/Programmator.h"

#include <QMainWindow>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QStatusBar;
class QToolBar;
class QToolButton;
class QWidget;
class QDialog;

namespace talmar {

class TDMTables;

class TFMain : public QMainWindow {
    Q_OBJECT
public:
    static constexpr const char* kCaption = kMainCaption;

    // The host carries the message boxes and the reply timer; the program passes the Qt one,
    // tests a recording one.
    explicit TFMain(std::unique_ptr<TQtHost> host, QWidget* parent = nullptr);
    ~TFMain() override;

    IHost& Host() { return *host_; }
    TComPort& ComPort1() { return comPort1_; }
    QTimer& Timer2() { return host_->Timer2(); }

    // The log pane. Lines reach Log.txt when a programming command ends and at exit, and only
    // when a programming command ran (LogChanged).
    void AppendLog(const std::string& line);
    const std::vector<std::string>& LogLines() const { return logLines_; }
    bool LogChanged = false;
    // Writes Log.txt (atomically) when LogChanged. A failure is shown, never thrown.
    void SaveLogIfChanged();

    // Runs a command; an error that escapes it is shown in an error box with the error's own text
    // (the application's error handler).
    template <typename F>
    void Guarded(F&& command);
    void ShowError(const std::string& text);

    // While a firmware command runs: the toolbar, menus, status bar and progress bar are disabled
    // (the log pane stays legible), the user's input to the window is held off and the screen
    // cursor is the hourglass. Unlocking drops the input that came meanwhile.
    void LockMainWindow();
    void UnlockMainWindow();
    bool Locked() const { return locked_; }

    // Status bar panel 1: the port as "COMn" (with the adapter's name for a device of the per-user
    // file), with the device it opens as the tool tip.
    void SetComPanel(int numCom);

    std::string FirmwareFileName;
    std::string SettingsFileName;
    std::string StartDir;

    // The data module, created right after this window; the commands read Pref.NumCom from it.
    void SetDataModule(TDMTables* dmTables) { dmTables_ = dmTables; }
    TDMTables* DataModule() const { return dmTables_; }

    // The programming object of the command that is running, or null.
    std::unique_ptr<TProgrammator> Programmator;
    // Bytes reported by the programming object since the progress bar was shown.
    int ProgressTotal = 0;
    void ProgrammatorReceiveByte(TProgrammator& sender, TTypePROM typeProm, int data);

    // The settings command: programs the image file (it becomes SettingsFileName) into the modem's
    // EEPROM and logs which record of the table it is. Nothing while another settings run or a
    // firmware command goes on; an error is shown after the window is free again. The result,
    // nullopt when there is none.
    std::optional<TJobResult> ProgSettings(TTable& table, const std::string& fileName);
    // The settings command as the editors' programming hands temp.eep to it.
    TSettingsRun SettingsRun();
    // The start text of the settings command for the current record of the table.
    static std::string SettingsStartText(const TTable& table);

    // The windows created after this one at start, for the menu commands to show. The three
    // settings editors program through this window's settings command.
    void SetWindows(QDialog* tuningLF, QDialog* tuningCom, QDialog* tuningLT, QDialog* tuningORTEN,
                    QDialog* tuningRC, QDialog* changeSystem);

    // Controls, by the names the rest of the program and the tests know them.
    QToolBar* ToolBar1 = nullptr;
    QWidget* Panel1 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QProgressBar* PrBar = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* StatusPanels[3] = {};
    QAction* FileOpen = nullptr;
    QAction* ProgFlash = nullptr;

public slots:
    void FileOpenExecute();
    // What the open dialog does with the chosen path (steps after the dialog).
    void FileChosen(const std::string& path);
    void ProgFlashExecute();
    void TBGetInfoClick();
    void N5Click();
    void N6Click();
    void N7Click();
    void N8Click();
    void N9Click();
    void N15Click();
    // "Сверка настроек КП...": the check of a line of КП against the settings tables.
    void N18Click();
    void N17Click();

private:
    void CreateControls();
    void FormCreate();
    QToolButton* AddToolButton(const char* name, int image, const QString& hint);
    QIcon Image(int index) const;

    std::unique_ptr<TQtHost> host_;
    TComPort comPort1_;
    std::vector<std::string> logLines_;
    // Log.txt as it was read at start, and how many of logLines_ came from it.
    std::string logHistory_;
    std::size_t historyLines_ = 0;
    bool logSaveBlocked_ = false; // Log.txt could not be read: never overwrite it in this run
    bool locked_ = false;
    TInputGate inputGate_;
    int NumCom();
    // What a programming command holds is given back on every way out, errors included.
    void EndCommand();

    TDMTables* dmTables_ = nullptr;
    bool settingsRunning_ = false;
    QDialog* fTuningLF_ = nullptr;
    QDialog* fTuningCom_ = nullptr;
    QDialog* fTuningLT_ = nullptr;
    QDialog* fTuningORTEN_ = nullptr;
    QDialog* fTuningRC_ = nullptr;
    QDialog* fChangeSystem_ = nullptr;
    QDialog* fLineCheck_ = nullptr; // made at its first opening
};

template <typename F>
void TFMain::Guarded(F&& command) {
    try {
        command();
    } catch (const std::exception& e) {
        ShowError(e.what());
    }
}

} // namespace talmar
