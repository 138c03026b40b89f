#pragma once
// How the program meets the desktop: its icon and the name of its menu entry, the working folder
// of a start from the applications menu, and the first start in a folder without tables.

#include <string>

namespace talmar {

class IHost;

// The option the menu entry passes: work in the user's own folder instead of the current one.
inline constexpr const char* kUserFolderOption = "--user-folder";
// The name of the menu entry (talmar.desktop), so the shell matches the window with it.
inline constexpr const char* kDesktopFileName = "talmar";

// The program's icon (every size of the resource) for the title bar and the task bar of every
// window, and the menu entry's name. Needs the application object.
void SetDesktopIdentity();

// ~/Тальмар: $HOME, or the account's home folder when HOME is not set.
std::string UserFolder();

// Makes the user folder when it is not there yet (the home folder itself is never made) and
// makes it the current folder. Empty on success; otherwise the message for the user, and the
// current folder is left as it was.
std::string EnterUserFolder();

// On a start in a folder without any of the five table files, shows one message naming the
// folder and the commands that make empty tables or tables with an example there, and returns
// true: the tables are then not opened (every one of them would fail). False, showing nothing,
// when at least one table file is there.
bool ReportNoTables(IHost& host);

} // namespace talmar
