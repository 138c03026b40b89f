// scripts/run.sh as a user runs it on a machine without a display: the demo under a virtual
// display and then through talmar-cli, in a demo folder of its own.
#include "base/Cp1251.h"
#include "base/InstanceLock.h"
#include "tests/support/TempDir.h"

#include <QProcess>
#include <QStandardPaths>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

using namespace talmar;
using talmar::test::ReadFileBytes;
using talmar::test::TTempDir;
using talmar::test::WriteFileBytes;

namespace {

int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

} // namespace

TEST(RunScript, SlowDemoBuildsOnlyItsProgramsAndRunsBesideAnotherCopyOfTalmar) {
    for (const char* tool : {"Xvfb", "xdotool", "import"})
        if (QStandardPaths::findExecutable(tool).isEmpty())
            GTEST_SKIP() << tool << " is not installed";
    TTempDir dir;
    const std::filesystem::path runtime = dir.Path() / "runtime";
    std::filesystem::create_directory(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);

    // Another copy of Talmar runs for this user: it holds the user's lock.
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    unsetenv("TALMAR_LOCK_DIR");
    TInstanceLock other;
    ASSERT_TRUE(other.Acquire());

    // cmake is only asked what to build: the build tree is the suite's own and stays as it is.
    const std::filesystem::path bin = dir.Path() / "bin";
    std::filesystem::create_directory(bin);
    const std::string calls = dir.File("cmake-calls");
    WriteFileBytes((bin / "cmake").string(), "#!/bin/sh\necho \"$*\" >>'" + calls + "'\n");
    std::filesystem::permissions(bin / "cmake", std::filesystem::perms::owner_all);

    const std::filesystem::path demo = dir.Path() / "demo";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("TALMAR_LOCK_DIR");
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime.string()));
    env.insert("PATH", QString::fromStdString(bin.string()) + ":" + env.value("PATH"));
    env.insert("TALMAR_DEMO_DIR", QString::fromStdString(demo.string()));
    env.insert(
        "TALMAR_BUILD_DIR",
        QString::fromStdString(std::filesystem::relative(TALMAR_BINARY_DIR, TALMAR_SOURCE_DIR).string()));
    QProcess run;
    run.setProcessEnvironment(env);
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start("bash", {QString(TALMAR_SOURCE_DIR) + "/scripts/run.sh"});
    ASSERT_TRUE(run.waitForFinished(300000));
    const std::string output = run.readAll().toStdString();
    EXPECT_EQ(run.exitCode(), 0) << output;
    EXPECT_EQ(output.find("did not"), std::string::npos) << output;

    // The build step names the four programs the demo starts, and nothing else.
    std::istringstream lines(ReadFileBytes(calls));
    std::vector<std::string> builds;
    for (std::string l; std::getline(lines, l);)
        if (l.rfind("--build", 0) == 0)
            builds.push_back(l);
    ASSERT_EQ(builds.size(), 1u) << ReadFileBytes(calls);
    const auto at = builds[0].find("--target");
    ASSERT_NE(at, std::string::npos) << builds[0];
    EXPECT_EQ(builds[0].substr(at), "--target talmar talmar-modem-sim talmar-tables talmar-cli");

    // The window programmed the sample firmware (it names the file by its full path) and, from the
    // frequency editor, the settings of the first КП; so did talmar-cli: four runs, four outcomes.
    const std::string log = Cp1251ToUtf8(ReadFileBytes((demo / "Log.txt").string()));
    EXPECT_EQ(Count(log, ": прошиваю файл \"" + (demo / "ltr20-demo.rom").string() + "\"..."), 1) << log;
    EXPECT_EQ(Count(log, ": прошиваю файл \"ltr20-demo.rom\"..."), 1) << log;
    EXPECT_EQ(Count(log, ": прошиваю настройки КП-1 Подстанция Северная"), 2) << log;
    EXPECT_EQ(Count(log, ": OK!"), 4) << log;
    EXPECT_TRUE(std::filesystem::exists(demo / "talmar.png"));
    EXPECT_TRUE(std::filesystem::exists(demo / "talmar-editor.png"));
    EXPECT_TRUE(std::filesystem::exists(demo / "lock" / "Programmator.lock"));
    unsetenv("XDG_RUNTIME_DIR");
}
