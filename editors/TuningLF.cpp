#include "editors/TuningLF.h"

namespace talmar {

TFTuningLF::TFTuningLF(QWidget* parent) : QDialog(parent) {
    setObjectName("FTuningLF");
    setWindowTitle("Настройки частотной системы");
}

} // namespace talmar
