#pragma once
// The link between one table and the data-aware controls of a window (DSDataLF and the like).
// It listens to the table and tells each bound control what changed: another record, one field,
// the record state. Before the table posts or leaves the current record it asks every control to
// write the text the engineer is still typing, so a navigator button that takes no focus loses
// nothing. A control puts the record into edit state at the engineer's first change (auto-edit).
//
// Errors met on the way (a post the file refuses, text that does not convert) are shown in an
// error box with their own text, as the application's error handler does; the record keeps its
// state and its other edits.

#include "store/Table.h"

#include <QObject>
#include <functional>
#include <string>
#include <vector>

namespace talmar {

class IHost;
class TDataSource;

// One control bound to one field of the data source's current record.
class TFieldLink {
public:
    TFieldLink(TDataSource& source, std::string field);
    virtual ~TFieldLink();
    TFieldLink(const TFieldLink&) = delete;
    TFieldLink& operator=(const TFieldLink&) = delete;

    TDataSource& Source() const { return source_; }
    const std::string& FieldName() const { return field_; }
    // The field's index in the open table, or -1 (table closed, no such field).
    int Field() const;
    // The field's value in the current record; empty when there is none.
    TValue FieldValue() const;

    // Shows the field of the current record again (another record, the field changed).
    virtual void Refresh() = 0;
    // Writes what the engineer typed and has not written yet. Throws EValueError when the text
    // does not convert; the text stays in the control.
    virtual void WritePending() {}
    // The record state changed (browse / edit / insert / closed).
    virtual void StateChanged() {}

protected:
    // Auto-edit, then the value into the field. False (the error shown, the control showing the
    // field again) when the table refused.
    bool Write(const TValue& value);

private:
    TDataSource& source_;
    std::string field_;
    mutable int index_ = -1;
};

class TDataSource : public QObject {
    Q_OBJECT
public:
    TDataSource(TTable& table, IHost& host, QObject* parent = nullptr);
    ~TDataSource() override;

    TTable& Table() const { return table_; }
    IHost& Host() const { return host_; }

    // Runs an action of the engineer; an error is shown in an error box. False when it failed.
    bool Guard(const std::function<void()>& action);
    void ShowError(const std::string& text);

    // Auto-edit: the record into edit state (a new one on an empty table). False when the table
    // refused; the error has been shown.
    bool StartEdit();
    // Asks every control to write its pending text (before a post or a move).
    void UpdateRecord();
    // The same, showing an error instead of throwing it: every text that converts goes into the
    // record; the first control whose text did not is returned (it keeps the text, and its
    // error is shown), or null when every control's text is in the record.
    TFieldLink* WriteTyped();
    // Every control shows the current record again.
    void RefreshAll();

    void Attach(TFieldLink* link);
    void Detach(TFieldLink* link);

signals:
    // Another record is current, or the rows may show other values.
    void recordChanged();
    void fieldChanged(int field);
    void stateChanged();

private:
    void OnTableChange(const TTableChange& change);

    TTable& table_;
    IHost& host_;
    int listener_ = 0;
    std::vector<TFieldLink*> links_;
};

} // namespace talmar
