// The system switch window offscreen against a simulated line of КП: what it shows while a command
// runs and after it, the colours of the system column, a silent КП's wait (painting, the stop
// click), a click in the grid meanwhile, and closing the window during a command.
#include "controls/TableModel.h"
#include "link/ComPort.h"
#include "remote/core/SystemSwitch.h"
#include "tests/remote/windows/WindowFixture.h"
#include "tests/store/StoreFixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <QtTest/QTest>
#include <qpa/qwindowsysteminterface.h>

using namespace talmar;
using talmar::test::TKp;
using talmar::test::TWindowTest;

namespace {

const std::vector<TKp> kLine = {{"КП-1", 21, 1}, {"КП-2", 22, 2}, {"КП-3", 23, 3}, {"КП-4", 24, 1}};

// A click that comes the way a display server's does: into the window system's queue, taken
// only where the application handles user input.
void PlatformClick(QWidget* widget) {
    QWindow* window = widget->window()->windowHandle();
    const QPointF local = widget->mapTo(widget->window(), widget->rect().center());
    const QPointF global = widget->mapToGlobal(widget->rect().center());
    QWindowSystemInterface::handleMouseEvent(window, local, global, Qt::LeftButton, Qt::LeftButton,
                                             QEvent::MouseButtonPress);
    QWindowSystemInterface::handleMouseEvent(window, local, global, Qt::NoButton, Qt::LeftButton,
                                             QEvent::MouseButtonRelease);
}

// What the window shows at one moment of a command.
struct TSnapshot {
    std::map<TSwitchButton, std::string> caption;
    std::map<TSwitchButton, bool> enabled;
    bool inputsEnabled = false; // the grid, both edits and the check box
    bool busyCursor = false;
    std::string sysText; // of the current record
    std::string version;
};

struct ChangeSystem : TWindowTest {
    void StartWith(const std::vector<TKp>& kps) {
        MakeTables("7", "1", kps);
        StartLine(kps);
        Start();
        fChangeSystem->show();
        fChangeSystem->ETimeOut->setText("0");
    }
    TDBGrid* Grid() const { return fChangeSystem->RxDBGridKP; }
    void ClickRow(int row, Qt::KeyboardModifiers mods = {}) {
        QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, mods, RowPoint(row));
    }
    TSnapshot Snap() const {
        TSnapshot s;
        for (const TSwitchButton b : kSwitchButtons) {
            s.caption[b] = fChangeSystem->Button(b)->text().toStdString();
            s.enabled[b] = fChangeSystem->Button(b)->isEnabled();
        }
        s.inputsEnabled = Grid()->isEnabled() && fChangeSystem->ECount->isEnabled() &&
                          fChangeSystem->ETimeOut->isEnabled() && fChangeSystem->CBv4433->isEnabled();
        s.busyCursor =
            QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
        TTable& t = dm->TDataORTEN();
        s.sysText = t.FieldByName("TextSysMode").AsString();
        s.version = t.FieldByName("V4433").AsString();
        return s;
    }
    // Snapshots every few milliseconds of the event loop while `command` runs.
    std::vector<TSnapshot> During(const std::function<void()>& command) {
        std::vector<TSnapshot> shots;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] { shots.push_back(Snap()); });
        timer.start(5);
        command();
        return shots;
    }
    void ExpectIdle() const {
        const TSnapshot s = Snap();
        for (const TSwitchButton b : kSwitchButtons) {
            EXPECT_EQ(s.caption.at(b), SwitchButtonCaption(b));
            EXPECT_TRUE(s.enabled.at(b));
        }
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_FALSE(w->ComPort1().Connected());
        EXPECT_EQ(w->ComPort1().BaudRate(), br38400);
        EXPECT_EQ(dm->TDataORTEN().State(), TTableState::Browse);
    }
    std::vector<int> Slaves() const {
        std::vector<int> out;
        for (const auto& r : line->Requests())
            out.push_back(r.request.at(0));
        return out;
    }
};

} // namespace

