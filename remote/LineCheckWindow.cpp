#include "remote/LineCheckWindow.h"

#include "base/Host.h"
#include "link/ComPort.h"
#include "link/LogFile.h"
#include "link/Modbus.h"
#include "remote/core/SystemSwitch.h"
#include "store/DMTables.h"
#include "store/Table.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <cstdio>

namespace talmar {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QTableWidgetItem* Cell(const std::string& text) {
    auto* item = new QTableWidgetItem(Q(text));
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return item;
}

} // namespace

// ---- what the check sees of the window

class TFLineCheck::TView : public ILineCheckView {
public:
    explicit TView(TFLineCheck& w) : w_(w) {}

    void ProcessMessages() override { w_.host_.ProcessMessages(false); }
    void Wait(std::int64_t ms) override {
        while (ms > 0) {
            const int slice = static_cast<int>(std::min<std::int64_t>(ms, INT_MAX));
            Pause(w_.host_, slice);
            ms -= slice;
        }
    }
    void Progress(int done, int total) override {
        w_.PrBar->setMaximum(std::max(total, 1));
        w_.PrBar->setValue(std::min(done, std::max(total, 1)));
    }
    void KpStarted(const TKpCheck& kp) override {
        const int row = w_.GridRowOf(kp.rowId);
        if (row >= 0)
            w_.GridKP->setItem(row, ColResult, Cell("проверяю..."));
        ProcessMessages();
    }
    void KpDone(const TKpCheck& kp) override {
        w_.results_[kp.rowId] = kp;
        const int row = w_.GridRowOf(kp.rowId);
        if (row >= 0)
            w_.GridKP->setItem(row, ColResult, Cell(kp.Summary()));
        if (w_.appendLog_)
            w_.appendLog_(LogNow() + ": " + CheckLogLine(kp));
        w_.ShowDifferences();
    }
    bool ConfirmRepair(const TKpCheck& kp, int bytes) override {
        return w_.host_.ShowMessage("Записать в КП \"" + kp.name + "\" (N МКД " +
                                        std::to_string(kp.controller) +
                                        ") различающиеся байты настроек: " + std::to_string(bytes) + "?",
                                    kCaption, TMsgButtons::OkCancel, TMsgIcon::None) == TMsgResult::Ok;
    }

private:
    TFLineCheck& w_;
};

TFLineCheck::TFLineCheck(TDMTables& dm, TComPort& port, IHost& host,
                         std::function<void(const std::string&)> appendLog, QWidget* parent)
    : TCommandDialog(parent), dm_(dm), port_(port), host_(host), appendLog_(std::move(appendLog)),
      view_(std::make_unique<TView>(*this)) {
    setObjectName("FLineCheck");
    setWindowTitle(QString::fromUtf8(kCaption));
    check_ = std::make_unique<TLineCheck>(dm_, port_, host_, *view_);
    CreateControls();
    resize(760, 560);
}

TFLineCheck::~TFLineCheck() = default;

