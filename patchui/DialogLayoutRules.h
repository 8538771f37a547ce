#pragma once

// Arithmetic of laying a dialog template out from its font at a chosen resolution, as the
// platform's dialog manager does it for the screen's own.
namespace DialogLayoutRules {

// Logical font height for a point size at pixelsPerInch (negative: the character height).
int FontHeight(int pointSize, double pixelsPerInch);
// Horizontal base unit from the width of the 52 letters a-z A-Z.
int HorizontalBaseUnit(int alphabetWidth);
// Dialog units to pixels: horizontal units are quarters, vertical ones eighths of a base unit.
int ScaleX(int units, int baseUnitX);
int ScaleY(int units, int baseUnitY);

}  // namespace DialogLayoutRules
