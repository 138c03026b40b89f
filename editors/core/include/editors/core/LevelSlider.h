#pragma once
// A level slider: whole-number positions from Min to Max in steps of 1, the position being the
// stored level in dB itself. Setting Min, Max or the position clamps the position into
// [Min, Max]; a Min that is not below Max (or a Max not above Min) is refused. Each setter says
// whether the position moved: only then does the slider report a change, whether the engineer
// moved it or the editor did.

#include "store/SettingsImage.h"

#include <string>

namespace talmar {

// The receive sliders' fixed range: what the image builder lets through.
inline constexpr int kReceiveMin = kReceiveLevelMin;
inline constexpr int kReceiveMax = kReceiveLevelMax;

class TLevelSlider {
public:
    // The position starts at 0, clamped into the range.
    TLevelSlider(int min, int max);

    int Min() const { return min_; }
    int Max() const { return max_; }
    int Position() const { return position_; }

    // Each returns true when the position moved. A refused Min or Max changes nothing.
    bool SetMin(int min);
    bool SetMax(int max);
    bool SetPosition(int position);
    // Both ends at once (refused, changing nothing, when min is not below max).
    bool SetRange(int min, int max);

private:
    bool Clamp();

    int min_;
    int max_;
    int position_ = 0;
};

// The range of a transmit slider for the line-resistance correction v (a value of the
// line-resistance list): -46 - v to -v, so that the level plus the correction lies between -46
// and 0 dB. The labels under the slider's ends show the two bounds as text.
struct TTransmitRange {
    int min;
    int max;
    std::string minLabel;
    std::string maxLabel;
};
TTransmitRange RangeRule(int v);

} // namespace talmar