TEST_F(ChangeSystem, CommandsShowStopOnTheirButtonAndGiveEverythingBack) {
    StartWith(kLine);
    fChangeSystem->CBv4433->setChecked(true);
    // Row 1, Shift+Down to row 2, Ctrl+click on row 4.
    ClickRow(0);
    QTest::keyClick(Grid(), Qt::Key_Down, Qt::ShiftModifier);
    ClickRow(3, Qt::ControlModifier);
    ASSERT_EQ(Grid()->SelectedRows(), (std::vector<int>{0, 1, 3}));

    auto shots = During([&] { QTest::mouseClick(fChangeSystem->BRead, Qt::LeftButton); });
    ASSERT_FALSE(shots.empty());
    bool sawSysPending = false, sawVersionPending = false, sawBusy = false;
    for (const TSnapshot& s : shots) {
        EXPECT_EQ(s.caption.at(TSwitchButton::BRead), "Остановить");
        EXPECT_TRUE(s.enabled.at(TSwitchButton::BRead));
        EXPECT_FALSE(s.enabled.at(TSwitchButton::BGoFrec) || s.enabled.at(TSwitchButton::BGoTime) ||
                     s.enabled.at(TSwitchButton::BGoORTEN));
        EXPECT_TRUE(s.inputsEnabled);
        sawSysPending |= s.sysText == "выполняю...";
        sawVersionPending |= s.version == "выполняю...";
        sawBusy |= s.busyCursor;
    }
    EXPECT_TRUE(sawSysPending);
    EXPECT_TRUE(sawVersionPending);
    EXPECT_TRUE(sawBusy);
    ExpectIdle();
    EXPECT_TRUE(host->messages.empty());
    EXPECT_EQ(fChangeSystem->LbSuccess->text().toStdString(), "6 / 0"); // two exchanges per КП
    EXPECT_EQ(Slaves(), (std::vector<int>{21, 21, 22, 22, 24, 24}));
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"Частотная", "v21"}, {"Временная", "v22"}, {"", "старая"}, {"Частотная", "v24"}};
    for (int r = 0; r < 4; ++r) {
        EXPECT_EQ(Cell(r, TFChangeSystem::ColTextSysMode), rows[r].first) << r;
        EXPECT_EQ(Cell(r, TFChangeSystem::ColV4433), rows[r].second) << r;
    }

    // A switch of row 3 into the time system.
    ClickRow(2);
    line->ClearLog();
    shots = During([&] { QTest::mouseClick(fChangeSystem->BGoTime, Qt::LeftButton); });
    ASSERT_FALSE(shots.empty());
    for (const TSnapshot& s : shots) {
        EXPECT_EQ(s.caption.at(TSwitchButton::BGoTime), "Остановить");
        EXPECT_EQ(s.caption.at(TSwitchButton::BRead), "Опросить выделенные КП");
        EXPECT_FALSE(s.enabled.at(TSwitchButton::BRead) || s.enabled.at(TSwitchButton::BGoFrec) ||
                     s.enabled.at(TSwitchButton::BGoORTEN));
        EXPECT_TRUE(s.enabled.at(TSwitchButton::BGoTime));
    }
    ExpectIdle();
    EXPECT_EQ(Slaves(), std::vector<int>{23});
    EXPECT_EQ(line->Eeprom(2).at(0), 2);
    EXPECT_EQ(Cell(2, TFChangeSystem::ColTextSysMode), "Временная");
    EXPECT_EQ(fChangeSystem->LbSuccess->text().toStdString(), "6 / 0"); // a switch leaves the counters
}

