#pragma once
// Colours that stay readable on light and dark desktop palettes: the contrast ratio of two
// colours by their relative luminance (as the web's accessibility guidelines define it),
// and a colour moved just far enough in lightness, keeping its hue, to stand out from a
// background.

#include <QColor>

namespace app {

// Text against its background needs 4.5:1; lamps, bars and outlines 3:1.
inline constexpr double kTextContrast = 4.5;
inline constexpr double kGraphicContrast = 3.0;

// 0 (black) … 1 (white).
double relativeLuminance(const QColor& colour);
// 1 … 21, the same either way round.
double contrastRatio(const QColor& a, const QColor& b);
// `colour` itself when it has `ratio` against `background`; otherwise the same hue and
// saturation at the lightness nearest to its own that has it, darker on a light background
// and lighter on a dark one (the other way when that one cannot reach the ratio; the
// better of black and white when neither can).
QColor readableOn(const QColor& colour, const QColor& background, double ratio);

}  // namespace app
