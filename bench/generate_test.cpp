// The benchmark inputs: deterministic, of the size asked for, and holding
// every shape the benchmarks are meant to exercise, so that a change of the
// generator cannot quietly turn the figures into figures of something else.
#include <gtest/gtest.h>
#include <kavo.h>
#include <yyjson.h>

#include <cstring>
#include <set>
#include <string>

#include "generate.h"

namespace {

class GenerateTest : public ::testing::Test {
 protected:
  void SetUp() override { kavo_shutdown(); }
  void TearDown() override { kavo_shutdown(); }
};

// A member of the stats document.
int64_t stat(const char* name) {
  const char* text = kavo_stats_json();
  yyjson_doc* doc = yyjson_read(text, std::strlen(text), 0);
  const int64_t v = yyjson_get_sint(yyjson_obj_get(yyjson_doc_get_root(doc), name));
  yyjson_doc_free(doc);
  return v;
}

TEST_F(GenerateTest, SameArgumentsSameBytes) {
  const std::string a = kavo_bench::generate_inputs(500);
  EXPECT_EQ(a, kavo_bench::generate_inputs(500));
  EXPECT_NE(a, kavo_bench::generate_inputs(500, 7));
  EXPECT_EQ(kavo_bench::generate_watch(500, kavo_bench::kDefaultSeed, 1),
            kavo_bench::generate_watch(500, kavo_bench::kDefaultSeed, 1));
  EXPECT_NE(kavo_bench::generate_watch(500, kavo_bench::kDefaultSeed, 1),
            kavo_bench::generate_watch(500, kavo_bench::kDefaultSeed, 2));
  EXPECT_EQ(kavo_bench::episode_id(500, 3), kavo_bench::episode_id(500, 3));
}

TEST_F(GenerateTest, InputsLoadWithEveryKindOfPart) {
  const int32_t n = 3000;
  const std::string text = kavo_bench::generate_inputs(n);
  ASSERT_EQ(kavo_load_inputs(text.c_str()), 0) << kavo_last_error();
  EXPECT_EQ(kavo_item_count(), n);
  // Watch entries: a quarter of the items, some of them telling nothing
  // (turned away), plus the server's progress entries.
  EXPECT_GT(stat("watch"), n / 4 - n / 25);
  EXPECT_GT(stat("rejected"), 0);
  EXPECT_LT(stat("rejected"), n / 40);
  EXPECT_EQ(stat("library"), n / 10);
  EXPECT_GT(stat("basics"), n / 20);
  EXPECT_EQ(stat("favourites"), n / 100);
  EXPECT_GT(stat("unmatched"), 0);

  std::set<int32_t> kinds;
  std::set<std::string> keys;
  for (int32_t r = 0; r < kavo_row_count(); ++r) {
    kinds.insert(kavo_row_kind(r));
    keys.insert(kavo_row_key(r));
  }
  for (int32_t kind : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14}) EXPECT_TRUE(kinds.count(kind)) << kind;
  for (const char* list : {"TrendingNow", "NewToVELORA", "TopRated", "AwardWinners"}) {
    EXPECT_TRUE(keys.count(list)) << list;
  }

  // Items of every kind, sources ranked, some from "theFile" (2160p), items in
  // another producer's spelling (numbers as text, "key" as id), resume states.
  std::set<int32_t> item_kinds, actions;
  int playable = 0, with_several = 0, from_key = 0, uhd = 0;
  for (int32_t i = 0; i < kavo_item_count(); ++i) {
    item_kinds.insert(kavo_item_kind(i));
    actions.insert(kavo_item_resume_action(i));
    playable += kavo_item_playable(i);
    with_several += kavo_item_source_count(i) > 1;
    const std::string doc = kavo_item_json(i);
    from_key += doc.find(R"("server_key":")") != std::string::npos;
    uhd += doc.find(R"("width":3840)") != std::string::npos;
  }
  for (int32_t kind : {0, 1, 2, 3}) EXPECT_TRUE(item_kinds.count(kind)) << kind;
  EXPECT_EQ(actions.size(), 3u);
  EXPECT_GT(playable, n / 2);
  EXPECT_GT(with_several, n / 10);
  EXPECT_GT(from_key, n / 20);
  EXPECT_GT(uhd, n / 10);
  EXPECT_STRNE(kavo_server_flags_json(), "{}");
  EXPECT_STRNE(kavo_watchlist_json(), "{}");
  EXPECT_STRNE(kavo_browse_history_json(), "{}");

  // What the other benchmarks hand over loads too.
  EXPECT_EQ(kavo_set_watch(kavo_bench::generate_watch(n, kavo_bench::kDefaultSeed, 2).c_str()), 0);
  EXPECT_EQ(kavo_add_items(kavo_bench::generate_item_batch("new-", 100).c_str()), 0);
  EXPECT_EQ(kavo_item_count(), n + 100);
  EXPECT_EQ(kavo_select_item(kavo_bench::episode_id(n, 11).c_str()), 0);
  EXPECT_STRNE(kavo_detail_json(), "{}");
}

}  // namespace
