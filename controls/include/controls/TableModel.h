#pragma once
// A grid over a table: TTableModel gives the table's rows to Qt's item views (display data, the
// column titles as header data, an optional foreground colour per cell, names typed in place),
// and TDBGrid keeps the view's current row on the table's current record in both directions.
//
// The model follows the table's notices row by row (a row changed, added or removed), so the
// view keeps its selection and its scroll position; only a real reset of the rows resets it.
//
//   TDataSource ds(table, host);
//   auto* model = new TTableModel(ds, {{"NameKP", {}, true}});           // one editable column
//   model->SetForeground([&](int row, int) { return QVariant(QColor(Qt::red)); });
//   auto* grid = new TDBGrid(model, parent);
//   grid->SetMultiSelect(true);                                          // several rows chosen
//   grid->SelectedRows();                                                // in table order

#include "controls/DataSource.h"

#include <QAbstractTableModel>
#include <QTableView>
#include <functional>
#include <vector>

namespace talmar {

struct TGridColumn {
    std::string field;
    QString title; // empty: the field's display label, or its name
    bool editable = false;
};

class TTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    TTableModel(TDataSource& source, std::vector<TGridColumn> columns, QObject* parent = nullptr);
    ~TTableModel() override;

    TDataSource& Source() const { return source_; }
    TTable& Table() const { return source_.Table(); }
    const TGridColumn& Column(int column) const { return columns_.at(static_cast<std::size_t>(column)); }
    // The table's field shown in a column, or -1 while the table is closed.
    int FieldOf(int column) const;

    // Foreground colour of a cell (an invalid QVariant: the view's own).
    using TForeground = std::function<QVariant(int row, int column)>;
    void SetForeground(TForeground foreground) { foreground_ = std::move(foreground); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // A typed value: the row becomes the current record, which goes into edit state and takes
    // the value. An error is shown and false returned.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

private:
    void OnTableChange(const TTableChange& change);

    TDataSource& source_;
    std::vector<TGridColumn> columns_;
    TForeground foreground_;
    int listener_ = 0;
    int rows_ = 0; // as last told to the views
};

class TDBGrid : public QTableView {
    Q_OBJECT
public:
    explicit TDBGrid(TTableModel* model, QWidget* parent = nullptr);
    ~TDBGrid() override;

    TTableModel* Model() const { return model_; }
    // Several rows may be chosen (with Ctrl and Shift); the current row stays the current record.
    void SetMultiSelect(bool multi);
    // The chosen rows, in table order.
    std::vector<int> SelectedRows() const;
    // Writes a name being typed in a cell (before the table posts or moves).
    void CommitEditor();

signals:
    // The grid got the focus (DBGrid1Enter) / a cell was clicked (DBGrid1CellClick).
    void entered();
    void cellClicked();

protected:
    void focusInEvent(QFocusEvent* e) override;
    // Tab, Shift+Tab and Ctrl+Tab move the focus to the next or previous control; the records are
    // moved with the arrow keys (and the navigator), so the keyboard never stays caught here.
    void keyPressEvent(QKeyEvent* e) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    class TEditorLink;
    void ShowCurrentRecord();

    TTableModel* model_;
    std::unique_ptr<TEditorLink> link_;
    bool syncing_ = false;
};

} // namespace talmar
