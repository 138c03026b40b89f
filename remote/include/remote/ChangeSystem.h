#pragma once
// The telemechanics system switch window: the list of КП (the ОРТЕН table) with the system and
// controller version last read, a poll of the selected КП and the switch of the selected КП into
// another system. The commands are TSystemSwitch's; the window shows them and passes the
// engineer's clicks on. Created once at start, shown modally from the main menu, hidden on close.
//
// While a command runs the window stays alive: it repaints and takes clicks during every wait,
// the port's reads included. The running command's button reads "Остановить" and a click on it
// asks the command to stop at its next check; the other buttons are disabled. The grid's
// selection may change meanwhile, but the current record belongs to the command: a click in the
// grid selects rows without moving the table. A request to close the window waits for the
// command's end.

#include "controls/CommandDialog.h"

#include <memory>

class QCheckBox;
class QShowEvent;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace talmar {

class IHost;
class TComPort;
class TDataSource;
class TDBGrid;
class TDMTables;
class TSystemSwitch;
class TTableModel;
enum class TSwitchButton;

class TFChangeSystem : public TCommandDialog {
    Q_OBJECT
public:
    static constexpr const char* kCaption = "Переключение системы телемеханики";
    static constexpr const char* kGridHint = "Выделяйте группу записей, используя Ctrl + щелчок мышкой\n"
                                             "или Shift + клавиши управления курсором";
    // Grid columns.
    enum { ColNameKP, ColENumController, ColV4433, ColTextSysMode };

    // port: the main window's ComPort1; host: its message boxes and event loop.
    TFChangeSystem(TDMTables& dm, TComPort& port, IHost& host, QWidget* parent = nullptr);
    ~TFChangeSystem() override;

    TSystemSwitch& Switch() const { return *switch_; }
    TTableModel* Model() const { return model_; }
    QPushButton* Button(TSwitchButton button) const;

    // Font colour of a grid cell: for TextSysMode the colour of its text, otherwise (and for an
    // empty text) none, which leaves the grid's own window-text colour.
    QVariant RxDBGridKPGetCellParams(int row, int column) const;

    TDBGrid* RxDBGridKP = nullptr;
    QPushButton* BRead = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* ECount = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* LbSuccess = nullptr;
    QCheckBox* CBv4433 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QPushButton* BGoFrec = nullptr;
    QPushButton* BGoTime = nullptr;
    QPushButton* BGoORTEN = nullptr;
    QLabel* LabelTimeOut = nullptr;
    QLineEdit* ETimeOut = nullptr;

public slots:
    void BReadClick();
    // The three switch buttons' handler: the system code comes from the clicked button's name.
    void BChangeModeClick(QPushButton* button);

protected:
    bool CommandRunning() const override;
    void showEvent(QShowEvent* e) override;

private:
    void CreateControls();
    // Runs a command, or passes a click on "Остановить" to the running one.
    template <typename F>
    void RunCommand(F&& command);

    // What the switch sees of the window.
    class TView;
    friend class TView;

    TDMTables& dm_;
    TComPort& port_;
    IHost& host_;
    std::unique_ptr<TDataSource> dsDataORTEN_;
    TTableModel* model_ = nullptr;
    std::unique_ptr<TView> view_;
    std::unique_ptr<TSystemSwitch> switch_;
};

} // namespace talmar
