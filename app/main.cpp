// Entry of the program: one copy per user, then the windows in their fixed order.
#include "app/Startup.h"
#include "link/InstanceLock.h"

#include <QApplication>

int main(int argc, char** argv) {
    talmar::TInstanceLock lock;
    if (!lock.Acquire())
        return 0; // another copy runs: leave quietly, no window, no message
    QApplication app(argc, argv);
    return talmar::RunApplication(app);
}
