#include "editors/core/LevelSlider.h"

#include <algorithm>

namespace talmar {

TLevelSlider::TLevelSlider(int min, int max) : min_(min), max_(std::max(max, min + 1)) {
    Clamp();
}

bool TLevelSlider::Clamp() {
    const int p = std::clamp(position_, min_, max_);
    if (p == position_)
        return false;
    position_ = p;
    return true;
}

bool TLevelSlider::SetMin(int min) {
    if (min >= max_)
        return false;
    min_ = min;
    return Clamp();
}

bool TLevelSlider::SetMax(int max) {
    if (max <= min_)
        return false;
    max_ = max;
    return Clamp();
}

bool TLevelSlider::SetRange(int min, int max) {
    if (min >= max)
        return false;
    min_ = min;
    max_ = max;
    return Clamp();
}

bool TLevelSlider::SetPosition(int position) {
    const int p = std::clamp(position, min_, max_);
    if (p == position_)
        return false;
    position_ = p;
    return true;
}

TTransmitRange RangeRule(int v) {
    return {-46 - v, -v, std::to_string(-46 - v), std::to_string(-v)};
}

} // namespace talmar
