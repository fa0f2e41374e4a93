#include "database/entry_diff.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/database_builder.h"
#include "tests/support/edited_databases.h"

namespace orva {
namespace {

using test_support::DatabaseBuilder;

std::string AsString(std::span<const std::byte> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// A difference as the model and the diff both can say it.
using Said =
    std::tuple<DifferenceKind, std::int32_t, std::uint32_t, bool, std::string, std::string>;

// The model: each version's texts in a multimap by id, which keeps the
// entries of one id in table order; the i-th of one id pairs with the i-th.
struct Model {
  std::vector<Said> differences;
  bool reordered = false;
};

Model ModelDiff(const std::vector<EntryText>& olds, const std::vector<EntryText>& news) {
  std::multimap<std::int32_t, const EntryText*> a, b;
  std::set<std::int32_t> ids;
  for (const EntryText& e : olds) a.emplace(e.id, &e), ids.insert(e.id);
  for (const EntryText& e : news) b.emplace(e.id, &e), ids.insert(e.id);
  Model model;
  std::vector<std::pair<std::size_t, std::size_t>> pairs;  // old slot, new slot
  for (std::int32_t id : ids) {
    auto [i, i_end] = a.equal_range(id);
    auto [j, j_end] = b.equal_range(id);
    const bool numbered = a.count(id) > 1 || b.count(id) > 1;
    for (std::uint32_t n = 1; i != i_end || j != j_end; ++n) {
      const std::string was = i != i_end ? AsString(i->second->text) : "";
      const std::string is = j != j_end ? AsString(j->second->text) : "";
      if (i != i_end && j != j_end) {
        pairs.emplace_back(i->second->slot, j->second->slot);
        if (was != is)
          model.differences.emplace_back(DifferenceKind::kChanged, id, n, numbered, was, is);
      } else {
        model.differences.emplace_back(
            i != i_end ? DifferenceKind::kRemoved : DifferenceKind::kAdded, id, n, numbered, was,
            is);
      }
      if (i != i_end) ++i;
      if (j != j_end) ++j;
    }
  }
  std::sort(pairs.begin(), pairs.end());
  for (std::size_t k = 1; k < pairs.size(); ++k) {
    model.reordered = model.reordered || pairs[k].second < pairs[k - 1].second;
  }
  return model;
}

std::vector<Said> Told(const EntryDiff& diff) {
  std::vector<Said> told;
  for (const EntryDifference& d : diff.differences) {
    told.emplace_back(d.kind, d.key.id, d.key.occurrence, d.key.numbered,
                      d.old_entry ? AsString(d.old_entry->text) : "",
                      d.new_entry ? AsString(d.new_entry->text) : "");
  }
  return told;
}

// Versions made from one another by random edits, among them entries that
// share an id: the diff says what the model says, in its order (by id, then
// place), and tells when the entries both have stand in another order.
TEST(DiffEntries, SaysWhatAMultimapByIdAndOrderSays) {
  test_support::Generated generated(20261220);
  test_support::Editor editor(generated);
  int differing = 0;
  int reordered = 0;
  for (int round = 0; round < 400; ++round) {
    const std::vector<std::byte> old_db = generated.Next();
    const std::vector<std::byte> new_db = editor.Edit(old_db, generated.Pick(0, 6));
    const std::vector<EntryText> olds = ReadEntryTexts(old_db).value();
    const std::vector<EntryText> news = ReadEntryTexts(new_db).value();
    const EntryDiff diff = DiffEntries(olds, EntryIndex(olds), news, EntryIndex(news));
    const Model model = ModelDiff(olds, news);
    ASSERT_EQ(Told(diff), model.differences) << "round " << round;
    ASSERT_EQ(diff.reordered.has_value(), model.reordered) << "round " << round;
    differing += diff.differences.empty() ? 0 : 1;
    reordered += model.reordered ? 1 : 0;
  }
  EXPECT_GT(differing, 250);
  EXPECT_GT(reordered, 5);
}

// What the entries cannot show is told apart, each in its own words.
TEST(OtherDifferences, NameWhatLiesAroundTheTexts) {
  auto base = [] { return DatabaseBuilder().Entry(5001, "a").Entry(5002, "b").Marker("z"); };
  const std::vector<std::byte> old_db = base().Build();
  // The other differences from `from` (the old version unless given) to `to`.
  auto other = [&](const std::vector<std::byte>& to, const std::vector<std::byte>& from = {}) {
    const std::vector<std::byte>& was = from.empty() ? old_db : from;
    const std::vector<EntryText> olds = ReadEntryTexts(was).value();
    const std::vector<EntryText> news = ReadEntryTexts(to).value();
    const EntryDiff diff = DiffEntries(olds, EntryIndex(olds), news, EntryIndex(news));
    const std::vector<std::string> found = OtherDifferences(was, olds, to, news, diff);
    std::string all;
    for (const std::string& reason : found) all += reason + "; ";
    return all;
  };
  EXPECT_NE(other(base().HeaderWord(7).Build()).find("header word is 0x00010203"),
            std::string::npos);
  EXPECT_NE(other(base().GapBeforeTexts(3).Build()).find("between the entry table and the first"),
            std::string::npos);
  // As many bytes there, but not the same ones.
  const std::vector<std::byte> gap = base().GapBeforeTexts(3).Build();
  std::vector<std::byte> other_gap = gap;
  other_gap[8 * 4] ^= std::byte{0xFF};  // the first byte after the table of 3 entries
  EXPECT_NE(other(other_gap, gap).find("between the entry table and the first"), std::string::npos);
  EXPECT_NE(other(base().Trailing("x").Build()).find("after the last text"), std::string::npos);
  EXPECT_NE(other(base().ClaimedCount(2).Build()).find("just past the entry table"),
            std::string::npos);
  const auto swapped = DatabaseBuilder().Entry(5002, "b").Entry(5001, "a").Marker("z").Build();
  EXPECT_NE(other(swapped).find("5001 and 5002 lie in one order"), std::string::npos);
  EXPECT_EQ(other(old_db), "");
}

// The digests of texts are SipHash-1-3's: these are the values `openssl mac
// SIPHASH` gives (c-rounds 1, d-rounds 3) for the key 00 01 ... 0F and the messages none, 00 ... 07
// (a whole word) and 00 ... 0E (a word and a part), read least-significant
// byte first.
TEST(TextDigester, GivesSipHashOfTheText) {
  std::vector<std::byte> message(15);
  for (std::size_t i = 0; i < message.size(); ++i) message[i] = static_cast<std::byte>(i);
  const TextDigester digester({0x0706050403020100u, 0x0F0E0D0C0B0A0908u});
  EXPECT_EQ(digester(std::span(message).first(0)), 0xabac0158050fc4dcu);
  EXPECT_EQ(digester(std::span(message).first(8)), 0x369095118d299a8eu);
  EXPECT_EQ(digester(message), 0xd320d86d2a519956u);
  EXPECT_NE(TextDigester()(message), TextDigester()(message));  // a key of its own each
}

}  // namespace
}  // namespace orva
