#include "resources/icon_art.h"

#include <array>

namespace orva::icon {
namespace {

// Palette indices of the drawn image.
enum : uchar { kTransparent = 0, kOutlineIndex = 1, kStrongIndex = 2, kPaleIndex = 3 };

constexpr int kLeft = 1;      // outline column on the left
constexpr int kRight = 30;    // outline column on the right
constexpr int kTop = 2;       // top outline line of the first row
constexpr int kRowPitch = 7;  // one outline line and six fill lines per row
constexpr int kRows = 4;
constexpr int kStrongRow = 1;  // the second row from the top

void FillRect(QImage& image, int left, int top, int right, int bottom, uchar index) {
  for (int y = top; y <= bottom; ++y) {
    for (int x = left; x <= right; ++x) image.setPixel(x, y, index);
  }
}

}  // namespace

QImage DrawIcon() {
  QImage image(kSize, kSize, QImage::Format_Indexed8);
  image.setColorTable({qRgba(0, 0, 0, 0), kOutline.rgb(), kStrongFill.rgb(), kPaleFill.rgb()});
  image.fill(kTransparent);

  const int bottom = kTop + kRows * kRowPitch;
  // The outline: both sides, then one line above, between and below the rows.
  FillRect(image, kLeft, kTop, kLeft, bottom, kOutlineIndex);
  FillRect(image, kRight, kTop, kRight, bottom, kOutlineIndex);
  for (int row = 0; row <= kRows; ++row) {
    const int y = kTop + row * kRowPitch;
    FillRect(image, kLeft, y, kRight, y, kOutlineIndex);
  }
  for (int row = 0; row < kRows; ++row) {
    const int top = kTop + row * kRowPitch + 1;
    FillRect(image, kLeft + 1, top, kRight - 1, top + kRowPitch - 2,
             row == kStrongRow ? kStrongIndex : kPaleIndex);
  }
  return image;
}

QImage ScaleCrisply(const QImage& source, int factor) {
  constexpr int kLargest = 1024;
  if (source.isNull() || factor < 1 || source.width() > kLargest / factor ||
      source.height() > kLargest / factor) {
    return {};
  }
  // Nearest-neighbour by hand: Qt's FastTransformation rounds positions and
  // may shift a line by one pixel; copying blocks cannot.
  const QImage argb = source.convertToFormat(QImage::Format_ARGB32);
  QImage out(argb.width() * factor, argb.height() * factor, QImage::Format_ARGB32);
  for (int y = 0; y < out.height(); ++y) {
    for (int x = 0; x < out.width(); ++x) out.setPixel(x, y, argb.pixel(x / factor, y / factor));
  }
  return out;
}

}  // namespace orva::icon
