#include "controls/DataSource.h"

#include "base/Host.h"
#include "store/Text.h"

#include <algorithm>

namespace talmar {

TFieldLink::TFieldLink(TDataSource& source, std::string field) : source_(source), field_(std::move(field)) {
    source_.Attach(this);
}

TFieldLink::~TFieldLink() {
    source_.Detach(this);
}

int TFieldLink::Field() const {
    const TTable& t = source_.Table();
    if (!t.Active())
        return -1;
    // A file opened again may hold its columns in another order: the index is checked each time.
    if (index_ < 0 || index_ >= t.FieldCount() || !EqualNoCase(t.Field(index_).name, field_))
        index_ = t.FindField(field_);
    return index_;
}

TValue TFieldLink::FieldValue() const {
    const int f = Field();
    const TTable& t = source_.Table();
    if (f < 0 || (t.IsEmpty() && t.State() != TTableState::Insert))
        return TValue();
    return t.Value(f);
}

bool TFieldLink::Write(const TValue& value) {
    TDataSource& ds = source_;
    const bool ok = ds.Guard([&] {
        const int f = Field();
        if (f < 0)
            ds.Table().FieldIndex(field_); // throws the table's own message
        ds.Table().Edit();
        ds.Table().SetValue(f, value);
    });
    if (!ok)
        Refresh();
    return ok;
}

TDataSource::TDataSource(TTable& table, IHost& host, QObject* parent)
    : QObject(parent), table_(table), host_(host) {
    listener_ = table_.Subscribe([this](const TTableChange& c) { OnTableChange(c); });
}

TDataSource::~TDataSource() {
    table_.Unsubscribe(listener_);
}

bool TDataSource::Guard(const std::function<void()>& action) {
    try {
        action();
        return true;
    } catch (const std::exception& e) {
        ShowError(e.what());
        return false;
    }
}

void TDataSource::ShowError(const std::string& text) {
    host_.ShowMessage(text, {}, TMsgButtons::Ok, TMsgIcon::Error);
}

bool TDataSource::StartEdit() {
    if (table_.State() == TTableState::Edit || table_.State() == TTableState::Insert)
        return true;
    return Guard([this] { table_.Edit(); });
}

void TDataSource::UpdateRecord() {
    const auto links = links_;
    for (TFieldLink* l : links)
        l->WritePending();
}

TFieldLink* TDataSource::WriteTyped() {
    // Every text that converts goes in; the first that does not is shown.
    TFieldLink* failed = nullptr;
    std::string error;
    const auto links = links_;
    for (TFieldLink* l : links) {
        try {
            l->WritePending();
        } catch (const std::exception& e) {
            if (!failed) {
                failed = l;
                error = e.what();
            }
        }
    }
    if (failed)
        ShowError(error);
    return failed;
}

void TDataSource::RefreshAll() {
    const auto links = links_;
    for (TFieldLink* l : links)
        l->Refresh();
}

void TDataSource::Attach(TFieldLink* link) {
    links_.push_back(link);
}

void TDataSource::Detach(TFieldLink* link) {
    std::erase(links_, link);
}

void TDataSource::OnTableChange(const TTableChange& change) {
    switch (change.event) {
    case TTableEvent::BeforeMove:
    case TTableEvent::BeforePost:
        // Text still being typed goes into the record first. Text that does not convert throws
        // and so stops the post or the move: the record stays as it is, the text in its control.
        UpdateRecord();
        break;
    case TTableEvent::RecordMoved:
    case TTableEvent::RowsReset:
        RefreshAll();
        emit recordChanged();
        break;
    case TTableEvent::RowChanged:
        if (change.row == table_.RecNo() - 1) {
            RefreshAll();
            emit recordChanged();
        }
        break;
    case TTableEvent::FieldChanged:
        for (TFieldLink* l : std::vector<TFieldLink*>(links_))
            if (l->Field() == change.field)
                l->Refresh();
        emit fieldChanged(change.field);
        break;
    case TTableEvent::StateChanged:
        for (TFieldLink* l : std::vector<TFieldLink*>(links_)) {
            l->Refresh();
            l->StateChanged();
        }
        emit stateChanged();
        break;
    case TTableEvent::RowInserted:
    case TTableEvent::RowRemoved:
        break;
    }
}

} // namespace talmar
