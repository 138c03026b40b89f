#include "controls/DataControls.h"

#include "store/Text.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QRadioButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace talmar {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

bool IsText(TFieldType t) {
    return t == TFieldType::Alpha || t == TFieldType::Memo || t == TFieldType::Other;
}

} // namespace

QString FieldText(const TFieldDef& field, const TValue& value) {
    if (value.IsNull())
        return {};
    if (field.type == TFieldType::Float || value.Kind() == TValue::TKind::Float)
        return Q(FormatFloat(value.AsFloat())).replace('.', ',');
    return Q(value.AsString());
}

TValue ParseFieldText(const TFieldDef& field, const QString& text) {
    const std::string s = text.toStdString();
    if (IsText(field.type))
        return s.empty() ? TValue() : TValue(s);
    if (Trim(s).empty())
        return TValue();
    try {
        switch (field.type) {
        case TFieldType::Integer:
        case TFieldType::Smallint:
            return TValue(TValue(s).AsInteger());
        case TFieldType::Float:
            return TValue(TValue(s).AsFloat()); // the decimal comma or a dot
        case TFieldType::Boolean:
            return TValue(TValue(s).AsBoolean());
        default:
            return TValue(s);
        }
    } catch (const EValueError&) {
        switch (field.type) {
        case TFieldType::Float:
            throw EValueError("'" + s + "' is not a valid floating point value");
        case TFieldType::Boolean:
            throw EValueError("'" + s + "' is not a valid boolean value");
        default:
            throw EValueError("'" + s + "' is not a valid integer value");
        }
    }
}

// ---- TDBEdit

TDBEdit::TDBEdit(TDataSource& source, std::string field, QWidget* parent)
    : QLineEdit(parent), TFieldLink(source, std::move(field)) {
    connect(this, &QLineEdit::textEdited, this, &TDBEdit::OnTextEdited);
    connect(this, &QLineEdit::editingFinished, this, &TDBEdit::OnEditingFinished);
    Refresh();
}

void TDBEdit::SetMaxChars(int chars) {
    maxChars_ = chars;
    Refresh();
}

void TDBEdit::Refresh() {
    pending_ = false;
    const int f = Field();
    limit_ = maxChars_;
    if (f >= 0 && Source().Table().Field(f).type == TFieldType::Alpha) {
        const int size = Source().Table().Field(f).size;
        limit_ = limit_ > 0 ? std::min(limit_, size) : size;
    }
    const QString text = f < 0 ? QString() : FieldText(Source().Table().Field(f), FieldValue());
    FitLength(text);
    if (text != this->text())
        setText(text);
}

void TDBEdit::FitLength(const QString& text) {
    // The line edit cuts its text to its maximum length: the maximum is never below the text
    // shown, and follows it down as the engineer shortens it, so that nothing typed grows past
    // the limit.
    const int n = limit_ > 0 ? std::max(limit_, static_cast<int>(text.size())) : 32767;
    if (maxLength() != n)
        setMaxLength(n);
}

void TDBEdit::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape && !isReadOnly()) {
        Refresh();
        e->accept();
        return;
    }
    QLineEdit::keyPressEvent(e);
}

void TDBEdit::OnTextEdited() {
    FitLength(text());
    if (pending_)
        return;
    // Auto-edit; on an empty table this starts a new record, which shows its empty fields: the
    // engineer's text is put back.
    const QString typed = text();
    const int cursor = cursorPosition();
    if (!Source().StartEdit()) {
        Refresh();
        return;
    }
    if (text() != typed) {
        setText(typed);
        setCursorPosition(cursor);
    }
    pending_ = true;
}

void TDBEdit::WritePending() {
    if (!pending_ || writing_)
        return;
    const int f = Source().Table().FieldIndex(FieldName());
    const TValue v = ParseFieldText(Source().Table().Field(f), text());
    writing_ = true;
    try {
        Source().Table().Edit();
        Source().Table().SetValue(f, v);
    } catch (...) {
        writing_ = false;
        throw;
    }
    writing_ = false;
    pending_ = false;
    Refresh(); // the stored form: " 7" shows as "7"
}

void TDBEdit::OnEditingFinished() {
    if (!pending_ || writing_)
        return;
    Source().Guard([this] { WritePending(); });
}

// ---- TDBMemo

