#include "remote/ChangeSystem.h"

#include "base/Host.h"
#include "controls/TableModel.h"
#include "link/ComPort.h"
#include "link/Modbus.h"
#include "remote/core/SwitchWindow.h"
#include "remote/core/SystemSwitch.h"
#include "store/DMTables.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <functional>

namespace talmar {

namespace {

QString Q(const char* text) {
    return QString::fromUtf8(text);
}

// The КП grid. While a command runs the current record is the command's: it makes each row it
// works current and stores the result there. A click or a cursor key then changes the selection
// and the view's cursor only; moving the table would post the row under way as "выполняю..." and
// send the request, and store its result, to the КП of the row clicked.
class TKPGrid : public TDBGrid {
public:
    TKPGrid(TTableModel* model, std::function<bool()> commandRuns, QWidget* parent)
        : TDBGrid(model, parent), commandRuns_(std::move(commandRuns)) {}

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override {
        if (commandRuns_())
            QTableView::currentChanged(current, previous);
        else
            TDBGrid::currentChanged(current, previous);
    }

private:
    std::function<bool()> commandRuns_;
};

// The system text keeps its colour in a selected row too.
class TSysTextDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const QVariant colour = index.data(Qt::ForegroundRole);
        if (colour.isValid())
            option->palette.setColor(QPalette::HighlightedText, colour.value<QColor>());
    }
};

} // namespace

// ---- what the switch sees of the window

class TFChangeSystem::TView : public ISwitchWindow {
public:
    explicit TView(TFChangeSystem& w) : w_(w) {}

    std::string ButtonCaption(TSwitchButton button) const override {
        return w_.Button(button)->text().toStdString();
    }
    void SetButtonCaption(TSwitchButton button, const std::string& caption) override {
        w_.Button(button)->setText(QString::fromStdString(caption));
    }
    void SetButtonEnabled(TSwitchButton button, bool enabled) override {
        w_.Button(button)->setEnabled(enabled);
    }
    std::string CountText() const override { return w_.ECount->text().toStdString(); }
    std::string TimeOutText() const override { return w_.ETimeOut->text().toStdString(); }
    bool VersionChecked() const override { return w_.CBv4433->isChecked(); }

    std::vector<std::int64_t> SelectedRowIds() const override {
        std::vector<std::int64_t> ids;
        const TTable& t = w_.dm_.TDataORTEN();
        if (!t.Active())
            return ids;
        for (const int row : w_.RxDBGridKP->SelectedRows())
            if (row < t.RecordCount())
                if (const std::int64_t id = t.RowIdAt(row); id != 0) // a record not yet posted has none
                    ids.push_back(id);
        return ids;
    }

    void ShowCounters(const std::string& text) override {
        w_.LbSuccess->setText(QString::fromStdString(text));
    }

