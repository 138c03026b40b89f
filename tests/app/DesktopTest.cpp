// The program as the desktop starts it: the icon, the user's own working folder of a start from
// the menu, and the first start in a folder without tables.
#include "app/Desktop.h"

#include "app/MainWindow.h"
#include "app/Startup.h"
#include "tests/support/TempDir.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>

using namespace talmar;
using talmar::test::TTempDir;
using talmar::test::WriteFileBytes;

namespace {

namespace fs = std::filesystem;

// HOME pointed elsewhere for one test.
class THome {
public:
    explicit THome(const fs::path& home) {
        if (const char* h = std::getenv("HOME"))
            previous_ = h;
        setenv("HOME", home.c_str(), 1);
    }
    ~THome() {
        if (previous_)
            setenv("HOME", previous_->c_str(), 1);
        else
            unsetenv("HOME");
    }

private:
    std::optional<std::string> previous_;
};

void MakeSampleTables() {
    const std::string tool = std::string(TALMAR_BINARY_DIR) + "/tools/tables/talmar-tables sample >/dev/null";
    ASSERT_EQ(std::system(tool.c_str()), 0);
}

// What a start of the program in the current folder shows: the text of every message box, each
// answered with OK as the user would, and the port panel of the main window, which is then closed.
struct TStart {
    std::vector<std::string> messages;
    std::string comPanel;
};

TStart StartProgram() {
    TStart seen;
    QTimer user;
    user.setInterval(20);
    QObject::connect(&user, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen.messages.push_back(box->text().toStdString());
            box->button(QMessageBox::Ok)->click();
            return;
        }
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* main = qobject_cast<TFMain*>(w); main && main->isVisible()) {
                seen.comPanel = main->StatusPanels[1]->text().toStdString();
                main->close();
            }
    });
    user.start();
    RunApplication(*qApp);
    return seen;
}

} // namespace

TEST(Desktop, IconOfEveryThemeSizeAndTheMenuEntryName) {
    SetDesktopIdentity();
    const QIcon icon = QApplication::windowIcon();
    QList<int> sizes;
    for (const QSize& s : icon.availableSizes()) {
        EXPECT_EQ(s.width(), s.height());
        sizes << s.width();
    }
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, (QList<int>{16, 22, 24, 32, 48, 64, 128, 256}));
    EXPECT_EQ(QGuiApplication::desktopFileName().toStdString(), "talmar");
    // Every window of the program, the main one included, shows it.
    TTempDir dir(true);
    QWidget window;
    EXPECT_EQ(window.windowIcon().cacheKey(), icon.cacheKey());
}

TEST(Desktop, MenuStartMakesTheUserFolderOnceAndWorksThere) {
    TTempDir home;
    TTempDir elsewhere(true);
    THome h(home.Path());
    const fs::path folder = home.Path() / "Тальмар";
    EXPECT_EQ(UserFolder(), folder.string());

    EXPECT_EQ(EnterUserFolder(), "");
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(fs::current_path(), folder);
    // A later start keeps what the folder holds.
    WriteFileBytes((folder / "Log.txt").string(), "строка\r\n");
    fs::current_path(elsewhere.Path());
    EXPECT_EQ(EnterUserFolder(), "");
    EXPECT_EQ(fs::current_path(), folder);
    EXPECT_TRUE(fs::exists(folder / "Log.txt"));
    fs::current_path(elsewhere.Path());

    // A home that is not there is not made: the user is told, and the start stays where it was.
    THome gone(home.Path() / "нет-такой");
    const std::string error = EnterUserFolder();
    EXPECT_NE(error.find((home.Path() / "нет-такой" / "Тальмар").string()), std::string::npos) << error;
    EXPECT_EQ(fs::current_path(), elsewhere.Path());
    EXPECT_FALSE(fs::exists(home.Path() / "нет-такой"));
}

TEST(Desktop, FirstStartInAnEmptyFolderIsOneMessageNamingTheCommands) {
    TTempDir dir(true);
    const TStart start = StartProgram();
    ASSERT_EQ(start.messages.size(), 1u);
    const std::string& text = start.messages[0];
    EXPECT_NE(text.find(dir.Path().string()), std::string::npos) << text;
    EXPECT_NE(text.find("talmar-tables create"), std::string::npos) << text;
    EXPECT_NE(text.find("talmar-tables sample"), std::string::npos) << text;
    EXPECT_EQ(start.comPanel, "");
    EXPECT_FALSE(fs::exists("Log.txt"));
}

TEST(Desktop, FolderWithSomeTablesStillReportsTheTableThatFails) {
    TTempDir dir(true);
    MakeSampleTables();
    {
        const TStart start = StartProgram();
        EXPECT_TRUE(start.messages.empty()) << start.messages[0];
        EXPECT_EQ(start.comPanel, "COM2"); // the sample Pref.db
    }
    fs::remove("Data_LF.DB");
    const TStart start = StartProgram();
    ASSERT_FALSE(start.messages.empty());
    EXPECT_NE(start.messages[0].find("Data_LF.DB"), std::string::npos) << start.messages[0];
    for (const auto& m : start.messages)
        EXPECT_EQ(m.find("talmar-tables"), std::string::npos) << m;
}

TEST(Program, MenuStartWorksInTheUserFolderAndAShellStartWhereItIsStarted) {
    TTempDir home;
    TTempDir work(true);
    MakeSampleTables();
    qputenv("TALMAR_LOCK_DIR", QByteArray::fromStdString(home.Path().string()));
    auto start = [&](QProcess& p, const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", QString::fromStdString(home.Path().string()));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(QString::fromStdString(work.Path().string()));
        p.start(QString(TALMAR_BINARY_DIR) + "/app/talmar", args);
        return p.waitForStarted();
    };
    // What the running program has: its current folder, and whether it holds a file open.
    auto proc = [](const QProcess& p) { return fs::path("/proc/" + std::to_string(p.processId())); };
    auto folderOf = [&](const QProcess& p) {
        std::error_code ec;
        return fs::read_symlink(proc(p) / "cwd", ec);
    };
    auto holdsOpen = [&](const QProcess& p, const fs::path& file) {
        std::error_code ec;
        for (const auto& fd : fs::directory_iterator(proc(p) / "fd", ec))
            if (fs::read_symlink(fd.path(), ec) == file)
                return true;
        return false;
    };
    auto eventually = [](auto condition) { // within ten seconds
        for (int i = 0; i < 400; ++i) {
            if (condition())
                return true;
            QThread::msleep(25);
        }
        return false;
    };

    QProcess menu;
    ASSERT_TRUE(start(menu, {kUserFolderOption}));
    EXPECT_TRUE(eventually([&] { return folderOf(menu) == home.Path() / "Тальмар"; }));
    EXPECT_TRUE(fs::is_directory(home.Path() / "Тальмар"));
    menu.kill();
    menu.waitForFinished();

    // From a shell the program works with the tables of the folder it is started in, and makes
    // no folder of its own.
    fs::remove(home.Path() / "Тальмар");
    QProcess shell;
    ASSERT_TRUE(start(shell, {}));
    EXPECT_TRUE(eventually([&] { return holdsOpen(shell, work.Path() / "Pref.db"); }));
    EXPECT_EQ(folderOf(shell), work.Path());
    EXPECT_FALSE(fs::exists(home.Path() / "Тальмар"));
    shell.kill();
    shell.waitForFinished();
    qunsetenv("TALMAR_LOCK_DIR");
}
