// Texts in double quotes with C's escapes, as PO files and patches hold them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace orva {

// What becomes of a control character that has no escape of its own.
enum class OtherControls {
  kAsTheyAre,  // written as it is, as gettext's tools write PO files
  kOctal,      // a three-digit octal escape for each of its bytes
};

// Appends `text` with the escapes gettext's tools write: \\ \" \a \b \t \n
// \v \f \r. With kOctal every other control character (below 0x20, DEL, and
// U+0080 ... U+009F, two bytes in UTF-8) is written in octal too, so that a
// line holds no byte an editor or a mail program may change.
void AppendCEscaped(std::string& out, std::string_view text, OtherControls others);

// Reads the escape whose backslash is just before `text[at]` and appends the
// byte it stands for: a letter, up to three octal digits, or \x and hex
// digits. Leaves `at` on the escape's last character. An escape that stands
// for no byte (an unknown letter, a value past 0xFF) appends nothing and
// returns why.
std::optional<std::string> AppendCUnescaped(std::string_view text, std::size_t& at,
                                            std::string& out);

}  // namespace orva
