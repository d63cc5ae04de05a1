#include "app/contrast.h"

#include <algorithm>
#include <cmath>

namespace app {
namespace {

double linear(double channel) {
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

constexpr int kLightnessSteps = 255;

}  // namespace

double relativeLuminance(const QColor& colour) {
    const QColor rgb = colour.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) +
           0.0722 * linear(rgb.blueF());
}

double contrastRatio(const QColor& a, const QColor& b) {
    const double la = relativeLuminance(a);
    const double lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor readableOn(const QColor& colour, const QColor& background, double ratio) {
    if (contrastRatio(colour, background) >= ratio)
        return colour;
    const QColor hsl = colour.toHsl();
    const int own = hsl.lightness();
    // Away from the background first: a light background asks for a darker colour.
    const bool lightBackground =
        contrastRatio(background, Qt::black) >= contrastRatio(background, Qt::white);
    for (const int direction : {lightBackground ? -1 : 1, lightBackground ? 1 : -1}) {
        for (int lightness = own + direction; lightness >= 0 && lightness <= kLightnessSteps;
             lightness += direction) {
            const QColor candidate =
                QColor::fromHsl(hsl.hslHue(), hsl.hslSaturation(), lightness, colour.alpha());
            if (contrastRatio(candidate, background) >= ratio)
                return candidate.toRgb();
        }
    }
    const QColor black(0, 0, 0, colour.alpha());
    const QColor white(255, 255, 255, colour.alpha());
    return contrastRatio(black, background) >= contrastRatio(white, background) ? black : white;
}

}  // namespace app
