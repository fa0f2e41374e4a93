#include "window/sentences.h"

namespace orva {

std::string AsSentence(std::string reason) {
  if (reason.empty()) return reason;
  if (reason[0] >= 'a' && reason[0] <= 'z') reason[0] = static_cast<char>(reason[0] - 'a' + 'A');
  if (reason.back() != '.') reason += '.';
  return reason;
}

}  // namespace orva
