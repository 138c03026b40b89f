// The main window offscreen: its commands, its lock, and the log file it keeps.
#include "app/MainWindow.h"

#include "app/Startup.h"
#include "base/Cp1251.h"
#include "base/InstanceLock.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/TempDir.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QStatusBar>
#include <QThread>
#include <QToolBar>
#include <QToolButton>
#include <gtest/gtest.h>
#include <regex>
#include <sys/stat.h>

using namespace talmar;
using talmar::test::ReadFileBytes;
using talmar::test::TRecordingHost;
using talmar::test::TTempDir;
using talmar::test::WriteFileBytes;

namespace {

struct Window {
    TRecordingHost* host;
    std::unique_ptr<TFMain> w;
    Window() {
        auto h = std::make_unique<TRecordingHost>();
        host = h.get();
        w = std::make_unique<TFMain>(std::move(h));
    }
};

QAction* MenuItem(TFMain& w, const char* name) {
    return w.menuBar()->findChild<QAction*>(name);
}

const std::regex
    kHeader(R"(-----------------   СЕАНС ОТ  \d\d\.\d\d\.\d{4} \d{1,2}:\d\d:\d\d    ----------------------)");

} // namespace

// One version everywhere: the caption, and the name and version the accessibility bus shows for the
// program, all carry the project's version from CMake (the package test checks the package's).
TEST(MainWindow, CaptionAndApplicationCarryTheProjectVersion) {
    NameApplication();
    Window win;
    const std::string version = TALMAR_PROJECT_VERSION;
    EXPECT_EQ(win.w->windowTitle().toStdString(), "Тальмар v" + version);
    EXPECT_EQ(QApplication::applicationVersion().toStdString(), version);
    EXPECT_EQ(QApplication::applicationName().toStdString(), "Тальмар");
    QAccessibleInterface* app = QAccessible::queryAccessibleInterface(qApp);
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(app->text(QAccessible::Name).toStdString(), "Тальмар");
}

TEST(MainWindow, MenuToolbarAndPanesAreAsTheEngineerKnowsThem) {
    TTempDir dir(true);
    Window win;
    TFMain& w = *win.w;
    EXPECT_EQ(w.windowTitle().toStdString(), "Тальмар v" TALMAR_PROJECT_VERSION);

    struct Item {
        const char* name;
        const char* caption;
        QKeySequence key;
    };
    const Item items[] = {
        {"N2", "Открыть файл прошивки ...", QKeySequence(Qt::Key_F3)},
        {"N12", "Прошить файл в модем", QKeySequence(Qt::Key_F4)},
        {"N9", "Выход", QKeySequence(Qt::ALT | Qt::Key_F4)},
        {"N6", "Настройки частотной системы...", QKeySequence(Qt::Key_F5)},
        {"N7", "Настройки временной системы...", QKeySequence(Qt::Key_F6)},
        {"N8", "Настройки ОРТЕН...", QKeySequence(Qt::Key_F7)},
        {"N5", "Выбор COM-порта...", QKeySequence(Qt::Key_F9)},
        {"N15", "Переход КЕРВА <-> ОРТЕН...", QKeySequence()},
        {"N16", "Изменение настроек...", QKeySequence()},
        {"N17", "Параметры ДУ...", QKeySequence()},
    };
    for (const auto& it : items) {
        QAction* a = MenuItem(w, it.name);
        ASSERT_NE(a, nullptr) << it.name;
        EXPECT_EQ(a->text().toStdString(), it.caption) << it.name;
        EXPECT_EQ(a->shortcut(), it.key) << it.name;
    }
    MenuItem(w, "N16")->trigger(); // can be clicked and does nothing

    std::vector<std::string> menus;
    for (QAction* a : w.menuBar()->actions())
        menus.push_back(a->text().toStdString());
    EXPECT_EQ(menus, (std::vector<std::string>{"Файл", "Настройки", "Дистанционное управление"}));

    std::vector<std::pair<std::string, std::string>> buttons;
    for (QToolButton* b : w.ToolBar1->findChildren<QToolButton*>())
        if (b->objectName().startsWith("TB"))
            buttons.emplace_back(b->objectName().toStdString(), b->toolTip().toStdString());
    EXPECT_EQ(buttons, (std::vector<std::pair<std::string, std::string>>{
                           {"TBOpenFile", "Открыть файл прошивки\n        для модема"},
                           {"TBProgFlash", "Прошить файл в модем"},
                           {"TBTuningLF", "Настройки частотной\n        системы"},
                           {"TBTuningLT", "Настройки временной\n        системы"},
                           {"TBTuningORTEN", "Настройки ОРТЕН"},
                           {"TBTuningCOM", "Настройки COM-порта"},
                           {"TBGetInfo", "Опрос модема"},
                       }));
    EXPECT_EQ(w.FileOpen->text().toStdString(), "Открыть...");
    EXPECT_EQ(w.ProgFlash->text().toStdString(), "Прошивка FLASH");

    EXPECT_TRUE(w.Memo1->isReadOnly());
    EXPECT_TRUE(w.PrBar->isHidden());
    EXPECT_EQ(w.StatusBar1->findChildren<QLabel*>().size(), 3u);
    EXPECT_FALSE(w.Timer2().isActive());
    EXPECT_EQ(w.Timer2().interval(), 2000);
}