TDBMemo::TDBMemo(TDataSource& source, std::string field, QWidget* parent)
    : QPlainTextEdit(parent), TFieldLink(source, std::move(field)) {
    setTabChangesFocus(true);
    connect(this, &QPlainTextEdit::textChanged, this, &TDBMemo::OnTextChanged);
    Refresh();
}

void TDBMemo::Refresh() {
    pending_ = false;
    const QString text = Q(FieldValue().AsString());
    if (text == toPlainText())
        return;
    refreshing_ = true;
    setPlainText(text);
    refreshing_ = false;
}

void TDBMemo::OnTextChanged() {
    if (refreshing_ || pending_)
        return;
    const QString typed = toPlainText();
    if (!Source().StartEdit()) {
        Refresh();
        return;
    }
    if (toPlainText() != typed) {
        refreshing_ = true;
        setPlainText(typed);
        moveCursor(QTextCursor::End);
        refreshing_ = false;
    }
    pending_ = true;
}

void TDBMemo::WritePending() {
    if (!pending_)
        return;
    const int f = Source().Table().FieldIndex(FieldName());
    Source().Table().Edit();
    Source().Table().SetValue(f, ParseFieldText(Source().Table().Field(f), toPlainText()));
    pending_ = false;
}

void TDBMemo::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape && !isReadOnly()) {
        Refresh();
        e->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(e);
}

void TDBMemo::focusOutEvent(QFocusEvent* e) {
    QPlainTextEdit::focusOutEvent(e);
    if (pending_)
        Source().Guard([this] { WritePending(); });
}

// ---- TDBComboBox

TDBComboBox::TDBComboBox(TDataSource& source, std::string field, TValueList entries, QWidget* parent)
    : QComboBox(parent), TFieldLink(source, std::move(field)), entries_(entries) {
    InstallChooserAccessibility();
    setEditable(false);
    for (const TChooserEntry& e : entries_)
        addItem(QString::fromUtf8(e.text));
    // The list's selected item is the chosen entry even while the list is closed: that is where
    // a screen reader looks for a chooser's entry.
    connect(this, &QComboBox::currentIndexChanged, this, &TDBComboBox::ShowEntryInList);
    connect(this, &QComboBox::activated, this, [this](int index) {
        if (index < 0 || index >= static_cast<int>(entries_.size()))
            return;
        if (Write(TValue(entries_[static_cast<std::size_t>(index)].value)))
            emit picked(index);
    });
    Refresh();
}

void TDBComboBox::Refresh() {
    const int index = ChooserIndex(entries_, FieldValue());
    if (index != currentIndex())
        setCurrentIndex(index);
}

void TDBComboBox::ShowEntryInList(int index) {
    QItemSelectionModel* selection = view()->selectionModel();
    if (!selection)
        return;
    if (index < 0) {
        selection->clear();
        return;
    }
    selection->setCurrentIndex(model()->index(index, modelColumn(), rootModelIndex()),
                               QItemSelectionModel::ClearAndSelect);
}

// ---- TDBCheckBox

TDBCheckBox::TDBCheckBox(TDataSource& source, std::string field, const QString& text, TValue checked,
                         TValue unchecked, QWidget* parent)
    : QCheckBox(text, parent), TFieldLink(source, std::move(field)), checked_(std::move(checked)),
      unchecked_(std::move(unchecked)) {
    setTristate(true); // the third state shows a value that is neither
    Refresh();
}

void TDBCheckBox::Refresh() {
    const TValue v = FieldValue();
    const auto same = [](const TValue& a, const TValue& b) {
        if (a.IsNull() || b.IsNull())
            return a.IsNull() && b.IsNull();
        try {
            return a == b || a.AsFloat() == b.AsFloat();
        } catch (const EValueError&) {
            return false;
        }
    };
    const Qt::CheckState state = same(v, checked_)     ? Qt::Checked
                                 : same(v, unchecked_) ? Qt::Unchecked
                                                       : Qt::PartiallyChecked;
    if (state != checkState())
        setCheckState(state);
}

void TDBCheckBox::nextCheckState() {
    // A click toggles between checked and unchecked only; the third state counts as unchecked.
    const bool check = checkState() != Qt::Checked;
    if (Write(check ? checked_ : unchecked_))
        Refresh();
}

// ---- TDBRadioGroup

