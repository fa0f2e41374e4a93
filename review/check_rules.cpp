#include "review/check_rules.h"

#include <algorithm>
#include <charconv>
#include <new>
#include <nlohmann/json.hpp>

#include "database/read_limits.h"
#include "review/text_checks.h"
#include "spelling/team_words.h"
#include "storage/no_memory.h"
#include "storage/path_text.h"
#include "storage/quote.h"

namespace orva {

std::optional<CheckRules::Limit> CheckRules::LimitFor(std::int32_t id,
                                                      format::EntryKind kind) const {
  std::optional<Limit> limit;
  if (format::IsMissionKind(kind)) limit = Limit{format::kMaxNewTextLength, true};
  for (const LengthLimit& rule : limits) {
    if (rule.ids.Contains(id) && (!limit || rule.length < limit->length)) {
      limit = Limit{rule.length, false};
    }
  }
  return limit;
}

bool CheckRules::Ignored(std::string_view check, std::int32_t id) const {
  return std::any_of(ignores.begin(), ignores.end(), [&](const Ignore& ignore) {
    return ignore.ids.Contains(id) &&
           (ignore.checks.empty() ||
            std::find(ignore.checks.begin(), ignore.checks.end(), check) != ignore.checks.end());
  });
}

namespace {

using json = nlohmann::json;

std::optional<std::int32_t> ParseId(std::string_view text) {
  std::int32_t id = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return id;
}

Result<IdRange> ParseRange(const json& value, const std::string& where) {
  if (value.is_number_integer()) {
    const auto id = value.get<std::int64_t>();
    if (id < INT32_MIN || id > INT32_MAX) return Status::InvalidText(where + ": no id");
    return IdRange{static_cast<std::int32_t>(id), static_cast<std::int32_t>(id)};
  }
  if (value.is_string()) {
    const std::string text = value.get<std::string>();
    // A minus sign after the first character separates the two ids, so that
    // "-5--1" is the range from -5 to -1.
    const std::size_t dash = text.find('-', 1);
    const std::optional<std::int32_t> first = ParseId(text.substr(0, dash));
    const std::optional<std::int32_t> last =
        dash == std::string::npos ? first : ParseId(std::string_view(text).substr(dash + 1));
    if (first && last && *first <= *last) return IdRange{*first, *last};
  }
  return Status::InvalidText(where +
                             ": \"ids\" is an id (7012) or a range of ids (\"7000-7999\"), "
                             "the first no greater than the last");
}

std::string Where(std::string_view list, std::size_t i) {
  return "\"" + std::string(list) + "\" item " + std::to_string(i + 1);
}

Status UnknownKeys(const json& object, std::initializer_list<std::string_view> known,
                   const std::string& where) {
  for (const auto& [key, value] : object.items()) {
    if (std::find(known.begin(), known.end(), key) == known.end()) {
      std::string why = where;
      why.append(": unknown key \"").append(key).append("\"; the keys are ");
      const char* separator = "\"";
      for (std::string_view k : known) {
        why.append(separator).append(k).append("\"");
        separator = ", \"";
      }
      return Status::InvalidText(why);
    }
  }
  return Status::Ok();
}

Status ReadLimits(const json& list, CheckRules& rules) {
  if (!list.is_array()) return Status::InvalidText("\"limits\" is a list");
  for (std::size_t i = 0; i < list.size(); ++i) {
    const json& item = list[i];
    const std::string where = Where("limits", i);
    if (!item.is_object()) return Status::InvalidText(where + " is no object");
    if (Status s = UnknownKeys(item, {"ids", "length"}, where); !s.ok()) return s;
    if (!item.contains("ids") || !item.contains("length")) {
      return Status::InvalidText(where + " needs \"ids\" and \"length\"");
    }
    Result<IdRange> ids = ParseRange(item["ids"], where);
    if (!ids.ok()) return ids.status();
    if (!item["length"].is_number_unsigned()) {
      return Status::InvalidText(where + ": \"length\" is a number of characters, 0 or more");
    }
    rules.limits.push_back({*ids, item["length"].get<std::size_t>()});
  }
  return Status::Ok();
}

Status ReadMarkers(const json& list, CheckRules& rules) {
  if (!list.is_array()) return Status::InvalidText("\"markers\" is a list of regular expressions");
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (!list[i].is_string()) return Status::InvalidText(Where("markers", i) + " is no string");
    std::string source = list[i].get<std::string>();
    Result<TextPattern> pattern = TextPattern::Make(source, {.regex = true, .match_case = true});
    if (!pattern.ok()) return pattern.status().Within(Where("markers", i) + ": ");
    rules.markers.push_back({std::move(source), std::move(pattern).value()});
  }
  return Status::Ok();
}

Status ReadIgnores(const json& list, CheckRules& rules) {
  if (!list.is_array()) return Status::InvalidText("\"ignore\" is a list");
  for (std::size_t i = 0; i < list.size(); ++i) {
    const json& item = list[i];
    const std::string where = Where("ignore", i);
    if (!item.is_object()) return Status::InvalidText(where + " is no object");
    if (Status s = UnknownKeys(item, {"ids", "checks"}, where); !s.ok()) return s;
    if (!item.contains("ids")) return Status::InvalidText(where + " needs \"ids\"");
    Result<IdRange> ids = ParseRange(item["ids"], where);
    if (!ids.ok()) return ids.status();
    Ignore ignore{*ids, {}};
    if (item.contains("checks")) {
      const json& checks = item["checks"];
      if (!checks.is_array()) return Status::InvalidText(where + ": \"checks\" is a list");
      for (const json& check : checks) {
        if (!check.is_string() || FindTextCheck(check.get<std::string>()) == nullptr) {
          std::string why = where;
          why.append(": ").append(check.dump()).append(" is no check; the checks are ");
          const char* separator = "";
          for (const TextCheck* c : TextChecks()) {
            why.append(separator).append(c->id());
            separator = ", ";
          }
          return Status::InvalidText(why);
        }
        ignore.checks.push_back(check.get<std::string>());
      }
    }
    rules.ignores.push_back(std::move(ignore));
  }
  return Status::Ok();
}

Status ReadSpelling(const json& value, CheckRules& rules) {
  if (value.is_boolean()) {
    rules.spelling.check = value.get<bool>();
    return Status::Ok();
  }
  constexpr const char* kWhat =
      "\"spelling\" is false, true or an object such as {\"accept-ye-for-yo\": true}";
  if (!value.is_object()) return Status::InvalidText(kWhat);
  if (Status s = UnknownKeys(value, {"accept-ye-for-yo"}, "\"spelling\""); !s.ok()) return s;
  if (value.contains("accept-ye-for-yo")) {
    if (!value["accept-ye-for-yo"].is_boolean()) {
      return Status::InvalidText("\"spelling\": \"accept-ye-for-yo\" is true or false");
    }
    rules.spelling.options.accept_ye_for_yo = value["accept-ye-for-yo"].get<bool>();
  }
  return Status::Ok();
}

}  // namespace

