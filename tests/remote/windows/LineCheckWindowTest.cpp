// "Сверка настроек КП" opened from the main menu, offscreen, against a simulated line: nothing
// selected at opening, the results and differences shown, the window painting and the stop button
// answering while a КП is read, a repair after the question, and each outcome in the log.
#include "remote/LineCheckWindow.h"

#include "tests/remote/windows/WindowFixture.h"
#include "tests/store/StoreFixture.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <chrono>

using namespace talmar;
using talmar::test::TKp;
using talmar::test::TWindowTest;

namespace {

const std::vector<TKp> kLine = {{"КП-1", 21, 3}, {"КП-2", 22, 3}, {"КП-3", 23, 3}};

// The bytes an ОРТЕН record of the test map puts into the modem of controller c (the values set
// below: transmit -20 and -10 dB on a line of 0 dB, receive -12 and -6 dB).
std::map<uint16_t, uint8_t> OrtenImage(uint8_t c) {
    return {{0x00, 0x03}, {0x26, 0x03}, {0x2D, c},    {0x2F, 0x10}, {0x32, 0x0F}, {0x33, 0x0A}, {0x34, 0x04},
            {0x35, 0x06}, {0x36, 0x04}, {0x37, 0x0F}, {0x38, 0x00}, {0x3B, 0x08}, {0x3C, 0x02}};
}

struct LineCheckWindow : TWindowTest {
    TFLineCheck* win = nullptr;

    void SetUp() override {
        MakeTables("7", "1", kLine);
        test::ExecSql("Data_ORTEN.DB",
                      "UPDATE Data_ORTEN SET EControllerFoundAttempts = 3, EChannelRecAUX = 16, "
                      "EChannelTrAUX = 15, AttenRec1 = -12, AttenRecAUX = -6, AttenTr1 = -20, "
                      "AttenTrAUX = -10, Book = '', ResistTr = 0;");
        StartLine(kLine);
        for (std::size_t i = 0; i < kLine.size(); ++i) {
            auto e = line->Eeprom(i);
            for (const auto& [a, v] : OrtenImage(static_cast<uint8_t>(kLine[i].controller)))
                e[a] = v;
            line->SetEeprom(i, e);
        }
        Start();
    }

    // Runs body inside the window opened from the menu, then closes it.
    void Opened(const std::function<void()>& body) {
        QTimer::singleShot(0, [&] {
            win = TWindowTest::w->findChild<TFLineCheck*>();
            if (win) {
                win->CBTable->setCurrentIndex(2);
                win->ETimeOut->setText("0");
                body();
                win->reject();
            }
        });
        TWindowTest::w->findChild<QAction*>("N18")->trigger();
        ASSERT_NE(win, nullptr);
    }
    void Select(std::initializer_list<int> rows) {
        win->GridKP->clearSelection();
        for (const int r : rows)
            win->GridKP->selectionModel()->select(win->GridKP->model()->index(r, 0),
                                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    std::string Result(int row) const {
        return win->GridKP->item(row, TFLineCheck::ColResult)->text().toStdString();
    }
};

TEST_F(LineCheckWindow, OpensFromTheMenuChecksAndRepairsTheSelectedKp) {
    // Under "Дистанционное управление", right after the system switch.
    QStringList names;
    for (QAction* a : TWindowTest::w->findChild<QMenu*>("N11")->actions())
        names << a->objectName();
    EXPECT_EQ(names, (QStringList{"N15", "N18", "N16", "N17"}));
    EXPECT_EQ(TWindowTest::w->findChild<QAction*>("N18")->text().toStdString(), "Сверка настроек КП...");

    auto e = line->Eeprom(1);
    e[0x37] = 0x13; // КП-2 sends -26 dB
    line->SetEeprom(1, e);
    Opened([&] {
        EXPECT_EQ(win->windowTitle().toStdString(), "Сверка настроек КП");
        ASSERT_EQ(win->GridKP->rowCount(), 3);
        // Nothing selected: a click sends nothing.
        EXPECT_TRUE(win->GridKP->selectionModel()->selectedRows().isEmpty());
        win->BCheck->click();
        EXPECT_TRUE(line->Requests().empty());

        Select({0, 1});
        // While the КП are read the window keeps its timers (and painting) going and the button
        // reads "Остановить".
        using TClock = std::chrono::steady_clock;
        std::vector<std::string> captions;
        auto last = TClock::now();
        std::chrono::milliseconds longest{0};
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const auto now = TClock::now();
            longest = std::max(longest, std::chrono::duration_cast<std::chrono::milliseconds>(now - last));
            last = now;
            captions.push_back(win->BCheck->text().toStdString() + (win->BRepair->isEnabled() ? "+" : "-"));
        });
        tick.start(10);
        last = TClock::now();
        win->BCheck->click();
        tick.stop();
        EXPECT_NE(std::find(captions.begin(), captions.end(), "Остановить-"), captions.end());
        EXPECT_LT(longest.count(), 150);
        EXPECT_EQ(win->BCheck->text().toStdString(), "Сверить выделенные КП");
        EXPECT_TRUE(win->BRepair->isEnabled());
        EXPECT_EQ(Result(0), "совпадают");
        EXPECT_EQ(Result(1), "различий 1");
        EXPECT_EQ(Result(2), "");
        EXPECT_EQ(line->Requests().size(), 26u);
        EXPECT_EQ(win->PrBar->value(), win->PrBar->maximum());
        win->GridKP->setCurrentCell(1, 0, QItemSelectionModel::NoUpdate);
        ASSERT_EQ(win->GridDiff->rowCount(), 1);
        EXPECT_EQ(win->GridDiff->item(0, 1)->text().toStdString(), "AttenTr1");
        EXPECT_EQ(win->GridDiff->item(0, 2)->text().toStdString(), "0037");
        EXPECT_EQ(win->GridDiff->item(0, 3)->text().toStdString(), "-20 дБ");
        EXPECT_EQ(win->GridDiff->item(0, 4)->text().toStdString(), "-26 дБ");

        // The stop: a click on "Остановить" ends the work after the read under way.
        line->ClearLog();
        Select({0, 1});
        QTimer stopper;
        QObject::connect(&stopper, &QTimer::timeout, [&] {
            if (win->BCheck->text() == QString::fromUtf8("Остановить") && line->Requests().size() >= 2) {
                win->BCheck->click();
                stopper.stop();
            }
        });
        stopper.start(5);
        win->BCheck->click();
        EXPECT_LT(line->Requests().size(), 13u);
        EXPECT_EQ(win->BCheck->text().toStdString(), "Сверить выделенные КП");

        // The repair asks first, naming the КП and the bytes.
        line->ClearLog();
        host->messages.clear();
        Select({1});
        win->BRepair->click();
        ASSERT_EQ(host->messages.size(), 1u);
        EXPECT_EQ(host->messages[0].text,
                  "Записать в КП \"КП-2\" (N МКД 22) различающиеся байты настроек: 1?");
        EXPECT_EQ(Result(1), "исправлен (записано байт: 1)");
        EXPECT_EQ(line->Eeprom(1)[0x37], 0x0F);
    });
    const auto& log = TWindowTest::w->LogLines();
    EXPECT_NE(std::find_if(log.begin(), log.end(),
                           [](const std::string& l) {
                               return l.find(": Сверка настроек КП \"КП-2\" (N МКД 22): исправлен") !=
                                      std::string::npos;
                           }),
              log.end());
    EXPECT_TRUE(TWindowTest::w->LogChanged);
    EXPECT_FALSE(TWindowTest::w->ComPort1().Connected());
}

} // namespace
