#include "window/form1_layout.h"

#include <algorithm>
#include <array>

#include "database/format.h"

namespace orva::layout {
namespace {

constexpr std::string_view kNameAndVersion = "ORVA " ORVA_VERSION_MAJOR_MINOR;

constexpr Font kSmallFont{"MS Sans Serif", kSmallFontCentipoints, true, kCyrillicCharset};
constexpr Font kLargeFont{"MS Sans Serif", kLargeFontCentipoints, true, kCyrillicCharset};

static_assert(format::kMaxNewTextLength == 45, "Text1's description names the limit");

// The window, then the help panel over it. Positions in twips relative to the
// container. Frame3 starts above the client area so that its top edge is
// hidden under the menu bar; in the help panel, Text6 lies over Text5's lower
// edge and each bar over the previous one's last line, so the bars form one
// block of three stripes.
const std::array kControls = {
    // Frame3: the list, the box for a new text and the Insert button.
    Control{.name = "Frame3",
            .kind = Kind::kFrame,
            .parent = kWindowName,
            .twips = {0, -120, 5175, 3255},
            .background = kFace,
            .border = true},
    Control{.name = "List1",
            .kind = Kind::kListBox,
            .parent = "Frame3",
            .twips = {120, 240, 4935, 2010},
            .text_colour = kNavy,
            .font = kSmallFont,
            .border = true,
            .focus = Focus::kTab,
            .accessible_name = "Missions",
            .description = "The missions of the open database. The selected mission's image "
                           "name and id are shown below the list."},
    Control{.name = "Text1",
            .kind = Kind::kTextBox,
            .parent = "Frame3",
            .twips = {120, 2400, 4935, 315},
            .text_colour = kMaroon,
            .background = kWhite,
            .font = kSmallFont,
            .border = true,
            .focus = Focus::kTab,
            .max_length = static_cast<int>(format::kMaxNewTextLength),
            .accessible_name = "New mission text",
            .description = "At most 45 characters. Enter inserts the text as the next mission."},
    Control{.name = "Command1",
            .kind = Kind::kPushButton,
            .parent = "Frame3",
            .twips = {120, 2760, 4935, 375},
            .text = "Insert",
            .background = kButtonFace,
            .font = kLargeFont,
            .focus = Focus::kTab,
            .description = "Inserts the new text as the next mission of the open database."},
    // Frame2: the selected mission's image name and id.
    Control{.name = "Frame2",
            .kind = Kind::kFrame,
            .parent = kWindowName,
            .twips = {0, 3120, 5175, 735},
            .background = kFace,
            .border = true},
    Control{.name = "Label3",
            .kind = Kind::kLabel,
            .parent = "Frame2",
            .twips = {120, 165, 615, 255},
            .text = "Image:",
            .font = kSmallFont,
            .label_for = "Text3"},
    Control{.name = "Text3",
            .kind = Kind::kTextBox,
            .parent = "Frame2",
            .twips = {720, 160, 1815, 285},
            .text_colour = kMaroon,
            .background = kFace,
            .font = kSmallFont,
            .read_only = true,
            .focus = Focus::kTab,
            .accessible_name = "Image name",
            .description = "The screenshot image of the selected mission."},
    Control{.name = "Label5",
            .kind = Kind::kLabel,
            .parent = "Frame2",
            .twips = {120, 400, 615, 255},
            .text = "ID:",
            .font = kSmallFont,
            .label_for = "Text4"},
    Control{.name = "Text4",
            .kind = Kind::kTextBox,
            .parent = "Frame2",
            .twips = {720, 400, 1935, 285},
            .text_colour = kMaroon,
            .background = kFace,
            .font = kSmallFont,
            .read_only = true,
            .focus = Focus::kTab,
            .accessible_name = "Mission id",
            .description = "The id of the selected mission."},
    // Frame4: the current database path, shown but never edited or focused.
    // Disabled, it keeps its own colours so that the path stays readable; its
    // description is the whole path once there is one.
    Control{.name = "Frame4",
            .kind = Kind::kFrame,
            .parent = kWindowName,
            .twips = {0, 3840, 5175, 495},
            .background = kFace,
            .border = true},
    Control{.name = "Text2",
            .kind = Kind::kTextBox,
            .parent = "Frame4",
            .twips = {120, 180, 4935, 255},
            .text_colour = kBlue,
            .background = kFace,
            .font = kSmallFont,
            .read_only = true,
            .enabled = false,
            .accessible_name = "Database path"},
    // Frame1: the help panel, covering the whole client area, hidden at start.
    Control{.name = kHelpPanelName,
            .kind = Kind::kFrame,
            .parent = kWindowName,
            .twips = {0, 0, 5175, 4335},
            .background = kFace,
            .visible = false,
            .accessible_name = "About ORVA",
            .description = "The program's name and version, its credits and web address. OK "
                           "or Esc closes it."},
    Control{.name = "Frame5",
            .kind = Kind::kFrame,
            .parent = kHelpPanelName,
            .twips = {120, 60, 4935, 4095},
            .background = kFace,
            .border = true},
    Control{.name = "Text7",
            .kind = Kind::kTextBox,
            .parent = "Frame5",
            .twips = {920, 1080, 3015, 225},
            .text = kNameAndVersion,
            .text_colour = kPanelBlue,
            .background = kFace,
            .font = kLargeFont,
            .read_only = true,
            .centred = true,
            .focus = Focus::kClick,
            .accessible_name = "Name and version"},
    Control{.name = "Image1",
            .kind = Kind::kImage,
            .parent = "Frame5",
            .twips = {2160, 1320, 480, 480},
            .accessible_name = "ORVA's icon"},
    // The author, a contact and the year; the web address.
    Control{.name = "Text5",
            .kind = Kind::kTextBox,
            .parent = "Frame5",
            .twips = {240, 1920, 4215, 300},
            .text = "ORVA, orva@example.org, 2006",
            .text_colour = kPanelBlue,
            .background = kFace,
            .font = kLargeFont,
            .read_only = true,
            .centred = true,
            .focus = Focus::kClick,
            .accessible_name = "Credits"},
    Control{.name = "Text6",
            .kind = Kind::kTextBox,
            .parent = "Frame5",
            .twips = {360, 2160, 4095, 300},
            .text = "https://orva.example.org/",
            .text_colour = kPanelBlue,
            .background = kFace,
            .font = kLargeFont,
            .read_only = true,
            .centred = true,
            .focus = Focus::kClick,
            .accessible_name = "Web address"},
    Control{.name = "Command2",
            .kind = Kind::kPushButton,
            .parent = "Frame5",
            .twips = {1800, 2520, 1215, 255},
            .text = "OK",
            .background = kOkFace,
            .font = kSmallFont,
            .focus = Focus::kTab,
            .description = "Closes the panel."},
    Control{
        .name = "Shape1", .kind = Kind::kBar, .parent = "Frame5", .twips = {2040, 2880, 735, 135}},
    Control{.name = "Shape2",
            .kind = Kind::kBar,
            .parent = "Frame5",
            .twips = {2040, 3000, 735, 135},
            .background = kBlue},
    Control{.name = "Shape3",
            .kind = Kind::kBar,
            .parent = "Frame5",
            .twips = {2040, 3120, 735, 135},
            .background = kRed},
};

const std::array kMenu = {
    MenuItem{.name = "opp", .caption = "Open"},
    MenuItem{.name = "tb",
             .caption = "textdb_XX.def",
             .parent = "opp",
             .shortcut = "Ctrl+O",
             .command = MenuCommand::kOpen},
    MenuItem{.name = "ooo", .caption = "Help...", .command = MenuCommand::kHelp},
};

constexpr std::array<std::string_view, 3> kCommandControls = {"List1", "Text1", "Command1"};

// The list, the new text and Insert, then the detail boxes.
constexpr std::array<std::string_view, 5> kFocusOrder = {"List1", "Text1", "Command1", "Text3",
                                                         "Text4"};

}  // namespace

std::string_view NameAndVersion() { return kNameAndVersion; }

std::span<const Control> Controls() { return kControls; }

const Control* FindControl(std::string_view name) {
  const auto found = std::ranges::find(kControls, name, &Control::name);
  return found == kControls.end() ? nullptr : &*found;
}

std::span<const MenuItem> Menu() { return kMenu; }

std::span<const std::string_view> FocusOrder() { return kFocusOrder; }

std::span<const std::string_view> CommandControls() { return kCommandControls; }

char ControlKeyOf(std::string_view shortcut) {
  constexpr std::string_view kControl = "Ctrl+";
  if (!shortcut.starts_with(kControl) || shortcut.size() != kControl.size() + 1) return 0;
  const char key = shortcut.back();
  return key >= 'A' && key <= 'Z' ? key : 0;
}

}  // namespace orva::layout
