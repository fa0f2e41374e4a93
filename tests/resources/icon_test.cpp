// The committed icon, read back as a user's desktop would see it, against the
// picture it must show: four stacked rows outlined in dark green, the second
// strong green, the others pale green, transparent around them.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <string>
#include <vector>

#include "resources/icon_art.h"

namespace orva::icon {
namespace {

enum class Paint { kClear, kOutline, kStrong, kPale, kOther };

std::string Name(Paint paint) {
  switch (paint) {
    case Paint::kClear:
      return "clear";
    case Paint::kOutline:
      return "outline";
    case Paint::kStrong:
      return "strong";
    case Paint::kPale:
      return "pale";
    case Paint::kOther:
      return "other";
  }
  return "?";
}

// What the eye sees at one pixel. Dark green: opaque, clearly green and dark.
Paint PaintAt(const QImage& image, int x, int y) {
  const QColor c = image.pixelColor(x, y);
  if (c.alpha() == 0) return Paint::kClear;
  if (c.alpha() != 255) return Paint::kOther;
  if (c.rgb() == QColor(0, 220, 73).rgb()) return Paint::kStrong;
  if (c.rgb() == QColor(177, 255, 199).rgb()) return Paint::kPale;
  if (c.green() > 40 && c.green() <= 128 && c.red() < c.green() / 2 && c.blue() < c.green() / 2) {
    return Paint::kOutline;
  }
  return Paint::kOther;
}

// The paints met along a line, each run of equal pixels counted once.
std::string Runs(const QImage& image, bool vertical, int at) {
  std::vector<Paint> runs;
  const int length = vertical ? image.height() : image.width();
  for (int i = 0; i < length; ++i) {
    const Paint p = vertical ? PaintAt(image, at, i) : PaintAt(image, i, at);
    if (runs.empty() || runs.back() != p) runs.push_back(p);
  }
  std::string out;
  for (const Paint p : runs) out += (out.empty() ? "" : " ") + Name(p);
  return out;
}

class CommittedIconTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(icon_.isNull()) << "cannot read " << ORVA_ICON_FILE; }
  QImage icon_{QString::fromUtf8(ORVA_ICON_FILE)};
};

TEST_F(CommittedIconTest, IsA32PixelSquareOfAtMost256Colours) {
  EXPECT_EQ(icon_.size(), QSize(32, 32));
  EXPECT_EQ(icon_.format(), QImage::Format_Indexed8);
  EXPECT_GE(icon_.colorCount(), 4);
  EXPECT_LE(icon_.colorCount(), 256);
}

TEST_F(CommittedIconTest, ShowsFourOutlinedRowsWithTheSecondStrong) {
  const std::string rows =
      "clear outline pale outline strong outline pale outline pale outline clear";
  for (const int x : {3, 16, 28}) EXPECT_EQ(Runs(icon_, true, x), rows) << "column " << x;
}

TEST_F(CommittedIconTest, EveryRowIsClosedOnBothSides) {
  for (const int y : {5, 12, 19, 26}) {
    const std::string fill = y == 12 ? "strong" : "pale";
    EXPECT_EQ(Runs(icon_, false, y), "clear outline " + fill + " outline clear") << "line " << y;
  }
}

TEST_F(CommittedIconTest, CornersAndEdgesAreTransparent) {
  for (int i = 0; i < 32; ++i) {
    EXPECT_EQ(PaintAt(icon_, i, 0), Paint::kClear) << i;
    EXPECT_EQ(PaintAt(icon_, i, 31), Paint::kClear) << i;
    EXPECT_EQ(PaintAt(icon_, 0, i), Paint::kClear) << i;
    EXPECT_EQ(PaintAt(icon_, 31, i), Paint::kClear) << i;
  }
}

TEST_F(CommittedIconTest, UsesNoPaintBesidesTheFour) {
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      ASSERT_NE(PaintAt(icon_, x, y), Paint::kOther) << x << "," << y;
    }
  }
}

// A stale committed file would ship a picture the generator no longer makes.
TEST_F(CommittedIconTest, IsWhatTheGeneratorDraws) {
  EXPECT_EQ(icon_.convertToFormat(QImage::Format_ARGB32),
            DrawIcon().convertToFormat(QImage::Format_ARGB32))
      << "run: make-icon draw resources/orva.png";
}

TEST(ScaleCrisplyTest, EveryPixelBecomesASolidBlock) {
  const QImage source = DrawIcon();
  const QImage big = ScaleCrisply(source, 4);
  ASSERT_EQ(big.size(), QSize(128, 128));
  for (int y = 0; y < 128; ++y) {
    for (int x = 0; x < 128; ++x) {
      ASSERT_EQ(big.pixelColor(x, y).rgba(), source.pixelColor(x / 4, y / 4).rgba())
          << x << "," << y;
    }
  }
  // The transparent border stays transparent instead of blending into the outline.
  EXPECT_EQ(big.pixelColor(3, 64).alpha(), 0);
  EXPECT_EQ(PaintAt(big, 4, 64), Paint::kOutline);
}

TEST(ScaleCrisplyTest, FactorOneKeepsThePicture) {
  const QImage source = DrawIcon();
  EXPECT_EQ(ScaleCrisply(source, 1), source.convertToFormat(QImage::Format_ARGB32));
}

TEST(ScaleCrisplyTest, RefusesFactorsOutOfRange) {
  const QImage source = DrawIcon();
  EXPECT_TRUE(ScaleCrisply(source, 0).isNull());
  EXPECT_TRUE(ScaleCrisply(source, -2).isNull());
  EXPECT_FALSE(ScaleCrisply(source, 32).isNull());  // 1024 px, the largest
  EXPECT_TRUE(ScaleCrisply(source, 33).isNull());
  EXPECT_TRUE(ScaleCrisply(source, 1 << 28).isNull());  // no overflow into a small size
  EXPECT_TRUE(ScaleCrisply(QImage(), 2).isNull());
}

// The Windows icon as Windows' own reader (here Qt's) takes it apart: every
// size there, each showing the drawing at that size, transparency included;
// and the committed file is what the generator writes today.
TEST(WindowsIconTest, HoldsTheDrawingAtEverySize) {
  QByteArray bytes = WindowsIconFile();
  QBuffer buffer(&bytes);
  QImageReader reader(&buffer, "ico");
  std::vector<int> sizes;
  for (int i = 0; i < reader.imageCount(); ++i) {
    ASSERT_TRUE(reader.jumpToImage(i));
    const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(image.isNull()) << "image " << i << ": " << reader.errorString().toStdString();
    EXPECT_EQ(image, DrawIconAt(image.width())) << image.width() << " px";
    sizes.push_back(image.width());
  }
  EXPECT_EQ(sizes, std::vector<int>(std::begin(kWindowsIconSizes), std::end(kWindowsIconSizes)));
  EXPECT_EQ(DrawIconAt(32), DrawIcon().convertToFormat(QImage::Format_ARGB32));
  EXPECT_EQ(PaintAt(DrawIconAt(16), 0, 0), Paint::kClear);

  QFile committed(QString::fromUtf8(ORVA_ICON_FILE).replace(".png", ".ico"));
  ASSERT_TRUE(committed.open(QIODevice::ReadOnly));
  EXPECT_TRUE(committed.readAll() == WindowsIconFile()) << "run: make-icon ico resources/orva.ico";
}

}  // namespace
}  // namespace orva::icon
