#include "tests/editors/EditorFixture.h"

#include <QPushButton>
#include <QTimer>
#include <cstdlib>

namespace talmar::test {

void EditorWindowTest::SetUp() {
    const std::string tool = std::string(TALMAR_BINARY_DIR) + "/tools/tables/talmar-tables sample >/dev/null";
    ASSERT_EQ(std::system(tool.c_str()), 0);
    sim = std::make_unique<sim::TModemSim>();
    setenv("TALMAR_COM2", sim->SlavePath().c_str(), 1); // the sample Pref.db says COM2
    auto h = std::make_unique<TRecordingHost>();
    host = h.get();
    w = std::make_unique<TFMain>(std::move(h));
    dm = std::make_unique<TDMTables>(w->Host(), w.get());
    ASSERT_TRUE(dm->Open());
    w->SetDataModule(dm.get());
    board = std::make_unique<TCopyBoard>(*dm);
    lf = new TFTuningLF(*dm, *board, w->Host(), w.get());
    lt = new TFTuningLT(*dm, *board, w->Host(), w.get());
    orten = new TFTuningORTEN(*dm, *board, w->Host(), w.get());
    w->SetWindows(lf, nullptr, lt, orten, nullptr, nullptr);
}

void EditorWindowTest::TearDown() {
    if (dm)
        dm->Close();
    w.reset();
    board.reset();
    dm.reset();
    unsetenv("TALMAR_COM2");
}

void Type(QWidget* w, const char* text) {
    w->setFocus();
    for (const QChar c : QString::fromUtf8(text)) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
    }
}

void EditorWindowTest::ExecInside(TFTuning* window, const std::function<void()>& showCommand,
                                  const std::function<void()>& check) {
    bool ran = false;
    QTimer::singleShot(0, window, [&] {
        ran = true;
        EXPECT_TRUE(window->isVisible() && window->isModal());
        check();
        window->OKBtn->click();
    });
    showCommand();
    EXPECT_TRUE(ran);
    EXPECT_FALSE(window->isVisible());
}

std::vector<std::string> EditorWindowTest::NewLog(std::size_t from) const {
    return {w->LogLines().begin() + static_cast<long>(from), w->LogLines().end()};
}

} // namespace talmar::test
