#pragma once
// Created once at start, hidden, and shown from the main menu; closing it only hides it.

#include <QDialog>

namespace talmar {

class TFTuningORTEN : public QDialog {
    Q_OBJECT
public:
    explicit TFTuningORTEN(QWidget* parent = nullptr);
};

} // namespace talmar
