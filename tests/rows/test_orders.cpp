// The row orders, each through the stable sort.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <iterator>
#include <string>

#include "rows_support.h"

using namespace rows_test;

namespace {

int32_t movie(const char* id, const char* title, int32_t year) {
  const int32_t i = add_item(id, kMovie, title);
  item(i).year = year;
  return i;
}

int32_t episode(const char* id, int32_t season, int32_t ep, const char* air = nullptr) {
  const int32_t i = add_item(id, kEpisode, id);
  item(i).season = season;
  item(i).episode = ep;
  set_text(item(i).air_date, air);
  return i;
}

void push_items(std::initializer_list<int32_t> indexes) {
  for (int32_t i : indexes) cand_push(i, item(i).title.get(), item(i).added_ms, nullptr);
}

void push_raw(std::initializer_list<const char*> titles) {
  for (const char* t : titles) cand_push(-1, t, -1, nullptr);
}

}  // namespace

TEST_F(RowsTest, YearDescThenTitleBytes) {
  const int32_t b = movie("b", "b", 2019), a = movie("A", "A", 2019), z = movie("z", "z", 2021),
                m = movie("m", "m", -1);
  push_items({b, a, z, m});
  sort_cands(CandOrder::kYearDescTitle);
  EXPECT_EQ(cand_titles(), (Strings{"z", "A", "b", "m"}));
  s_cand.clear();

  // Extreme years compare without overflow; untitled items go behind titled
  // ones of the same year and keep push order among themselves.
  const int32_t lo = movie("lo", "lo", INT_MIN), hi = movie("hi", "hi", INT_MAX);
  const int32_t u1 = movie("u1", nullptr, 2000), u2 = movie("u2", nullptr, 2000), t = movie("t", "t", 2000);
  push_items({lo, u2, hi, u1, t});
  sort_cands(CandOrder::kYearDescTitle);
  std::vector<int32_t> order;
  for (const Cand& c : s_cand) order.push_back(c.item_index);
  EXPECT_EQ(order, (std::vector<int32_t>{hi, t, u2, u1, lo}));
}

TEST_F(RowsTest, SeasonEpisodeAirDateAndTitle) {
  const int32_t e21 = episode("e21", 2, 1), e12 = episode("e12", 1, 2), e11 = episode("e11", 1, 1),
                e5 = episode("e5", -1, 5);
  push_items({e21, e12, e11, e5});
  sort_cands(CandOrder::kSeasonEpisode);
  EXPECT_EQ(cand_titles(), (Strings{"e5", "e11", "e12", "e21"}));
  s_cand.clear();

  const int32_t none = episode("none", 1, 1), d2 = episode("d2", 1, 1, "2020-01-02"),
                d1 = episode("d1", 1, 1, "2020-01-01");
  push_items({none, d2, d1});
  sort_cands(CandOrder::kSeasonEpisode);
  EXPECT_EQ(cand_titles(), (Strings{"d1", "d2", "none"}));
  s_cand.clear();

  // Same season, episode and date: title bytes decide, then push order.
  const int32_t y = episode("y", 3, 3, "d"), x = episode("x", 3, 3, "d");
  const int32_t big = episode("big", INT_MAX, 1), small = episode("small", INT_MIN + 1, 1);
  push_items({big, y, x, small});
  sort_cands(CandOrder::kSeasonEpisode);
  EXPECT_EQ(cand_titles(), (Strings{"small", "x", "y", "big"}));
}

TEST_F(RowsTest, FolderNaturalOrder) {
  push_raw({"Season 10", "season 9", "Season 009b", "Extras"});
  sort_cands(CandOrder::kFolderNatural);
  EXPECT_EQ(cand_titles(), (Strings{"Extras", "season 9", "Season 009b", "Season 10"}));
  s_cand.clear();

  push_raw({"a10", "a2", "x21", "x12", "a", "A", "a02", "a0002"});
  sort_cands(CandOrder::kFolderNatural);
  // a and A fold equal and end together: push order. a2, a02 and a0002 hold
  // equal numbers and end together: push order again.
  EXPECT_EQ(cand_titles(), (Strings{"a", "A", "a2", "a02", "a0002", "a10", "x12", "x21"}));
  s_cand.clear();

  // Long digit runs compare by length, not by value range; non-ASCII bytes
  // sort before ASCII; untitled candidates go last in push order.
  cand_push(-1, nullptr, -1, "first");
  push_raw({"n99999999999999999999", "n100000000000000000000", "\xc3\xa9t\xc3\xa9", "_x", "n00"});
  cand_push(-1, nullptr, -1, "last");
  sort_cands(CandOrder::kFolderNatural);
  EXPECT_EQ(cand_titles(), (Strings{"\xc3\xa9t\xc3\xa9", "_x", "n00", "n99999999999999999999",
                                    "n100000000000000000000", "<null>", "<null>"}));
  EXPECT_STREQ(s_cand[5].server_key.get(), "first");
  EXPECT_STREQ(s_cand[6].server_key.get(), "last");
}

