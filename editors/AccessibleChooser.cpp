// Qt names a combo box on Linux by its current entry and leaves the caption to the label that
// points at it. A chooser of Talmar is named by its caption, as every other input is, and gives
// its entry as its value: a screen reader says "Частотный канал, 3 канал - 810 Гц", and a test
// tool finds the chooser by its caption even when no entry is chosen.

#include "editors/DataControls.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>

namespace talmar {

namespace {

class TAccessibleChooser : public QAccessibleWidget {
public:
    explicit TAccessibleChooser(QComboBox* combo) : QAccessibleWidget(combo, QAccessible::ComboBox) {}

    QComboBox* Combo() const { return static_cast<QComboBox*>(widget()); }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value)
            return Combo()->currentText();
        return QAccessibleWidget::text(t); // the name: setAccessibleName, else the label's text
    }

    // The list of entries, as Qt's own combo box gives it.
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