TEST(MainWindow, LockDisablesEverythingButTheLogAndUnlockRestores) {
    TTempDir dir(true);
    Window win;
    TFMain& w = *win.w;
    w.LockMainWindow();
    EXPECT_TRUE(w.Memo1->isEnabled()); // legible, not greyed
    EXPECT_FALSE(w.ToolBar1->isEnabled());
    EXPECT_FALSE(w.StatusBar1->isEnabled());
    EXPECT_FALSE(w.PrBar->isEnabled());
    for (QAction* a : w.menuBar()->actions())
        EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    w.UnlockMainWindow();
    EXPECT_TRUE(w.ToolBar1->isEnabled());
    EXPECT_TRUE(w.StatusBar1->isEnabled());
    EXPECT_TRUE(w.Memo1->isEnabled());
    for (QAction* a : w.menuBar()->actions())
        EXPECT_TRUE(a->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(MainWindow, LogFileIsTouchedOnlyAfterAProgrammingCommand) {
    TTempDir dir(true);
    // Former lines in Windows-1251 with CR LF, as an earlier run left them, and one byte the code
    // page has no letter for: all of it goes back unchanged.
    const std::string former =
        Utf8ToCp1251("08.12.2026 4:33:15: прошиваю файл \"a.rom\"...\r\nстрока 2") + "\x98\r\n";
    WriteFileBytes("Log.txt", former);
    {
        Window win;
        ASSERT_EQ(win.w->LogLines().size(), 5u);
        EXPECT_EQ(win.w->LogLines()[1], "строка 2\uFFFD");
        EXPECT_EQ(win.w->LogLines()[2], "");
        EXPECT_TRUE(std::regex_match(win.w->LogLines()[3], kHeader)) << win.w->LogLines()[3];
        EXPECT_EQ(win.w->LogLines()[4], "");
    }
    EXPECT_EQ(ReadFileBytes("Log.txt"), former); // a run without a programming command

    std::string header;
    {
        Window win;
        header = win.w->LogLines()[3];
        win.w->AppendLog("08.12.2026 4:40:00: OK!");
        win.w->LogChanged = true;
    }
    EXPECT_EQ(ReadFileBytes("Log.txt"),
              former + "\r\n" + Utf8ToCp1251(header) + "\r\n\r\n" + "08.12.2026 4:40:00: OK!\r\n");
}

TEST(MainWindow, MissingLogStartsEmptyAndUnreadableLogIsNeverOverwritten) {
    TTempDir dir(true);
    {
        Window win;
        EXPECT_TRUE(win.host->messages.empty());
        ASSERT_EQ(win.w->LogLines().size(), 3u);
        EXPECT_EQ(win.w->LogLines()[0], "");
        EXPECT_EQ(win.w->Memo1->toPlainText().count('\n'), 2);
    }
    EXPECT_FALSE(std::filesystem::exists("Log.txt"));

    std::filesystem::create_directory("Log.txt"); // present but cannot be read as a file
    {
        Window win;
        ASSERT_EQ(win.host->messages.size(), 1u);
        EXPECT_NE(win.host->messages[0].text.find("Log.txt"), std::string::npos);
        win.w->AppendLog("line");
        win.w->LogChanged = true;
        win.w->SaveLogIfChanged();
    }
    EXPECT_TRUE(std::filesystem::is_directory("Log.txt"));
}

TEST(MainWindow, ChosenFileGoesToFirmwareOrSettingsByItsExactExtension) {
    TTempDir dir(true);
    Window win;
    TFMain& w = *win.w;
    EXPECT_TRUE(w.StatusPanels[0]->text().isEmpty());
    const std::string sub = dir.File("fw");
    std::filesystem::create_directory(sub);
    w.FileChosen(sub + "/A.ROM");
    EXPECT_EQ(w.SettingsFileName, sub + "/A.ROM");
    EXPECT_EQ(w.FirmwareFileName, "");
    w.FileChosen(sub + "/b.hex");
    w.FileChosen(sub + "/c.rom");
    EXPECT_EQ(w.FirmwareFileName, sub + "/c.rom");
    EXPECT_EQ(w.StatusPanels[0]->text().toStdString(), sub + "/c.rom  " + sub + "/A.ROM");
    EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(sub));
}

TEST(Program, SecondCopyExitsAtOnceWithCodeZero) {
    TTempDir dir;
    qputenv("TALMAR_LOCK_DIR", QByteArray::fromStdString(dir.Path().string()));
    const QString exe = QString(TALMAR_BINARY_DIR) + "/app/talmar";
    QProcess first;
    first.setWorkingDirectory(QString::fromStdString(dir.Path().string()));
    first.start(exe, {});
    ASSERT_TRUE(first.waitForStarted());
    // Wait until the first copy holds the lock (looking, not probing: a probe would take it).
    const std::string lockPath = TInstanceLock::LockPath(kInstanceLockName);
    auto holdsLock = [&] {
        const auto fds = "/proc/" + std::to_string(first.processId()) + "/fd";
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(fds, ec))
            if (std::filesystem::read_symlink(e.path(), ec) == lockPath)
                return true;
        return false;
    };
    bool held = false;
    for (int i = 0; i < 200 && !held; ++i) {
        held = holdsLock();
        if (!held)
            QThread::msleep(25);
    }
    ASSERT_TRUE(held);
    QProcess second;
    second.setWorkingDirectory(QString::fromStdString(dir.Path().string()));
    // A second copy that opened a window would wait for its user and never end by itself.
    second.start(exe, {});
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAll().isEmpty());
    EXPECT_EQ(first.state(), QProcess::Running);
    first.kill();
    first.waitForFinished();
    // The system drops the lock of a killed copy.
    TInstanceLock after;
    EXPECT_TRUE(after.Acquire());
}
