#pragma once
// Creates the windows in their order, runs the message loop, and closes the tables however the
// loop ends.

class QApplication;

namespace talmar {

int RunApplication(QApplication& app);

} // namespace talmar
