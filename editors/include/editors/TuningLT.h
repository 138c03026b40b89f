#pragma once
// The settings editor of Data_LT.DB: the one editor window with this editor's form.

#include "editors/TuningWindow.h"

namespace talmar {

class TFTuningLT : public TFTuning {
public:
    TFTuningLT(TDMTables& dm, TCopyBoard& board, IHost& host, QWidget* parent = nullptr)
        : TFTuning(FormLT(), dm, board, host, parent) {}
};

} // namespace talmar