TEST_F(RowsTest, AddedDescKeepsUnknownTimesInPushOrder) {
  const int32_t i5 = add_item("five", kMovie, "five"), i9 = add_item("nine", kMovie, "nine");
  item(i5).added_ms = 5;
  item(i9).added_ms = 9;
  cand_push(-1, "raw", -1, "L");
  cand_push(i5, nullptr, 5, nullptr);
  cand_push(i9, nullptr, 9, nullptr);
  sort_cands(CandOrder::kAddedDesc);
  EXPECT_EQ(cand_titles(), (Strings{"nine", "five", "raw"}));
  s_cand.clear();

  // All negative values are alike: the sort keeps push order among them and
  // puts every dated candidate first, whatever the mix. Each candidate's
  // server key is its push position.
  const int64_t times[] = {-1, 7, -5, 7, -3, 0, -1, 3, -2, 7, -9, 1};
  for (int64_t t : times) cand_push(-1, nullptr, t, std::to_string(s_cand.size()).c_str());
  sort_cands(CandOrder::kAddedDesc);
  std::vector<int32_t> pushed_at;
  for (const Cand& c : s_cand) pushed_at.push_back(std::atoi(c.server_key.get()));
  EXPECT_EQ(pushed_at, (std::vector<int32_t>{1, 3, 9, 7, 11, 5, 0, 2, 4, 6, 8, 10}));
}

TEST_F(RowsTest, ContinueRankRecencyFractionPositionIndex) {
  std::vector<int32_t> idx;
  for (const char* id : {"a", "b", "c", "d", "e", "f"}) idx.push_back(add_item(id));
  const int64_t updated[] = {100, 300, 200, -1, 300, 300};
  for (std::size_t k = 0; k < idx.size(); ++k) {
    add_watch(nullptr).updated_ms = updated[k];
    item(idx[k]).watch_index = static_cast<int32_t>(k);
  }
  item(idx[1]).progress_fraction = 0.4;
  item(idx[4]).progress_fraction = 0.7;
  item(idx[5]).progress_fraction = 0.4;
  item(idx[5]).resume_position_s = 10.0;
  item(idx[1]).resume_position_s = 5.0;
  for (int32_t i : idx) cand_push(i, nullptr, -1, nullptr);
  sort_cands(CandOrder::kContinueRank);
  std::vector<int32_t> order;
  for (const Cand& c : s_cand) order.push_back(c.item_index);
  EXPECT_EQ(order, (std::vector<int32_t>{idx[4], idx[5], idx[1], idx[2], idx[0], idx[3]}));

  // An entry index beyond the entries in use reads as no time at all.
  item(idx[0]).watch_index = 99;
  EXPECT_EQ(cand_updated(idx[0]), -1);
  EXPECT_EQ(cand_updated(-1), -1);
  EXPECT_EQ(cand_updated(n_items()), -1);
  EXPECT_EQ(cand_updated(idx[2]), 200);
  // Candidates without an item count 0 for fraction and position: behind an
  // item of the same (no) time with a fraction above 0, alike with one at 0.
  s_cand.clear();
  item(idx[0]).progress_fraction = 0.0;
  item(idx[0]).resume_position_s = 0.0;
  item(idx[1]).watch_index = 99;
  cand_push(-1, "raw", -1, nullptr);
  cand_push(idx[1], nullptr, -1, nullptr);
  cand_push(idx[0], nullptr, -1, nullptr);
  sort_cands(CandOrder::kContinueRank);
  order.clear();
  for (const Cand& c : s_cand) order.push_back(c.item_index);
  EXPECT_EQ(order, (std::vector<int32_t>{idx[1], -1, idx[0]}));
}

TEST_F(RowsTest, ShortListsAndThePushOrder) {
  push_raw({"only"});
  sort_cands(CandOrder::kFolderNatural);
  EXPECT_EQ(cand_titles(), (Strings{"only"}));
  s_cand.clear();
  push_raw({"b", "c", "a"});
  sort_cands(CandOrder::kPushOrder);
  sort_cands_first(CandOrder::kPushOrder, 1);
  EXPECT_EQ(cand_titles(), (Strings{"b", "c", "a"}));
}

TEST_F(RowsTest, TitlesCompareAsUnsignedBytesAtAnyLength) {
  // Titles that agree on a long prefix, end at or around eight bytes, or hold
  // non-ASCII bytes (which sort after ASCII here, unlike the folder order).
  const char* titles[] = {"abcdefghij", "abcdefgh",  "abcdefg",  "abcdefghA", "abcdefgha", "abcdefghi",
                          "\xc3\xa9t\xc3\xa9", "z", "",        "abcdefgh",  "Title 10", "Title 1",
                          "Title 100", "abcdefgh\x80", "abcdefgh\x7f", "abcdefgz"};
  std::vector<std::string> expected(std::begin(titles), std::end(titles));
  std::stable_sort(expected.begin(), expected.end(),
                   [](const std::string& a, const std::string& b) { return std::strcmp(a.c_str(), b.c_str()) < 0; });
  for (CandOrder order : {CandOrder::kYearDescTitle, CandOrder::kSeasonEpisode}) {
    s_cand.clear();
    for (const char* t : titles) cand_push(-1, t, -1, std::to_string(s_cand.size()).c_str());
    sort_cands(order);
    EXPECT_EQ(cand_titles(), expected);
    // The twin "abcdefgh" entries keep push order.
    int32_t first = -1, second = -1;
    for (const Cand& c : s_cand) {
      if (std::strcmp(c.title.get(), "abcdefgh") == 0) (first < 0 ? first : second) = std::atoi(c.server_key.get());
    }
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 9);
  }
}