Result<CheckRules> ParseCheckRules(std::string_view text, const std::filesystem::path& folder,
                                   FileSystem& fs) {
  try {
    json document;
    try {
      document = json::parse(text, nullptr, /*allow_exceptions=*/true, /*ignore_comments=*/true);
    } catch (const json::parse_error& error) {
      return Status::InvalidText(std::string("the rules are not JSON: ") + error.what());
    }
    if (!document.is_object()) return Status::InvalidText("the rules are a JSON object");
    if (Status s = UnknownKeys(
            document, {"limits", "markers", "charset", "font", "ignore", "spelling"}, "the rules");
        !s.ok()) {
      return s;
    }
    CheckRules rules;
    if (document.contains("limits")) {
      if (Status s = ReadLimits(document["limits"], rules); !s.ok()) return s;
    }
    if (document.contains("markers")) {
      if (Status s = ReadMarkers(document["markers"], rules); !s.ok()) return s;
    }
    if (document.contains("ignore")) {
      if (Status s = ReadIgnores(document["ignore"], rules); !s.ok()) return s;
    }
    if (document.contains("spelling")) {
      if (Status s = ReadSpelling(document["spelling"], rules); !s.ok()) return s;
    }
    if (document.contains("charset") && document.contains("font")) {
      return Status::InvalidText("the rules give both a \"charset\" and a \"font\"; give one");
    }
    for (const char* key : {"charset", "font"}) {
      if (!document.contains(key)) continue;
      if (!document[key].is_string() || document[key].get<std::string>().empty()) {
        return Status::InvalidText(std::string("\"") + key + "\" is the name of a file");
      }
      rules.glyphs_from = document[key].get<std::string>();
      const std::filesystem::path named = PathFromUtf8(rules.glyphs_from);
      const std::filesystem::path path = named.is_absolute() ? named : folder / named;
      // A "charset" is a charset whatever its name; a "font" is read by its name.
      Result<GlyphSet> glyphs = std::string_view(key) == "font" ? ReadGlyphSet(path, fs) : [&] {
        Result<std::vector<std::byte>> bytes = ReadWholeFile(path, kExchangeReadLimit, fs);
        if (!bytes.ok()) return Result<GlyphSet>(bytes.status());
        Result<GlyphSet> set = ParseCharset(
            std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
        if (!set.ok()) return Result<GlyphSet>(set.status().Within(DescribePath(path) + ": "));
        return set;
      }();
      if (!glyphs.ok()) return glyphs.status();
      rules.glyphs = std::move(glyphs).value();
    }
    return rules;
  } catch (const std::bad_alloc&) {
    return Status::NoMemory("read the rules");
  } catch (const json::exception& error) {
    return Status::InvalidText(std::string("the rules: ") + error.what());
  }
}

Result<CheckRules> ReadCheckRules(const std::filesystem::path& path, FileSystem& fs) {
  Result<std::vector<std::byte>> bytes = ReadWholeFile(path, kExchangeReadLimit, fs);
  if (!bytes.ok()) return bytes.status();
  Result<CheckRules> rules =
      ParseCheckRules(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()),
                      path.parent_path(), fs);
  if (!rules.ok()) return rules.status().Within(DescribePath(path) + ": ");
  return rules;
}

