// ORVA's icon, drawn in code: four stacked horizontal rows outlined in dark
// green, the second from the top strong green, the others pale green, the
// rest of the 32 x 32 square transparent. make-icon writes it to
// resources/orva.png, the one image everything else uses.
#pragma once

#include <QColor>
#include <QImage>

namespace orva::icon {

inline constexpr int kSize = 32;
inline const QColor kOutline{0, 100, 0};
inline const QColor kStrongFill{0, 220, 73};
inline const QColor kPaleFill{177, 255, 199};

// The 32 x 32 icon as a palette image (at most 256 colours, index 0 transparent).
QImage DrawIcon();

// `source` enlarged `factor` times, each pixel becoming a factor x factor
// block of the same colour, so the rows stay sharp at desktop sizes.
// Returns a null image when the factor is below 1 or the result would be
// larger than 1024 pixels on a side.
QImage ScaleCrisply(const QImage& source, int factor);

}  // namespace orva::icon
