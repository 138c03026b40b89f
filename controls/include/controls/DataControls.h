#pragma once
// Data-aware controls: each shows its field of the data source's current record, refreshes on
// every move and field change, puts the record into edit state at the engineer's first change,
// and writes what was typed when the engineer leaves the control or the table is about to post
// or move.
//
//   TDBEdit        text field: whole numbers, floating point with the decimal comma (a dot is
//                  taken as well), text up to the column's size; blank text is an empty field
//   TDBMemo        multi-line text
//   TDBComboBox    chooser of entries with stored values; no entry for an unmatched value
//   TDBCheckBox    stored checked / unchecked values, a third state for anything else; a click
//                  toggles only between checked and unchecked
//   TDBRadioGroup  radio buttons with stored values; none checked for any other value
//   TDBNavigator   first, previous, next, last, new record, delete record

#include "controls/DataSource.h"
#include "editors/core/ValueLists.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QWidget>
#include <utility>
#include <vector>

class QButtonGroup;
class QRadioButton;
class QToolButton;

namespace talmar {

// The text a field of the given type shows: floats with the decimal comma.
QString FieldText(const TFieldDef& field, const TValue& value);
// Typed text as a value of the field: blank text is an empty value. Throws EValueError with
// the conversion message ("'12a' is not a valid integer value") when it does not convert.
TValue ParseFieldText(const TFieldDef& field, const QString& text);

class TDBEdit : public QLineEdit, public TFieldLink {
    Q_OBJECT
public:
    TDBEdit(TDataSource& source, std::string field, QWidget* parent = nullptr);

    // At most this many characters can be typed (0: no limit beyond a text column's size). A
    // stored value that is wider (an imported table's) is still shown whole.
    void SetMaxChars(int chars);
    void Refresh() override;
    void WritePending() override;
    // The engineer typed something not yet written to the field.
    bool Pending() const { return pending_; }

protected:
    // Escape puts back the record's value of the field.
    void keyPressEvent(QKeyEvent* e) override;

private:
    void OnTextEdited();
    void OnEditingFinished();
    void FitLength(const QString& text);

    int maxChars_ = 0;
    int limit_ = 0; // maxChars_, within a text column's size
    bool pending_ = false;
    bool writing_ = false;
};

class TDBMemo : public QPlainTextEdit, public TFieldLink {
    Q_OBJECT
public:
    TDBMemo(TDataSource& source, std::string field, QWidget* parent = nullptr);

    void Refresh() override;
    void WritePending() override;

protected:
    void focusOutEvent(QFocusEvent* e) override;
    // Escape puts back the record's value of the field.
    void keyPressEvent(QKeyEvent* e) override;

private:
    void OnTextChanged();

    bool pending_ = false;
    bool refreshing_ = false;
};

// Choosers are named by their caption for assistive technology, their entry being the value
// (Qt's own combo box on Linux is named by its entry). Installed by the first chooser made.
void InstallChooserAccessibility();

class TDBComboBox : public QComboBox, public TFieldLink {
    Q_OBJECT
public:
    TDBComboBox(TDataSource& source, std::string field, TValueList entries, QWidget* parent = nullptr);

    void Refresh() override;
    TValueList Entries() const { return entries_; }

private slots:
    void ShowEntryInList(int index);

signals:
    // The engineer picked an entry and its value is in the field.
    void picked(int index);

private:
    TValueList entries_;
};

class TDBCheckBox : public QCheckBox, public TFieldLink {
    Q_OBJECT
public:
    TDBCheckBox(TDataSource& source, std::string field, const QString& text, TValue checked, TValue unchecked,
                QWidget* parent = nullptr);

    void Refresh() override;

protected:
    void nextCheckState() override;

private:
    TValue checked_;
    TValue unchecked_;
};

class TDBRadioGroup : public QGroupBox, public TFieldLink {
    Q_OBJECT
public:
    struct TItem {
        QString text;
        TValue value;
    };
    TDBRadioGroup(TDataSource& source, std::string field, const QString& title, std::vector<TItem> items,
                  QWidget* parent = nullptr);

    void Refresh() override;
    // The checked button, or -1.
    int ItemIndex() const;
    QRadioButton* Button(int index) const { return buttons_.at(static_cast<std::size_t>(index)); }
    int Count() const { return static_cast<int>(buttons_.size()); }

signals:
    // The engineer chose an item and its value is in the field.
    void chosen(int index);

private:
    std::vector<TItem> items_;
    std::vector<QRadioButton*> buttons_;
    QButtonGroup* group_;
};

class TDBNavigator : public QWidget {
    Q_OBJECT
public:
    enum TButton { First, Prior, Next, Last, Insert, Delete };
    explicit TDBNavigator(TDataSource& source, QWidget* parent = nullptr);

    QToolButton* Button(TButton b) const { return buttons_[b]; }
    void Click(TButton b);
    void UpdateButtons();

signals:
    // After a button's action, whether or not it succeeded.
    void clicked(int button);

private:
    TDataSource& source_;
    QToolButton* buttons_[6] = {};
};

} // namespace talmar
