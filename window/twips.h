// Screen measures. The window's layout is given in twips, 1/1440 inch, and
// font sizes in points (20 twips each). At 96 dots per inch a pixel is 15
// twips, so every position, size and font size goes through TwipsToPixels.
#pragma once

#include <QRect>

namespace orva {

inline constexpr int kTwipsPerPixel = 15;
inline constexpr int kTwipsPerPoint = 20;

// Rounds to the nearest pixel; a negative position mirrors the positive one.
constexpr int TwipsToPixels(int twips) {
  constexpr int kHalf = kTwipsPerPixel / 2;
  return twips >= 0 ? (twips + kHalf) / kTwipsPerPixel : -((-twips + kHalf) / kTwipsPerPixel);
}

// A font size in hundredths of a point (825 for 8.25 pt), as pixels.
constexpr int CentipointsToPixels(int centipoints) {
  return TwipsToPixels(centipoints * kTwipsPerPoint / 100);
}

// Left, top, width and height in twips, relative to the container.
inline QRect TwipsRect(int left, int top, int width, int height) {
  return {TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height)};
}

static_assert(TwipsToPixels(5160) == 344 && TwipsToPixels(4320) == 288);
static_assert(TwipsToPixels(-120) == -8 && TwipsToPixels(7) == 0 && TwipsToPixels(8) == 1);
static_assert(CentipointsToPixels(825) == 11 && CentipointsToPixels(975) == 13);

}  // namespace orva
