#include "editors/TuningORTEN.h"

namespace talmar {

TFTuningORTEN::TFTuningORTEN(QWidget* parent) : QDialog(parent) {
    setObjectName("FTuningORTEN");
    setWindowTitle("Настройки ОРТЕН");
}

} // namespace talmar
