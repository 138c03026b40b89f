// Qt names a combo box on Linux by its current entry and leaves the caption to the label that
// points at it. A chooser of Talmar is named by its caption, as every other input is, and gives
// its entry where screen readers look for it: as its value, as its (read-only) text and as the
// selected item of its list, whether the list was ever opened or not. A screen reader says
// "Частотный канал, 3 канал - 810 Гц", and a test tool finds the chooser by its caption even
// when no entry is chosen.

#include "controls/DataControls.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <algorithm>

namespace talmar {

namespace {

class TAccessibleChooser : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit TAccessibleChooser(QComboBox* combo) : QAccessibleWidget(combo, QAccessible::ComboBox) {}

    QComboBox* Combo() const { return static_cast<QComboBox*>(widget()); }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value)
            return Combo()->currentText();
        return QAccessibleWidget::text(t); // the name: setAccessibleName, else the label's text
    }

    // The list of entries, as Qt's own combo box gives it. Its selected item is the chosen
    // entry, also while the list is closed (the chooser keeps them so).
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 ? QAccessible::queryAccessibleInterface(Combo()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child && child->object() == Combo()->view() ? 0 : -1;
    }

    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    void doAction(const QString& action) override {
        if (action == showMenuAction() || action == pressAction())
            Combo()->showPopup();
    }

    // The chosen entry is also the chooser's text, read-only: no entry can be typed.
    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    void selection(int, int* startOffset, int* endOffset) const override { *startOffset = *endOffset = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int startOffset, int endOffset) const override {
        const QString entry = Combo()->currentText();
        if (endOffset < 0 || endOffset > entry.size())
            endOffset = static_cast<int>(entry.size());
        startOffset = std::clamp(startOffset, 0, endOffset);
        return entry.mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return static_cast<int>(Combo()->currentText().size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = offset;
        return {};
    }
};

QAccessibleInterface* ChooserFactory(const QString& key, QObject* object) {
    if (key == QLatin1String("talmar::TDBComboBox") && object && object->isWidgetType())
        return new TAccessibleChooser(static_cast<QComboBox*>(object));
    return nullptr;
}

} // namespace

void InstallChooserAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(ChooserFactory);
        return true;
    }();
    (void)installed;
}

} // namespace talmar
