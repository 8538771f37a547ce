#include "patchui/DialogLayoutRules.h"

namespace DialogLayoutRules {

int FontHeight(int pointSize, double pixelsPerInch) {
    return -static_cast<int>(pointSize * pixelsPerInch / 72.0 + 0.5);
}

int HorizontalBaseUnit(int alphabetWidth) { return (alphabetWidth / 26 + 1) / 2; }

int ScaleX(int units, int baseUnitX) { return static_cast<int>(units * baseUnitX * 0.25 + 0.5); }

int ScaleY(int units, int baseUnitY) { return static_cast<int>(units * baseUnitY * 0.125 + 0.5); }

}  // namespace DialogLayoutRules
