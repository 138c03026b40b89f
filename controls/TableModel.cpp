#include "controls/TableModel.h"

#include "controls/DataControls.h"

#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QStyledItemDelegate>
#include <algorithm>

namespace talmar {

// ---- TTableModel

TTableModel::TTableModel(TDataSource& source, std::vector<TGridColumn> columns, QObject* parent)
    : QAbstractTableModel(parent), source_(source), columns_(std::move(columns)) {
    rows_ = Table().Active() ? Table().RecordCount() : 0;
    listener_ = Table().Subscribe([this](const TTableChange& c) { OnTableChange(c); });
}

TTableModel::~TTableModel() {
    Table().Unsubscribe(listener_);
}

int TTableModel::FieldOf(int column) const {
    if (!Table().Active())
        return -1;
    return Table().FindField(Column(column).field);
}

int TTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int TTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant TTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_ || !Table().Active() || index.row() >= Table().RecordCount())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: {
        const int f = FieldOf(index.column());
        if (f < 0)
            return {};
        return FieldText(Table().Field(f), Table().ValueAt(index.row(), f));
    }
    case Qt::ForegroundRole:
        return foreground_ ? foreground_(index.row(), index.column()) : QVariant();
    default:
        return {};
    }
}

QVariant TTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= static_cast<int>(columns_.size()))
        return QAbstractTableModel::headerData(section, orientation, role);
    const TGridColumn& c = Column(section);
    if (!c.title.isEmpty())
        return c.title;
    const auto& fields = TableDef(Table().Definition().id).fields;
    for (const TFieldDef& f : fields)
        if (f.name == c.field && !f.label.empty())
            return QString::fromStdString(f.label);
    return QString::fromStdString(c.field);
}

Qt::ItemFlags TTableModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid() && Column(index.column()).editable)
        f |= Qt::ItemIsEditable;
    return f;
}

bool TTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || !Column(index.column()).editable)
        return false;
    return source_.Guard([&] {
        TTable& t = Table();
        const int f = t.FieldIndex(Column(index.column()).field);
        const TValue v = ParseFieldText(t.Field(f), value.toString());
        if (index.row() != t.RecNo() - 1)
            t.SetRecNo(index.row() + 1);
        t.Edit();
        t.SetValue(f, v);
    });
}

void TTableModel::OnTableChange(const TTableChange& change) {
    // The table is already in its new state; rows_ is what the views were told, and each notice
    // brings it one step nearer.
    switch (change.event) {
    case TTableEvent::RowInserted:
        beginInsertRows({}, change.row, change.row);
        ++rows_;
        endInsertRows();
        break;
    case TTableEvent::RowRemoved:
        beginRemoveRows({}, change.row, change.row);
        --rows_;
        endRemoveRows();
        break;
    case TTableEvent::RowChanged:
        if (change.row >= 0 && change.row < rows_)
            emit dataChanged(index(change.row, 0), index(change.row, columnCount() - 1));
        break;
    case TTableEvent::FieldChanged:
        if (change.row >= 0 && change.row < rows_)
            for (int c = 0; c < columnCount(); ++c)
                if (FieldOf(c) == change.field)
                    emit dataChanged(index(change.row, c), index(change.row, c));
        break;
    case TTableEvent::RowsReset:
        beginResetModel();
        rows_ = Table().Active() ? Table().RecordCount() : 0;
        endResetModel();
        break;
    case TTableEvent::BeforeMove:
    case TTableEvent::BeforePost:
    case TTableEvent::RecordMoved:
    case TTableEvent::StateChanged:
        break;
    }
}

// ---- TDBGrid

// The grid's part in the data source: a name being typed in a cell is written before the table
// posts or moves, like the text of any other field.
class TDBGrid::TEditorLink : public TFieldLink {
public:
    TEditorLink(TDBGrid& grid, TDataSource& source) : TFieldLink(source, {}), grid_(grid) {}
    void Refresh() override {}
    void WritePending() override { grid_.CommitEditor(); }

private:
    TDBGrid& grid_;
};

namespace {

// The in-place editor keeps to the column's size, and the grid can reach the open one.
class TGridDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* w = QStyledItemDelegate::createEditor(parent, option, index);
        const auto* model = qobject_cast<const TTableModel*>(index.model());
        if (auto* edit = qobject_cast<QLineEdit*>(w); edit && model) {
            const int f = model->FieldOf(index.column());
            if (f >= 0 && model->Table().Field(f).type == TFieldType::Alpha)
                edit->setMaxLength(model->Table().Field(f).size);
        }
        open = w;
        return w;
    }
    mutable QPointer<QWidget> open;
};

} // namespace

TDBGrid::TDBGrid(TTableModel* model, QWidget* parent) : QTableView(parent), model_(model) {
    setModel(model_);
    setItemDelegate(new TGridDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
    verticalHeader()->hide();
    horizontalHeader()->setStretchLastSection(true);
    setTabKeyNavigation(false);
    link_ = std::make_unique<TEditorLink>(*this, model_->Source());
    connect(&model_->Source(), &TDataSource::recordChanged, this, &TDBGrid::ShowCurrentRecord);
    connect(model_, &QAbstractItemModel::modelReset, this, &TDBGrid::ShowCurrentRecord);
    connect(this, &QAbstractItemView::clicked, this, [this] { emit cellClicked(); });
    ShowCurrentRecord();
}

TDBGrid::~TDBGrid() = default;

void TDBGrid::SetMultiSelect(bool multi) {
    setSelectionMode(multi ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
}

std::vector<int> TDBGrid::SelectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& i : selectionModel()->selectedRows())
        rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TDBGrid::CommitEditor() {
    auto* delegate = static_cast<TGridDelegate*>(itemDelegate());
    if (state() != QAbstractItemView::EditingState || !delegate->open)
        return;
    QWidget* editor = delegate->open;
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void TDBGrid::focusInEvent(QFocusEvent* e) {
    QTableView::focusInEvent(e);
    emit entered();
}

void TDBGrid::keyPressEvent(QKeyEvent* e) {
    const bool tab = e->key() == Qt::Key_Tab || e->key() == Qt::Key_Backtab;
    if (tab && (e->modifiers() & Qt::ControlModifier)) {
        const bool back = e->key() == Qt::Key_Backtab || (e->modifiers() & Qt::ShiftModifier);
        focusNextPrevChild(!back);
        e->accept();
        return;
    }
    QTableView::keyPressEvent(e);
}

void TDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (syncing_ || !current.isValid())
        return;
    TTable& t = model_->Table();
    if (t.Active() && current.row() != t.RecNo() - 1)
        model_->Source().Guard([&] { t.SetRecNo(current.row() + 1); });
    // A move the table refused (a post that failed) leaves the view on the current record.
    if (t.Active() && current.row() != t.RecNo() - 1)
        QMetaObject::invokeMethod(this, &TDBGrid::ShowCurrentRecord, Qt::QueuedConnection);
}

void TDBGrid::ShowCurrentRecord() {
    const TTable& t = model_->Table();
    const int row = t.Active() ? t.RecNo() - 1 : -1;
    if (row < 0 || row >= model_->rowCount()) {
        return;
    }
    const QModelIndex idx = model_->index(row, std::max(0, currentIndex().column()));
    if (idx == currentIndex())
        return;
    syncing_ = true;
    const auto flags = selectionMode() == QAbstractItemView::ExtendedSelection
                           ? QItemSelectionModel::NoUpdate
                           : QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
    selectionModel()->setCurrentIndex(idx, flags);
    syncing_ = false;
    scrollTo(idx);
}

} // namespace talmar
