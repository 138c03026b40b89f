// Entry of the program: one copy per user, then the windows in their fixed order.
#include "Desktop.h"
#include "GuiHost.h"
#include "Startup.h"
#include "base/InstanceLock.h"

#include <QApplication>

int main(int argc, char** argv) {
    talmar::TInstanceLock lock;
    if (!lock.Acquire())
        return 0; // another copy runs: leave quietly, no window, no message
    QApplication app(argc, argv);
    talmar::SetDesktopIdentity();
    // The menu entry starts the program in the user's own working folder; a start from a shell
    // works in the folder it is started in.
    if (QCoreApplication::arguments().contains(QString::fromUtf8(talmar::kUserFolderOption)))
        if (const std::string error = talmar::EnterUserFolder(); !error.empty())
            talmar::TGuiHost().ShowMessage(error, {}, talmar::TMsgButtons::Ok, talmar::TMsgIcon::Error);
    return talmar::RunApplication(app);
}