TEST_F(ChangeSystem, NoRowIsChosenWhenTheWindowOpensSoACommandAloneSendsNothing) {
    StartWith(kLine);
    // The current row is marked, none is chosen.
    EXPECT_EQ(Grid()->currentIndex().row(), 0);
    EXPECT_TRUE(Grid()->SelectedRows().empty());
    QTest::mouseClick(fChangeSystem->BGoFrec, Qt::LeftButton);
    QTest::mouseClick(fChangeSystem->BRead, Qt::LeftButton);
    EXPECT_TRUE(line->Requests().empty());
    EXPECT_EQ(line->Eeprom(0).at(0), 1);
    EXPECT_EQ(Cell(0, TFChangeSystem::ColTextSysMode), ""); // SysMode 7 as before
    EXPECT_EQ(fChangeSystem->LbSuccess->text().toStdString(), "0/0");
    EXPECT_TRUE(host->messages.empty());
    ExpectIdle();

    // Rows chosen the last time the window was open are not chosen when it is opened again.
    ClickRow(1);
    ClickRow(2, Qt::ControlModifier);
    ASSERT_EQ(Grid()->SelectedRows(), (std::vector<int>{1, 2}));
    fChangeSystem->hide();
    fChangeSystem->show();
    EXPECT_TRUE(Grid()->SelectedRows().empty());
    QTest::mouseClick(fChangeSystem->BGoTime, Qt::LeftButton);
    EXPECT_TRUE(line->Requests().empty());

    // Ctrl+A chooses every row.
    QTest::keyClick(Grid(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(Grid()->SelectedRows(), (std::vector<int>{0, 1, 2, 3}));
    QTest::mouseClick(fChangeSystem->BRead, Qt::LeftButton);
    EXPECT_EQ(Slaves(), (std::vector<int>{21, 22, 23, 24}));
    EXPECT_EQ(fChangeSystem->LbSuccess->text().toStdString(), "4 / 0");
}

TEST_F(ChangeSystem, WindowDefaultsGridAndColours) {
    MakeTables("7", "1",
               {{"А", 1, 0}, {"Б", 2, 0}, {"В", 3, 0}, {"Г", 4, 0}, {"Д", 5, 0}, {"Е", 6, 0}, {"Ж", 7, 0}});
    test::ExecSql("Data_ORTEN.DB",
                  "UPDATE Data_ORTEN SET SysMode = ENumController - 2 WHERE ENumController < 6;"
                  "UPDATE Data_ORTEN SET SysMode = NULL WHERE ENumController = 7;");
    Start();
    EXPECT_EQ(fChangeSystem->size(), QSize(752, 480));
    EXPECT_EQ(fChangeSystem->ECount->text().toStdString(), "1");
    EXPECT_EQ(fChangeSystem->ETimeOut->text().toStdString(), "1");
    EXPECT_EQ(fChangeSystem->LbSuccess->text().toStdString(), "0/0");
    EXPECT_FALSE(fChangeSystem->CBv4433->isChecked());
    EXPECT_EQ(Grid()->toolTip().toStdString(), "Выделяйте группу записей, используя Ctrl + щелчок мышкой\n"
                                               "или Shift + клавиши управления курсором");
    EXPECT_EQ(Grid()->selectionMode(), QAbstractItemView::ExtendedSelection);
    const int widths[] = {157, 49, 117, 107}; // at least: a title may need more in this font
    for (int c = 0; c < 4; ++c)
        EXPECT_GE(Grid()->columnWidth(c), widths[c]);
    EXPECT_EQ(Grid()->columnWidth(0), 157);

    // The font colours as Windows writes them (0x00BBGGRR), by the text shown.
    struct {
        const char* text;
        int bgr; // -1: the grid's own colour
    } expected[] = {{"выполняю...", 0x00FFFF},
                    {"Не отвечает", 0x808080},
                    {"Частотная", 0x0000FF},
                    {"Временная", 0xFF0000},
                    {"ОРТЕН", 0x008000},
                    {"", -1},
                    {"", -1}};
    for (int r = 0; r < 7; ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(Cell(r, TFChangeSystem::ColTextSysMode), expected[r].text);
        const QVariant colour =
            fChangeSystem->Model()->index(r, TFChangeSystem::ColTextSysMode).data(Qt::ForegroundRole);
        if (expected[r].bgr < 0) {
            EXPECT_FALSE(colour.isValid());
        } else {
            const int bgr = expected[r].bgr;
            EXPECT_EQ(colour.value<QColor>(), QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF));
        }
        for (int c = 0; c < 3; ++c)
            EXPECT_FALSE(fChangeSystem->Model()->index(r, c).data(Qt::ForegroundRole).isValid());
    }
}

TEST_F(ChangeSystem, SilentKpWaitKeepsPaintingAndTakesTheStopClick) {
    std::vector<TKp> kps = kLine;
    kps[0].silent = true;
    StartWith(kps);
    ClickRow(0);
    ClickRow(1, Qt::ControlModifier);

    int paints = 0;
    struct TPaintCounter : QObject {
        int& n;
        explicit TPaintCounter(int& count) : n(count) {}
        bool eventFilter(QObject*, QEvent* e) override {
            n += e->type() == QEvent::Paint;
            return false;
        }
    } counter(paints);
    fChangeSystem->installEventFilter(&counter);

    // Well inside the read that waits for the silent КП (8.1 s from about 0.1 s on): a repaint is
    // asked for and the stop button clicked; a second later both must have been handled.
    int paintsBefore = -1, paintsAfter = -1;
    bool stopSeen = false, stillWaiting = false;
    std::size_t requestsThen = 0;
    std::string captionThen;
    QTimer::singleShot(1500, [&] {
        paintsBefore = paints;
        fChangeSystem->update();
        PlatformClick(fChangeSystem->BRead);
    });
    QTimer::singleShot(2500, [&] {
        paintsAfter = paints;
        stopSeen = fChangeSystem->Switch().StopRequested();
        stillWaiting = fChangeSystem->Switch().Running();
        requestsThen = line->Requests().size();
        captionThen = fChangeSystem->BRead->text().toStdString();
    });
    QTest::mouseClick(fChangeSystem->BRead, Qt::LeftButton);

    EXPECT_TRUE(stillWaiting);
    EXPECT_EQ(requestsThen, 1u); // the silent КП's request only
    EXPECT_GT(paintsAfter, paintsBefore);
    EXPECT_TRUE(stopSeen);
    EXPECT_EQ(captionThen, "Остановить");
    // The exchange under way ran to its end; the stop took effect after it.
    EXPECT_EQ(Slaves(), std::vector<int>{21});
    EXPECT_EQ(Cell(0, TFChangeSystem::ColTextSysMode), "Не отвечает");
    EXPECT_EQ(Cell(1, TFChangeSystem::ColTextSysMode), "");
    EXPECT_EQ(fChangeSystem->LbSuccess->text().toStdString(), "0 / 1");
    EXPECT_FALSE(fChangeSystem->Switch().StopRequested());
    ExpectIdle();
}

TEST_F(ChangeSystem, ClickInTheGridDuringACommandSelectsWithoutMovingTheRecord) {
    StartWith(kLine);
    ClickRow(0);
    ClickRow(1, Qt::ControlModifier);
    // While the first КП is asked, the engineer clicks on row 3.
    QTimer::singleShot(0, [&] { ClickRow(2); });
    QTest::mouseClick(fChangeSystem->BRead, Qt::LeftButton);

    EXPECT_EQ(Slaves(), (std::vector<int>{21, 22}));
    EXPECT_EQ(Cell(0, TFChangeSystem::ColTextSysMode), "Частотная");
    EXPECT_EQ(Cell(1, TFChangeSystem::ColTextSysMode), "Временная");
    EXPECT_EQ(Cell(2, TFChangeSystem::ColTextSysMode), ""); // not asked: its row untouched
    EXPECT_EQ(Grid()->SelectedRows(), std::vector<int>{2});
    // Afterwards the grid's cursor is on the current record again.
    EXPECT_EQ(Grid()->currentIndex().row(), dm->TDataORTEN().RecNo() - 1);
    ExpectIdle();
}

TEST_F(ChangeSystem, ClosingDuringACommandWaitsForItsEndAndTheEditsAreKept) {
    StartWith(kLine);
    fChangeSystem->hide();
    fChangeSystem->ECount->setText("2");
    fChangeSystem->CBv4433->setChecked(true);

    for (const bool escape : {false, true}) {
        SCOPED_TRACE(escape);
        line->ClearLog();
        bool visibleAfterClose = false;
        QTimer::singleShot(0, [&] {
            ClickRow(0);
            QTimer::singleShot(0, [&] {
                if (escape)
                    QTest::keyClick(fChangeSystem, Qt::Key_Escape);
                else
                    fChangeSystem->close();
                visibleAfterClose = fChangeSystem->isVisible();
            });
            QTest::mouseClick(fChangeSystem->BRead, Qt::LeftButton);
        });
        // Should the window never close, the test goes on after 30 s instead of hanging.
        QTimer::singleShot(30000, fChangeSystem, [&] { fChangeSystem->done(QDialog::Accepted); });
        w->N15Click(); // modal: returns when the window has closed
        EXPECT_TRUE(visibleAfterClose);
        EXPECT_EQ(fChangeSystem->result(), QDialog::Rejected);
        EXPECT_EQ(Slaves(), (std::vector<int>{21, 21, 21, 21})); // two passes, version asked: all done
        EXPECT_EQ(fChangeSystem->ECount->text().toStdString(), "2");
        EXPECT_TRUE(fChangeSystem->CBv4433->isChecked());
        ExpectIdle();
    }
}
