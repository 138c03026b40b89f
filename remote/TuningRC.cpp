#include "remote/TuningRC.h"

namespace talmar {

TFTuningRC::TFTuningRC(QWidget* parent) : QDialog(parent) {
    setObjectName("FTuningRC");
    setWindowTitle("Настройка ДУ");
}

} // namespace talmar
