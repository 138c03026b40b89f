#pragma once
// "Сверка настроек КП": the КП of one settings table checked over the line against what the table
// says, and on the engineer's consent the differing bytes written back. The work is TLineCheck's;
// the window shows it: the result of each КП in the grid, the differences of the current row in
// the table under it, the bytes read on the progress bar, each outcome as a dated log line.
//
// While a command runs the window repaints and takes clicks during every wait, the port's reads
// included; the running command's button reads "Остановить", the other controls that would start
// or change the work are disabled. A request to close the window waits for the command's end.

#include "controls/CommandDialog.h"
#include "remote/core/LineCheck.h"

#include <functional>
#include <map>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace talmar {

class IHost;
class TComPort;
class TDMTables;
class TTable;

class TFLineCheck : public TCommandDialog {
    Q_OBJECT
public:
    static constexpr const char* kCaption = "Сверка настроек КП";
    static constexpr const char* kCaptionCheck = "Сверить выделенные КП";
    static constexpr const char* kCaptionRepair = "Исправить выделенные КП";
    static constexpr const char* kCaptionStop = "Остановить";
    enum { ColName, ColController, ColResult };

    // appendLog: a dated line for the log pane and Log.txt.
    TFLineCheck(TDMTables& dm, TComPort& port, IHost& host, std::function<void(const std::string&)> appendLog,
                QWidget* parent = nullptr);
    ~TFLineCheck() override;

    TLineCheck& Check() const { return *check_; }

    QComboBox* CBTable = nullptr;
    QTableWidget* GridKP = nullptr;
    QPushButton* BCheck = nullptr;
    QPushButton* BRepair = nullptr;
    QLabel* LabelTimeOut = nullptr;
    QLineEdit* ETimeOut = nullptr;
    QProgressBar* PrBar = nullptr;
    QLabel* LabelDiff = nullptr;
    QTableWidget* GridDiff = nullptr;

public slots:
    void BCheckClick();
    void BRepairClick();

protected:
    bool CommandRunning() const override;
    void showEvent(QShowEvent* e) override;

private:
    class TView;
    friend class TView;

    void CreateControls();
    TTable& Table() const;
    // The grid anew from the chosen table, nothing selected.
    void LoadGrid();
    void ShowDifferences();
    void Run(bool repair);
    int GridRowOf(std::int64_t rowId) const;

    TDMTables& dm_;
    TComPort& port_;
    IHost& host_;
    std::function<void(const std::string&)> appendLog_;
    std::unique_ptr<TView> view_;
    std::unique_ptr<TLineCheck> check_;
    std::vector<std::int64_t> rowIds_;         // of the grid's rows
    std::map<std::int64_t, TKpCheck> results_; // of the chosen table, by row id
};

} // namespace talmar
