#include "editors/TuningLT.h"

namespace talmar {

TFTuningLT::TFTuningLT(QWidget* parent) : QDialog(parent) {
    setObjectName("FTuningLT");
    setWindowTitle("Настройки временной системы");
}

} // namespace talmar
