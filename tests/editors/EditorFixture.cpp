#include "tests/editors/EditorFixture.h"

#include "tests/support/LogLines.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <cstdlib>
#include <map>

namespace talmar::test {

void ExpectInputsNamedByCaptions(TFTuning* window) {
    window->show();
    for (int t = 0; t < window->General->count(); ++t) {
        window->General->setCurrentIndex(t);
        QWidget* page = window->General->widget(t);
        std::map<QWidget*, QString> buddies;
        for (QLabel* l : page->findChildren<QLabel*>())
            if (l->buddy())
                buddies[l->buddy()] = l->text().simplified();
        int inputs = 0;
        for (QWidget* w : page->findChildren<QWidget*>()) {
            const bool input = qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w) ||
                               qobject_cast<QComboBox*>(w) || qobject_cast<QSlider*>(w) ||
                               qobject_cast<QAbstractButton*>(w) || qobject_cast<QAbstractItemView*>(w);
            // Inside a grid or a chooser live Qt's own parts (cell editors, the popup list).
            if (!input || !w->isVisibleTo(window) || w->parent() == window->DBGrid1 ||
                w->objectName().startsWith("qt_"))
                continue;
            ++inputs;
            QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
            ASSERT_NE(iface, nullptr);
            const QString name = iface->text(QAccessible::Name);
            SCOPED_TRACE(window->General->tabText(t).toStdString() + " / " + w->objectName().toStdString());
            EXPECT_FALSE(name.isEmpty());
            if (auto* b = qobject_cast<QAbstractButton*>(w); b && !b->text().isEmpty()) {
                EXPECT_EQ(name, b->text());
            } else if (auto* tool = qobject_cast<QToolButton*>(w)) {
                EXPECT_EQ(name, tool->toolTip());
            } else if (buddies.count(w)) {
                EXPECT_TRUE(name.endsWith(buddies[w])) << name.toStdString();
            }
        }
        EXPECT_GT(inputs, 1);
    }
    window->General->setCurrentIndex(0);
}

std::string AccessibleName(TFTuning* window, const char* object) {
    QWidget* w = window->findChild<QWidget*>(object);
    if (!w)
        return "(no " + std::string(object) + ")";
    return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name).toStdString();
}

void EditorWindowTest::SetUp() {
    ASSERT_TRUE(MakeSampleTables());
    sim = std::make_unique<sim::TModemSim>();
    setenv("TALMAR_COM2", sim->SlavePath().c_str(), 1); // the sample Pref.db says COM2
    ASSERT_TRUE(OpenProgram());
    board = std::make_unique<TCopyBoard>();
    lf = new TFTuningLF(*dm, *board, w->Host(), w.get());
    lt = new TFTuningLT(*dm, *board, w->Host(), w.get());
    orten = new TFTuningORTEN(*dm, *board, w->Host(), w.get());
    w->SetWindows(lf, nullptr, lt, orten, nullptr, nullptr);
}

void EditorWindowTest::TearDown() {
    if (dm)
        dm->Close();
    w.reset();
    board.reset();
    dm.reset();
    unsetenv("TALMAR_COM2");
}

void Type(QWidget* w, const char* text) {
    w->setFocus();
    for (const QChar c : QString::fromUtf8(text)) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
    }
}

void EditorWindowTest::ExecInside(TFTuning* window, const std::function<void()>& showCommand,
                                  const std::function<void()>& check) {
    bool ran = false;
    QTimer::singleShot(0, window, [&] {
        ran = true;
        EXPECT_TRUE(window->isVisible() && window->isModal());
        check();
        window->OKBtn->click();
    });
    showCommand();
    EXPECT_TRUE(ran);
    EXPECT_FALSE(window->isVisible());
}

void EditorWindowTest::SetFirst(TTable& table, std::initializer_list<std::pair<const char*, TValue>> values) {
    table.First();
    table.Edit();
    for (const auto& [f, v] : values)
        table.SetFieldByName(f, v);
    table.Post();
}

void EditorWindowTest::ExpectProgrammed(TFTuning* window, const std::function<void()>& inside,
                                        const std::string& startText, int sysCode) {
    sim->SetEeprom(0, sim::TBytes(sim->Eeprom(0).size(), 0xFF));
    const std::size_t before = w->LogLines().size();
    ExecInside(
        window, [&] { window->exec(); }, inside);
    const auto lines = NewLog(before);
    ASSERT_EQ(lines.size(), 2u) << ::testing::PrintToString(lines) << ::testing::PrintToString(host->Texts());
    EXPECT_TRUE(Matches(lines[0], kStamp + startText)) << lines[0];
    EXPECT_TRUE(Matches(lines[1], kStamp + ": OK!"));
    EXPECT_EQ(sim->Eeprom(0).at(static_cast<std::size_t>(dm->FindParam("eSysMode")->addr.AsInteger())),
              sysCode);
}

std::vector<std::string> EditorWindowTest::NewLog(std::size_t from) const {
    return {w->LogLines().begin() + static_cast<long>(from), w->LogLines().end()};
}

} // namespace talmar::test
