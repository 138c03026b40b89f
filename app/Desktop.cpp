#include "app/Desktop.h"

#include "link/Host.h"
#include "store/TableDef.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <pwd.h>
#include <unistd.h>

namespace talmar {

namespace {

namespace fs = std::filesystem;

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
    return "В папке " + folder + " нет таблиц настроек (" + names +
           ").\n\n"
           "Создайте их в этой папке из терминала и запустите Тальмар снова:\n"
           "    cd " +
           ShellWord(folder) +
           "\n"
           "    talmar-tables create    - пустые таблицы,\n"
           "    talmar-tables sample    - таблицы с примером для знакомства с программой.\n\n"
           "Таблицы в старом формате (Paradox) из другой папки переводит команда "
           "talmar-tables import ПАПКА.";
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
    std::string home;
    if (const char* h = std::getenv("HOME"); h && *h)
        home = h;
    else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        home = pw->pw_dir;
    return (fs::path(home) / "Тальмар").string();
}

std::string EnterUserFolder() {
    const std::string folder = UserFolder();
    std::error_code failed;
    fs::create_directory(folder, failed);
    if (!failed)
        fs::current_path(folder, failed);
    if (!failed)
        return {};
    std::error_code ec;
    return "Не удалось открыть рабочую папку " + folder + ": " + std::strerror(failed.value()) +
           ".\nТальмар работает в папке " + fs::current_path(ec).string() + ".";
}

bool ReportNoTables(IHost& host) {
    if (!FolderHasNoTables())
        return false;
    std::error_code ec;
    host.ShowMessage(NoTablesMessage(fs::current_path(ec).string()), {}, TMsgButtons::Ok,
                     TMsgIcon::Information);
    return true;
}

} // namespace talmar