void TFLineCheck::CreateControls() {
    auto* tableLabel = new QLabel(QString::fromUtf8("Таблица настроек"), this);
    CBTable = new QComboBox(this);
    CBTable->setObjectName("CBTable");
    CBTable->addItems(
        {QString::fromUtf8("частотная"), QString::fromUtf8("временная"), QString::fromUtf8("ОРТЕН")});
    CBTable->setAccessibleName(QString::fromUtf8("Таблица настроек"));
    tableLabel->setBuddy(CBTable);
    connect(CBTable, &QComboBox::currentIndexChanged, this, [this] { LoadGrid(); });

    GridKP = new QTableWidget(0, 3, this);
    GridKP->setObjectName("GridKP");
    GridKP->setAccessibleName(QString::fromUtf8("КП"));
    GridKP->setHorizontalHeaderLabels({QString::fromUtf8("Название КП"), QString::fromUtf8("N МКД"),
                                       QString::fromUtf8("Результат сверки")});
    GridKP->setSelectionBehavior(QAbstractItemView::SelectRows);
    GridKP->setSelectionMode(QAbstractItemView::ExtendedSelection);
    GridKP->setEditTriggers(QAbstractItemView::NoEditTriggers);
    GridKP->setTabKeyNavigation(false);
    GridKP->horizontalHeader()->setStretchLastSection(true);
    GridKP->setColumnWidth(ColName, 220);
    GridKP->setToolTip(QString::fromUtf8("Выделяйте группу записей, используя Ctrl + щелчок мышкой\n"
                                         "или Shift + клавиши управления курсором"));
    connect(GridKP, &QTableWidget::currentCellChanged, this, [this] { ShowDifferences(); });

    BCheck = new QPushButton(QString::fromUtf8(kCaptionCheck), this);
    BCheck->setObjectName("BCheck");
    BCheck->setAutoDefault(false);
    connect(BCheck, &QPushButton::clicked, this, &TFLineCheck::BCheckClick);
    BRepair = new QPushButton(QString::fromUtf8(kCaptionRepair), this);
    BRepair->setObjectName("BRepair");
    BRepair->setAutoDefault(false);
    connect(BRepair, &QPushButton::clicked, this, &TFLineCheck::BRepairClick);

    LabelTimeOut = new QLabel(QString::fromUtf8("Пауза между обращениями к КП, сек."), this);
    ETimeOut = new QLineEdit("1", this);
    ETimeOut->setObjectName("ETimeOut");
    ETimeOut->setFixedWidth(48);
    LabelTimeOut->setBuddy(ETimeOut);

    PrBar = new QProgressBar(this);
    PrBar->setObjectName("PrBar");
    PrBar->setAccessibleName(QString::fromUtf8("Прочитано байт"));
    PrBar->setValue(0);

    LabelDiff = new QLabel(QString::fromUtf8("Различия выбранного КП"), this);
    GridDiff = new QTableWidget(0, 5, this);
    GridDiff->setObjectName("GridDiff");
    GridDiff->setAccessibleName(QString::fromUtf8("Различия выбранного КП"));
    LabelDiff->setBuddy(GridDiff);
    GridDiff->setHorizontalHeaderLabels({QString::fromUtf8("Параметр"), QString::fromUtf8("Имя"),
                                         QString::fromUtf8("Адрес"), QString::fromUtf8("В таблице"),
                                         QString::fromUtf8("В модеме")});
    GridDiff->setEditTriggers(QAbstractItemView::NoEditTriggers);
    GridDiff->setTabKeyNavigation(false);
    GridDiff->horizontalHeader()->setStretchLastSection(true);
    GridDiff->setColumnWidth(0, 220);

    auto* top = new QHBoxLayout;
    top->addWidget(tableLabel);
    top->addWidget(CBTable);
    top->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BCheck);
    buttons->addWidget(BRepair);
    buttons->addSpacing(16);
    buttons->addWidget(LabelTimeOut);
    buttons->addWidget(ETimeOut);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(GridKP, 2);
    layout->addLayout(buttons);
    layout->addWidget(PrBar);
    layout->addWidget(LabelDiff);
    layout->addWidget(GridDiff, 1);
}

TTable& TFLineCheck::Table() const {
    switch (CBTable->currentIndex()) {
    case 1:
        return dm_.TDataLT();
    case 2:
        return dm_.TDataORTEN();
    default:
        return dm_.TDataLF();
    }
}

void TFLineCheck::LoadGrid() {
    results_.clear();
    rowIds_.clear();
    GridKP->clearSelection();
    GridKP->setRowCount(0);
    const TTable& t = Table();
    if (t.Active()) {
        const int fName = t.FindField("NameKP");
        const int fController = t.FindField("ENumController");
        for (int r = 0; r < t.RecordCount(); ++r) {
            const std::int64_t id = t.RowIdAt(r);
            if (id == 0)
                continue;
            const int row = GridKP->rowCount();
            GridKP->insertRow(row);
            GridKP->setItem(row, ColName, Cell(fName < 0 ? "" : t.ValueAt(r, fName).AsString()));
            GridKP->setItem(row, ColController,
                            Cell(fController < 0 ? "" : t.ValueAt(r, fController).AsString()));
            GridKP->setItem(row, ColResult, Cell(""));
            rowIds_.push_back(id);
        }
    }
    // The current row may be marked, but nothing is selected: a command acts on chosen КП only.
    GridKP->clearSelection();
    PrBar->setValue(0);
    ShowDifferences();
}