namespace {

Status SpellingRefusal(const Status& status) {
  return status.Within("spelling: ",
                       "; or leave spelling out with \"spelling\": false in the rules");
}

}  // namespace

Result<std::optional<SpellCheckerOpening>> StartSpelling(const CheckRules& rules,
                                                         const std::filesystem::path& rules_folder,
                                                         const std::filesystem::path& dictionaries,
                                                         FileSystem& fs) {
  if (!rules.spelling.check) return std::optional<SpellCheckerOpening>();
  Result<SpellCheckerOpening> opening = SpellChecker::StartOpening(
      dictionaries, rules_folder / PathFromUtf8(kTeamWordsFileName), rules.spelling.options, fs);
  if (!opening.ok()) return SpellingRefusal(opening.status());
  return std::optional<SpellCheckerOpening>(std::move(opening).value());
}

Status FinishSpelling(CheckRules& rules, std::optional<SpellCheckerOpening> opening) {
  rules.speller.reset();
  if (!opening) return Status::Ok();
  return OrNoMemory("open the dictionaries", [&]() -> Status {
    Result<SpellChecker> opened = opening->Finish();
    if (!opened.ok()) return SpellingRefusal(opened.status());
    rules.speller = std::make_shared<SpellChecker>(std::move(opened).value());
    return Status::Ok();
  });
}

Status OpenSpelling(CheckRules& rules, const std::filesystem::path& rules_folder,
                    const std::filesystem::path& dictionaries, FileSystem& fs) {
  rules.speller.reset();
  Result<std::optional<SpellCheckerOpening>> opening =
      StartSpelling(rules, rules_folder, dictionaries, fs);
  if (!opening.ok()) return opening.status();
  return FinishSpelling(rules, std::move(opening).value());
}

}  // namespace orva
