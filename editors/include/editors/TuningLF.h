#pragma once
// The settings editor of Data_LF.DB: the one editor window with this editor's form.

#include "editors/TuningWindow.h"

namespace talmar {

class TFTuningLF : public TFTuning {
public:
    TFTuningLF(TDMTables& dm, TCopyBoard& board, IHost& host, QWidget* parent = nullptr)
        : TFTuning(FormLF(), dm, board, host, parent) {}
};

} // namespace talmar