int TFLineCheck::GridRowOf(std::int64_t rowId) const {
    const auto it = std::find(rowIds_.begin(), rowIds_.end(), rowId);
    return it == rowIds_.end() ? -1 : static_cast<int>(it - rowIds_.begin());
}

void TFLineCheck::ShowDifferences() {
    GridDiff->setRowCount(0);
    const int row = GridKP->currentRow();
    if (row < 0 || row >= static_cast<int>(rowIds_.size()))
        return;
    const auto it = results_.find(rowIds_[static_cast<std::size_t>(row)]);
    if (it == results_.end())
        return;
    char addr[8];
    for (const TParamDifference& d : it->second.differences) {
        const int r = GridDiff->rowCount();
        GridDiff->insertRow(r);
        std::snprintf(addr, sizeof addr, "%04X", static_cast<unsigned>(d.addr));
        GridDiff->setItem(r, 0, Cell(d.nameRus + (d.writable ? "" : " (не исправляется)")));
        GridDiff->setItem(r, 1, Cell(d.nameEng));
        GridDiff->setItem(r, 2, Cell(addr));
        GridDiff->setItem(r, 3, Cell(d.tableValue));
        GridDiff->setItem(r, 4, Cell(d.modemValue));
    }
}

void TFLineCheck::showEvent(QShowEvent* e) {
    if (!check_->Running())
        LoadGrid();
    TCommandDialog::showEvent(e);
}

void TFLineCheck::BCheckClick() {
    Run(false);
}

void TFLineCheck::BRepairClick() {
    Run(true);
}

void TFLineCheck::Run(bool repair) {
    if (check_->Running()) {
        // The button that reads "Остановить": the check ends after the exchange under way.
        check_->RequestStop();
        return;
    }
    std::vector<int> rows;
    for (const QModelIndex& i : GridKP->selectionModel()->selectedRows())
        rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    std::vector<std::int64_t> ids;
    for (const int r : rows)
        if (r < static_cast<int>(rowIds_.size()))
            ids.push_back(rowIds_[static_cast<std::size_t>(r)]);
    if (ids.empty())
        return; // nothing selected: nothing is sent
    int seconds = 0;
    try {
        seconds = StrToInt(ETimeOut->text().toStdString());
    } catch (const std::exception& e) {
        host_.ShowMessage(e.what(), {}, TMsgButtons::Ok, TMsgIcon::Error);
        return;
    }

    QPushButton* running = repair ? BRepair : BCheck;
    QPushButton* other = repair ? BCheck : BRepair;
    running->setText(QString::fromUtf8(kCaptionStop));
    other->setEnabled(false);
    CBTable->setEnabled(false);
    ETimeOut->setEnabled(false);
    // The port's reads keep the window painted and let a click on "Остановить" through.
    struct TRestore {
        TFLineCheck& w;
        QPushButton* running;
        QPushButton* other;
        const char* caption;
        std::function<void()> idle;
        ~TRestore() {
            w.port_.SetIdle(std::move(idle));
            running->setText(QString::fromUtf8(caption));
            other->setEnabled(true);
            w.CBTable->setEnabled(true);
            w.ETimeOut->setEnabled(true);
        }
    } restore{*this, running, other, repair ? kCaptionRepair : kCaptionCheck, port_.Idle()};
    port_.SetIdle([this] {
        host_.ProcessMessages(false);
        QCoreApplication::sendPostedEvents();
    });
    for (const std::int64_t id : ids)
        if (const int r = GridRowOf(id); r >= 0)
            GridKP->setItem(r, ColResult, Cell(""));
    try {
        check_->Run(Table(), ids, repair, seconds > 0 ? std::int64_t{seconds} * 1000 : 0);
    } catch (const std::exception& e) {
        host_.ShowMessage(e.what(), {}, TMsgButtons::Ok, TMsgIcon::Error);
    }
    CommandEnded();
}

bool TFLineCheck::CommandRunning() const {
    return check_->Running();
}

} // namespace talmar
