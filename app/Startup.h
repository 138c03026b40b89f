#pragma once
// Creates the windows in their order, runs the message loop, and closes the tables however the
// loop ends.

#include <memory>

class QApplication;

namespace talmar {

class TCopyBoard;
class TDMTables;
class TFMain;

// The program's objects from start to exit.
class TProgram {
public:
    TProgram();
    ~TProgram();
    TProgram(const TProgram&) = delete;
    TProgram& operator=(const TProgram&) = delete;

    // Creates, in their order, the main window, the data module (which opens the tables) and the
    // windows after it, and shows the main window.
    void Start();
    // Commits and closes the tables, then the windows go and the log is written.
    void Stop();

    std::unique_ptr<TDMTables> dmTables;
    std::unique_ptr<TCopyBoard> board;
    std::unique_ptr<TFMain> fMain; // last: its windows go before the tables they show

private:
    bool stopped_ = false;
};

// The name and version the desktop and assistive technology see for the program: the same name
// and version as the main window's caption. Called first by RunApplication.
void NameApplication();

int RunApplication(QApplication& app);

// Qt's own texts (standard buttons, the file dialog) in Russian, from Qt's translation files.
// False when they are not installed; the program then goes on with Qt's English texts.
bool LoadQtTranslations(QApplication& app);

} // namespace talmar
