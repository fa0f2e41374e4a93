#include "resources/icon_art.h"

#include <QBuffer>
#include <QtEndian>
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

QImage DrawIconAt(int size) {
  if (size % kSize == 0) return ScaleCrisply(DrawIcon(), size / kSize);
  constexpr int kLargest = 256;
  return ScaleCrisply(DrawIcon(), kLargest / kSize)
      .scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
      .convertToFormat(QImage::Format_ARGB32);
}

namespace {

void Append16(QByteArray& out, int value) {
  const auto bytes = qToLittleEndian(static_cast<quint16>(value));
  out.append(reinterpret_cast<const char*>(&bytes), sizeof bytes);
}

void Append32(QByteArray& out, qint64 value) {
  const auto bytes = qToLittleEndian(static_cast<quint32>(value));
  out.append(reinterpret_cast<const char*>(&bytes), sizeof bytes);
}

// One icon image as a BITMAPINFOHEADER, the colour pixels (BGRA, bottom row
// first) and the AND mask (one bit a pixel, set where transparent, rows
// padded to 32 bits). The header gives twice the height: colour and mask.
QByteArray BitmapEntry(const QImage& picture) {
  const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
  const int side = image.width();
  const int mask_row = (side + 31) / 32 * 4;
  QByteArray out;
  Append32(out, 40);
  Append32(out, side);
  Append32(out, 2 * side);
  Append16(out, 1);   // planes
  Append16(out, 32);  // bits a pixel
  Append32(out, 0);   // BI_RGB
  Append32(out, (4 * side + mask_row) * side);
  for (int i = 0; i < 4; ++i) Append32(out, 0);  // resolution and palette: unused
  for (int y = side - 1; y >= 0; --y) {
    for (int x = 0; x < side; ++x) {
      const QRgb pixel = image.pixel(x, y);
      out.append(static_cast<char>(qBlue(pixel)));
      out.append(static_cast<char>(qGreen(pixel)));
      out.append(static_cast<char>(qRed(pixel)));
      out.append(static_cast<char>(qAlpha(pixel)));
    }
  }
  for (int y = side - 1; y >= 0; --y) {
    QByteArray row(mask_row, '\0');
    for (int x = 0; x < side; ++x) {
      if (qAlpha(image.pixel(x, y)) == 0)
        row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
    }
    out.append(row);
  }
  return out;
}

QByteArray PngEntry(const QImage& image) {
  QByteArray out;
  QBuffer buffer(&out);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return out;
}

}  // namespace

QByteArray WindowsIconFile() {
  constexpr int kHeader = 6;
  constexpr int kDirectoryEntry = 16;
  constexpr int kPngFrom = 256;
  QByteArray directory;
  QByteArray images;
  const auto count = static_cast<int>(std::size(kWindowsIconSizes));
  for (const int size : kWindowsIconSizes) {
    const QImage picture = DrawIconAt(size);
    const QByteArray image = size >= kPngFrom ? PngEntry(picture) : BitmapEntry(picture);
    directory.append(static_cast<char>(size % 256));  // 0 stands for 256
    directory.append(static_cast<char>(size % 256));
    directory.append('\0');  // no palette
    directory.append('\0');
    Append16(directory, 1);   // planes
    Append16(directory, 32);  // bits a pixel
    Append32(directory, image.size());
    Append32(directory, kHeader + kDirectoryEntry * count + images.size());
    images.append(image);
  }
  QByteArray out;
  Append16(out, 0);
  Append16(out, 1);  // an icon, not a cursor
  Append16(out, count);
  return out + directory + images;
}

}  // namespace orva::icon