    void SetBusyCursor(bool busy) override {
        if (busy == busy_)
            return;
        busy_ = busy;
        if (busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    }

    void ProcessMessages() override { w_.host_.ProcessMessages(false); }

    void Wait(std::int64_t ms) override {
        // Whole seconds typed into ETimeOut may exceed what one timer takes.
        while (ms > 0) {
            const int slice = static_cast<int>(std::min<std::int64_t>(ms, INT_MAX));
            Pause(w_.host_, slice);
            ms -= slice;
        }
    }

private:
    TFChangeSystem& w_;
    bool busy_ = false;
};

TFChangeSystem::TFChangeSystem(TDMTables& dm, TComPort& port, IHost& host, QWidget* parent)
    : TCommandDialog(parent), dm_(dm), port_(port), host_(host),
      dsDataORTEN_(std::make_unique<TDataSource>(dm.TDataORTEN(), host)),
      view_(std::make_unique<TView>(*this)) {
    setObjectName("FChangeSystem");
    setWindowTitle(Q(kCaption));
    switch_ = std::make_unique<TSystemSwitch>(dm_, port_, host_, *view_);
    CreateControls();
    resize(752, 480);
}

TFChangeSystem::~TFChangeSystem() {
    // The grid and its model listen to the data source and the table: they go first.
    delete RxDBGridKP;
    delete model_;
}

void TFChangeSystem::CreateControls() {
    model_ = new TTableModel(*dsDataORTEN_, {{"NameKP", Q("Название КП")},
                                             {"ENumController", Q("N МКД")},
                                             {"V4433", Q("версия AT90S4433")},
                                             {"TextSysMode", Q("Система ТМ")}});
    model_->SetForeground([this](int row, int column) { return RxDBGridKPGetCellParams(row, column); });
    RxDBGridKP = new TKPGrid(
        model_, [this] { return switch_->Running(); }, this);
    RxDBGridKP->setObjectName("RxDBGridKP");
    RxDBGridKP->SetMultiSelect(true);
    // The grid marked its current row as chosen while it still took one row only.
    RxDBGridKP->clearSelection();
    RxDBGridKP->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Rows are chosen, not cells: Tab goes on to the buttons.
    RxDBGridKP->setTabKeyNavigation(false);
    RxDBGridKP->setToolTip(Q(kGridHint));
    // The columns' widths, or their titles' where a font needs more.
    const int widths[] = {157, 49, 117, 107};
    for (int c = 0; c < 4; ++c)
        RxDBGridKP->setColumnWidth(c,
                                   std::max(widths[c], RxDBGridKP->horizontalHeader()->sectionSizeHint(c)));
    RxDBGridKP->setItemDelegateForColumn(ColTextSysMode, new TSysTextDelegate(RxDBGridKP));

    auto button = [](const char* name, const char* caption, QWidget* parent) {
        auto* b = new QPushButton(Q(caption), parent);
        b->setObjectName(name);
        b->setAutoDefault(false);
        return b;
    };
    auto label = [this](const char* name, const char* caption) {
        auto* l = new QLabel(Q(caption), this);
        l->setObjectName(name);
        return l;
    };
    auto edit = [this](const char* name, const char* text) {
        auto* e = new QLineEdit(Q(text), this);
        e->setObjectName(name);
        e->setFixedWidth(48);
        return e;
    };

    BRead = button("BRead", kCaptionBRead, this);
    connect(BRead, &QPushButton::clicked, this, &TFChangeSystem::BReadClick);
    Label1 = label("Label1", "Повторять опрос");
    ECount = edit("ECount", "1");
    Label1->setBuddy(ECount);
    Label2 = label("Label2", "раз");
    Label3 = label("Label3", "Успешных / неуспешных опросов КП");
    LbSuccess = label("LbSuccess", "0/0");
    CBv4433 = new QCheckBox(Q("Запрашивать версию прошивки AT90S4433"), this);
    CBv4433->setObjectName("CBv4433");

    GroupBox1 = new QGroupBox(Q("Перевод в систему телемеханики"), this);
    GroupBox1->setObjectName("GroupBox1");
    BGoFrec = button("BGoFrec", kCaptionBGoFrec, GroupBox1);
    BGoTime = button("BGoTime", kCaptionBGoTime, GroupBox1);
    BGoORTEN = button("BGoORTEN", kCaptionBGoORTEN, GroupBox1);
    auto* groupLayout = new QVBoxLayout(GroupBox1);
    for (QPushButton* b : {BGoFrec, BGoTime, BGoORTEN}) {
        groupLayout->addWidget(b);
        connect(b, &QPushButton::clicked, this, [this, b] { BChangeModeClick(b); });
    }

    LabelTimeOut = label("LabelTimeOut", "Тайт-аут между\nобращениями к КП, сек.");
    ETimeOut = edit("ETimeOut", "1");
    LabelTimeOut->setBuddy(ETimeOut);

    // Under the grid: the poll and its pause on the left, the switch on the right.
    auto* count = new QHBoxLayout;
    count->addWidget(Label1);
    count->addWidget(ECount);
    count->addWidget(Label2);
    count->addStretch();
    auto* counters = new QHBoxLayout;
    counters->addWidget(Label3);
    counters->addWidget(LbSuccess);
    counters->addStretch();
    auto* pause = new QHBoxLayout;
    pause->addWidget(LabelTimeOut);
    pause->addWidget(ETimeOut);
    pause->addStretch();
    auto* poll = new QVBoxLayout;
    poll->addWidget(BRead);
    poll->addLayout(count);
    poll->addLayout(counters);
    poll->addWidget(CBv4433);
    poll->addLayout(pause);
    auto* bottom = new QHBoxLayout;
    bottom->addLayout(poll);
    bottom->addWidget(GroupBox1, 0, Qt::AlignTop);
    bottom->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(RxDBGridKP, 1);
    layout->addLayout(bottom);
}

QPushButton* TFChangeSystem::Button(TSwitchButton button) const {
    // The buttons carry their component names.
    return findChild<QPushButton*>(QLatin1String(SwitchButtonName(button)));
}

QVariant TFChangeSystem::RxDBGridKPGetCellParams(int row, int column) const {
    if (column != ColTextSysMode)
        return {};
    const TTable& t = dm_.TDataORTEN();
    const int field = t.Active() ? t.FindField("TextSysMode") : -1;
    if (field < 0 || row < 0 || row >= t.RecordCount())
        return {};
    const int rgb = SysTextColour(t.ValueAt(row, field).AsString());
    if (rgb < 0)
        return {};
    return QColor::fromRgb(static_cast<QRgb>(rgb));
}

// ---- the commands

template <typename F>
void TFChangeSystem::RunCommand(F&& command) {
    if (switch_->Running()) {
        // A click on the button that reads "Остановить": the switch only sets its stop flag.
        command();
        return;
    }
    // The main window's port lets the window repaint while a read waits, and keeps the
    // engineer's input for later. Here every event is handled during the reads, so a click on
    // "Остановить" registers while a silent КП keeps the read waiting (the window is modal, the
    // other buttons are disabled and the grid leaves the current record alone).
    struct TIdle {
        TComPort& port;
        std::function<void()> saved;
        ~TIdle() { port.SetIdle(std::move(saved)); }
    } idle{port_, port_.Idle()};
    port_.SetIdle([this] {
        host_.ProcessMessages(false);
        // What the handling itself asked for (a repaint from a timer) goes now, not a slice later.
        QCoreApplication::sendPostedEvents();
    });
    command();

    // The view's cursor back on the current record (a click meanwhile may have moved it).
    const TTable& t = dm_.TDataORTEN();
    if (t.Active() && t.RecNo() > 0) {
        const QModelIndex current = RxDBGridKP->currentIndex();
        const QModelIndex record = model_->index(t.RecNo() - 1, std::max(0, current.column()));
        if (record != current)
            RxDBGridKP->selectionModel()->setCurrentIndex(record, QItemSelectionModel::NoUpdate);
    }
    CommandEnded();
}

void TFChangeSystem::BReadClick() {
    RunCommand([this] { switch_->BReadClick(); });
}

void TFChangeSystem::BChangeModeClick(QPushButton* button) {
    for (const TSwitchButton b : kSwitchButtons)
        if (b != TSwitchButton::BRead && button->objectName() == QLatin1String(SwitchButtonName(b))) {
            RunCommand([this, b] { switch_->BChangeModeClick(b); });
            return;
        }
}

void TFChangeSystem::showEvent(QShowEvent* e) {
    // A command works on the rows the engineer chose for it this time: none are chosen when the
    // window opens, so a click on a command button alone sends nothing. The current row stays
    // marked. (A window brought back from the task bar is not opened anew: it keeps its choice.)
    if (!e->spontaneous() && !switch_->Running())
        RxDBGridKP->clearSelection();
    TCommandDialog::showEvent(e);
}

bool TFChangeSystem::CommandRunning() const {
    return switch_->Running();
}

} // namespace talmar