TDBRadioGroup::TDBRadioGroup(TDataSource& source, std::string field, const QString& title,
                             std::vector<TItem> items, QWidget* parent)
    : QGroupBox(title, parent), TFieldLink(source, std::move(field)), items_(std::move(items)),
      group_(new QButtonGroup(this)) {
    auto* layout = new QVBoxLayout(this);
    for (std::size_t i = 0; i < items_.size(); ++i) {
        auto* b = new QRadioButton(items_[i].text, this);
        layout->addWidget(b);
        group_->addButton(b, static_cast<int>(i));
        buttons_.push_back(b);
    }
    connect(group_, &QButtonGroup::idClicked, this, [this](int id) {
        if (Write(items_[static_cast<std::size_t>(id)].value))
            emit chosen(id);
    });
    Refresh();
}

int TDBRadioGroup::ItemIndex() const {
    return group_->checkedId();
}

void TDBRadioGroup::Refresh() {
    const TValue v = FieldValue();
    int index = -1;
    for (std::size_t i = 0; i < items_.size() && index < 0; ++i)
        if (!v.IsNull() && items_[i].value == v)
            index = static_cast<int>(i);
    if (index == group_->checkedId())
        return;
    if (index >= 0) {
        buttons_[static_cast<std::size_t>(index)]->setChecked(true);
        return;
    }
    // No item for this value: no button checked.
    group_->setExclusive(false);
    for (QRadioButton* b : buttons_)
        b->setChecked(false);
    group_->setExclusive(true);
}

// ---- TDBNavigator

TDBNavigator::TDBNavigator(TDataSource& source, QWidget* parent) : QWidget(parent), source_(source) {
    struct TDef {
        const char* name;
        const char* hint;
        QStyle::StandardPixmap icon;
    };
    static const TDef defs[6] = {
        {"First", "Первая запись", QStyle::SP_MediaSkipBackward},
        {"Prior", "Предыдущая запись", QStyle::SP_MediaSeekBackward},
        {"Next", "Следующая запись", QStyle::SP_MediaSeekForward},
        {"Last", "Последняя запись", QStyle::SP_MediaSkipForward},
        {"Insert", "Новая запись", QStyle::SP_FileDialogNewFolder},
        {"Delete", "Удалить запись", QStyle::SP_DialogDiscardButton},
    };
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < 6; ++i) {
        auto* b = new QToolButton(this);
        b->setObjectName(defs[i].name);
        b->setIcon(style()->standardIcon(defs[i].icon));
        b->setToolTip(QString::fromUtf8(defs[i].hint));
        b->setAccessibleName(QString::fromUtf8(defs[i].hint));
        // The buttons take no focus, as a navigator's do: a field being typed in keeps it, and its
        // text is written by the table's notice before the move.
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QToolButton::clicked, this, [this, i] { Click(static_cast<TButton>(i)); });
        layout->addWidget(b);
        buttons_[i] = b;
    }
    connect(&source_, &TDataSource::recordChanged, this, &TDBNavigator::UpdateButtons);
    connect(&source_, &TDataSource::stateChanged, this, &TDBNavigator::UpdateButtons);
    UpdateButtons();
}

void TDBNavigator::Click(TButton b) {
    TTable& t = source_.Table();
    source_.Guard([&] {
        switch (b) {
        case First:
            t.First();
            break;
        case Prior:
            t.Prior();
            break;
        case Next:
            t.Next();
            break;
        case Last:
            t.Last();
            break;
        case Insert:
            t.Insert();
            break;
        case Delete:
            // No confirmation: the engineer deletes with one click.
            t.Delete();
            break;
        }
    });
    UpdateButtons();
    emit clicked(b);
}

void TDBNavigator::UpdateButtons() {
    const TTable& t = source_.Table();
    const bool active = t.Active();
    const int n = active ? t.RecordCount() : 0; // the record being inserted is a row too
    const int rec = active ? t.RecNo() : 0;
    buttons_[First]->setEnabled(rec > 1);
    buttons_[Prior]->setEnabled(rec > 1);
    buttons_[Next]->setEnabled(rec < n);
    buttons_[Last]->setEnabled(rec < n);
    buttons_[Insert]->setEnabled(active);
    buttons_[Delete]->setEnabled(n > 0);
}

} // namespace talmar
