// ORVA's icon, drawn in code: four stacked horizontal rows outlined in dark
// green, the second from the top strong green, the others pale green, the
// rest of the 32 x 32 square transparent. make-icon writes it to
// resources/orva.png, the one image everything else uses.
#pragma once

#include <QByteArray>
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

// The sizes of the Windows icon: the small and large icons at 100 %, 150 %
// and 200 %, and Explorer's largest view.
inline constexpr int kWindowsIconSizes[] = {16, 24, 32, 48, 64, 256};

// The picture at `size` pixels: the original at 32, crisp enlargements at
// multiples of 32, and smooth reductions of the 256 px enlargement otherwise.
QImage DrawIconAt(int size);

// A Windows .ico file holding the icon at every kWindowsIconSizes: 32-bit
// bitmaps with a transparency mask, and the 256 px picture as PNG, as
// Windows stores its own. resources/orva.ico, built into orva.exe.
QByteArray WindowsIconFile();

}  // namespace orva::icon
