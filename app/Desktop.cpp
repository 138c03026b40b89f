#include "Desktop.h"

#include "base/Host.h"
#include "base/Utf8Path.h"
#include "store/TableDef.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <cstdlib>
#include <filesystem>
#ifdef _WIN32
#include <QStandardPaths>
#else
#include <pwd.h>
#include <unistd.h>
#endif

namespace talmar {

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32

// A folder as one word of the Windows command line: in double quotes, which a Windows file name
// never holds.
std::string ShellWord(const std::string& s) {
    return "\"" + s + "\"";
}

// The commands in Windows' own syntax: cd /d also changes the drive.
constexpr const char* kCdCommand = "cd /d ";
constexpr const char* kConsole = "командной строки (cmd)";

// The tables tool beside the program: a Windows installation is not on the PATH.
std::string TablesTool() {
    return ShellWord(QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + "/talmar-tables.exe")
                         .toStdString());
}

#else

// A folder as one shell word: in single quotes, inner single quotes closed and escaped.
std::string ShellWord(const std::string& s) {
    std::string out = "'";
    for (const char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

constexpr const char* kCdCommand = "cd ";
constexpr const char* kConsole = "терминала";

std::string TablesTool() {
    return "talmar-tables";
}

#endif

bool FolderHasNoTables() {
    for (const TTableId id : kTableOrder) {
        std::error_code ec;
        if (fs::exists(fs::symlink_status(TableDef(id).fileName, ec)))
            return false;
    }
    return true;
}

std::string NoTablesMessage(const std::string& folder) {
    std::string names;
    for (const TTableId id : kTableOrder)
        names += (names.empty() ? "" : ", ") + TableDef(id).fileName;
    const std::string tool = TablesTool();
    return "В папке " + folder + " нет таблиц настроек (" + names +
           ").\n\n"
           "Создайте их в этой папке из " +
           kConsole +
           " и запустите Тальмар снова:\n"
           "    " +
           kCdCommand + ShellWord(folder) +
           "\n"
           "    " +
           tool +
           " create    - пустые таблицы,\n"
           "    " +
           tool +
           " sample    - таблицы с примером для знакомства с программой.\n\n"
           "Таблицы в старом формате (Paradox) из другой папки переводит команда " +
           tool + " import ПАПКА.";
}

} // namespace

void SetDesktopIdentity() {
    // The resource holds one rendering of the icon per size, as :/icons/<N>x<N>/talmar.png.
    QIcon icon;
    for (const QString& size : QDir(":/icons").entryList(QDir::Dirs))
        icon.addFile(":/icons/" + size + "/talmar.png");
    QApplication::setWindowIcon(icon);
    QGuiApplication::setDesktopFileName(QString::fromUtf8(kDesktopFileName));
}

std::string UserFolder() {
#ifdef _WIN32
    // On Windows the working folder lives among the user's documents.
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty())
        documents = QDir::homePath();
    const std::string home = QDir::toNativeSeparators(documents).toStdString();
#else
    std::string home;
    if (const char* h = std::getenv("HOME"); h && *h)
        home = h;
    else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        home = pw->pw_dir;
#endif
    return PathToUtf8(PathFromUtf8(home) / PathFromUtf8("Тальмар"));
}

std::string EnterUserFolder() {
    const std::string folder = UserFolder();
    std::error_code failed;
    fs::create_directory(PathFromUtf8(folder), failed);
    if (!failed)
        fs::current_path(PathFromUtf8(folder), failed);
    if (!failed)
        return {};
    std::error_code ec;
    return "Не удалось открыть рабочую папку " + folder + ": " + failed.message() +
           ".\nТальмар работает в папке " + PathToUtf8(fs::current_path(ec)) + ".";
}

bool ReportNoTables(IHost& host) {
    if (!FolderHasNoTables())
        return false;
    std::error_code ec;
    host.ShowMessage(NoTablesMessage(PathToUtf8(fs::current_path(ec))), {}, TMsgButtons::Ok,
                     TMsgIcon::Information);
    return true;
}

} // namespace talmar
