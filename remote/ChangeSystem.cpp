#include "remote/ChangeSystem.h"

namespace talmar {

TFChangeSystem::TFChangeSystem(QWidget* parent) : QDialog(parent) {
    setObjectName("FChangeSystem");
    setWindowTitle("Переход КЕРВА <-> ОРТЕН");
}

} // namespace talmar
