#pragma once
// The settings editor of Data_ORTEN.DB: the one editor window with this editor's form.

#include "editors/TuningWindow.h"

namespace talmar {

class TFTuningORTEN : public TFTuning {
public:
    TFTuningORTEN(TDMTables& dm, TCopyBoard& board, IHost& host, QWidget* parent = nullptr)
        : TFTuning(FormORTEN(), dm, board, host, parent) {}
};

} // namespace talmar
