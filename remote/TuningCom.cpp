#include "remote/TuningCom.h"

namespace talmar {

TFTuningCom::TFTuningCom(QWidget* parent) : QDialog(parent) {
    setObjectName("FTuningCom");
    setWindowTitle("Выбор COM-порта");
}

} // namespace talmar
