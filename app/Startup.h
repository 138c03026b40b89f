#pragma once
// Creates the windows in their order, runs the message loop, and closes the tables however the
// loop ends.

class QApplication;

namespace talmar {

int RunApplication(QApplication& app);

// Qt's own texts (standard buttons, the file dialog) in Russian, from Qt's translation files.
// False when they are not installed; the program then goes on with Qt's English texts.
bool LoadQtTranslations(QApplication& app);

} // namespace talmar
