// Form1's layout, the same for every view of the window: each control with its
// kind, its container, its place in twips (1/1440 inch), its text, colours and
// font; the menu; the keyboard's focus order. A view creates its controls from
// these tables and converts twips to pixels at its screen's dots per inch.
// Plain C++: no toolkit.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace orva::layout {

// --- Screen measures ---

inline constexpr int kTwipsPerInch = 1440;
inline constexpr int kTwipsPerPoint = 20;
inline constexpr int kStandardDpi = 96;  // 15 twips to a pixel

// Twips as pixels at `dpi`, rounded to the nearest; a negative position
// mirrors the positive one. At 96 dots per inch a pixel is 15 twips.
constexpr int TwipsToPixels(int twips, int dpi = kStandardDpi) {
  const long long scaled = static_cast<long long>(twips < 0 ? -twips : twips) * dpi;
  const int pixels = static_cast<int>((scaled + kTwipsPerInch / 2) / kTwipsPerInch);
  return twips < 0 ? -pixels : pixels;
}

// A font size in hundredths of a point (825 for 8.25 pt), as pixels.
constexpr int CentipointsToPixels(int centipoints, int dpi = kStandardDpi) {
  return TwipsToPixels(centipoints * kTwipsPerPoint / 100, dpi);
}

static_assert(TwipsToPixels(5160) == 344 && TwipsToPixels(4320) == 288);
static_assert(TwipsToPixels(-120) == -8 && TwipsToPixels(7) == 0 && TwipsToPixels(8) == 1);
static_assert(CentipointsToPixels(825) == 11 && CentipointsToPixels(975) == 13);

// Left, top, width and height, relative to the container.
struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;

  friend bool operator==(const Rect&, const Rect&) = default;
};

// A rectangle in twips as pixels at `dpi`, each side rounded on its own.
constexpr Rect ToPixels(const Rect& twips, int dpi = kStandardDpi) {
  return {TwipsToPixels(twips.left, dpi), TwipsToPixels(twips.top, dpi),
          TwipsToPixels(twips.width, dpi), TwipsToPixels(twips.height, dpi)};
}

// --- Look ---

struct Rgb {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;

  friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr Rgb kFace{224, 224, 224};        // window, frames and most text boxes
inline constexpr Rgb kButtonFace{192, 192, 192};  // Insert
inline constexpr Rgb kOkFace{235, 235, 235};      // the help panel's OK
inline constexpr Rgb kWhite{255, 255, 255};       // the box for a new text
inline constexpr Rgb kMaroon{128, 0, 0};          // typed text and the selected mission's details
inline constexpr Rgb kNavy{0, 0, 128};            // mission texts in the list
inline constexpr Rgb kPanelBlue{0, 0, 192};       // the help panel's texts
inline constexpr Rgb kBlue{0, 0, 255};            // the database path; the help panel's middle bar
inline constexpr Rgb kRed{255, 0, 0};             // the help panel's lowest bar

inline constexpr int kSmallFontCentipoints = 825;  // 8.25 pt
inline constexpr int kLargeFontCentipoints = 975;  // 9.75 pt
inline constexpr int kCyrillicCharset = 204;       // RUSSIAN_CHARSET

struct Font {
  std::string_view name{};  // "MS Sans Serif"
  int centipoints = 0;
  bool bold = false;
  int charset = 0;
};

enum class Kind { kFrame, kListBox, kTextBox, kPushButton, kLabel, kImage, kBar };

// How a control takes the keyboard focus.
enum class Focus {
  kTab,    // by Tab (in FocusOrder() where listed) and by click
  kClick,  // by click only: Tab passes it by
  kNone,   // never
};

struct Control {
  std::string_view name{};  // the control's name, the Qt view's objectName(): "List1"
  Kind kind = Kind::kFrame;
  std::string_view parent{};  // "Form1" (the window's client area) or a frame's name
  Rect twips{};               // relative to the parent
  std::string_view text{};    // caption or first text, UTF-8; "" for none
  // Unset: the system's colour (the window colour for a list box, a bar or a
  // text box; a label shows its container's face through it).
  std::optional<Rgb> text_colour{};
  std::optional<Rgb> background{};
  std::optional<Font> font{};  // unset for controls without text
  bool border = false;         // frames: an etched box; text boxes and lists: a sunken edge
  bool read_only = false;      // text boxes
  bool centred = false;        // text boxes: the text centred, at the top of the box
  bool enabled = true;         // at start
  bool visible = true;         // at start
  Focus focus = Focus::kNone;
  int max_length = 0;            // text boxes: most characters typed; 0 for no limit
  std::string_view label_for{};  // labels: the box they name for screen readers
  // What screen readers say; an empty name is the caption or the label's text.
  std::string_view accessible_name{};
  std::string_view description{};
};

// --- The window ---

inline constexpr std::string_view kWindowName = "Form1";
inline constexpr std::string_view kHelpPanelName = "Frame1";
// The help panel's OK, its only focus stop while it is shown.
inline constexpr std::string_view kHelpOkName = "Command2";
// The client area below the menu bar.
inline constexpr int kClientWidthTwips = 5160;
inline constexpr int kClientHeightTwips = 4320;

// "ORVA 1.0": the window's title and the help panel's first line.
std::string_view NameAndVersion();

// Every control of Form1 and of its help panel (Frame1 and what it holds), a
// container before what it holds. A later control lies above an earlier one
// where they overlap: Frame1 above everything, each bar above the one before.
std::span<const Control> Controls();

// The control of that name; nullptr when there is none.
const Control* FindControl(std::string_view name);

// What a menu item does (Form1Logic::RunMenuCommand); none for an item that
// opens a submenu.
enum class MenuCommand { kNone, kOpen, kHelp };

struct MenuItem {
  std::string_view name{};      // "opp", "tb", "ooo"
  std::string_view caption{};   // "Open", "textdb_XX.def", "Help..."
  std::string_view parent{};    // the submenu it is in; "" for the menu bar
  std::string_view shortcut{};  // "Ctrl+O" for tb; "" for none
  MenuCommand command = MenuCommand::kNone;
};

// The menu bar's items and the submenus' items, in order.
std::span<const MenuItem> Menu();

// The letter of a "Ctrl+<letter>" shortcut ('O' for "Ctrl+O"); 0 for any
// other shortcut or none.
char ControlKeyOf(std::string_view shortcut);

// The controls that Form1Logic enables and disables together
// (Form1View::SetCommandsEnabled): the list, the new text and Insert.
std::span<const std::string_view> CommandControls();

// The controls Tab visits in Form1, in order; the list has the focus at start.
std::span<const std::string_view> FocusOrder();

}  // namespace orva::layout
