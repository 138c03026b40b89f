// talmar-shots: draws every tab of the three settings editors, over the tables of the current
// folder (as talmar-tables sample makes them), into PNG files: talmar-shots OUTDIR.
// Message boxes are printed instead of shown.

#include "base/QtHost.h"
#include "editors/TuningLF.h"
#include "editors/TuningLT.h"
#include "editors/TuningORTEN.h"
#include "editors/core/CopyBoard.h"
#include "store/DMTables.h"

#include <QApplication>
#include <QTabWidget>
#include <cstdio>

namespace {

class TPrintHost : public talmar::TQtHost {
public:
    talmar::TMsgResult ShowMessage(const std::string& text, const std::string&, talmar::TMsgButtons,
                                   talmar::TMsgIcon) override {
        std::fprintf(stderr, "talmar-shots: %s\n", text.c_str());
        return talmar::TMsgResult::Ok;
    }
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: talmar-shots OUTDIR  (in a folder with the tables)\n", stderr);
        return 2;
    }
    QApplication app(argc, argv);
    const QString out = QString::fromLocal8Bit(argv[1]);
    TPrintHost host;
    talmar::TDMTables dm(host);
    if (!dm.Open())
        return 1;
    talmar::TCopyBoard board;
    talmar::TFTuningLF lf(dm, board, host);
    talmar::TFTuningLT lt(dm, board, host);
    talmar::TFTuningORTEN orten(dm, board, host);
    const struct {
        talmar::TFTuning* window;
        const char* prefix;
    } editors[] = {{&lf, "editor-lf"}, {&lt, "editor-lt"}, {&orten, "editor-orten"}};
    int status = 0;
    // The time editor on the sample КП that uses both telesignalling channels.
    dm.TDataLT().Last();
    for (const auto& e : editors) {
        e.window->show();
        for (int t = 0; t < e.window->General->count(); ++t) {
            e.window->General->setCurrentIndex(t);
            QApplication::processEvents();
            const QString file = QString("%1/%2-%3.png").arg(out, e.prefix).arg(t + 1);
            if (!e.window->grab().save(file)) {
                std::fprintf(stderr, "talmar-shots: cannot write %s\n", qPrintable(file));
                status = 1;
            } else {
                std::printf("%s\n", qPrintable(file));
            }
        }
        e.window->General->setCurrentIndex(0);
        e.window->hide();
    }
    return status;
}
