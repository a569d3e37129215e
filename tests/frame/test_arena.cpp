// Texts kept by an arena: copies, the fill level and its rollback, reuse of
// the blocks, and the texts loaded records take from their table's arena.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "frame/model.h"
#include "frame/text.h"
#include "support/fixture.h"

using kavo::ArenaScope;
using kavo::Text;
using kavo::TextArena;

namespace {

bool even(const char* p) { return (reinterpret_cast<std::uintptr_t>(p) & 1u) == 0; }

TEST(ArenaTest, CopiesLiveInTheArenaAndStayPut) {
  TextArena arena;
  std::vector<Text> texts;
  std::vector<std::string> expected;
  {
    ArenaScope scope(&arena);
    // Odd and even lengths, the longest text, and enough to fill several blocks.
    for (int i = 0; i < 3000; ++i) {
      std::string s(static_cast<std::size_t>(i % 61), static_cast<char>('a' + i % 26));
      if (i % 500 == 7) s.assign(9000, 'x');
      texts.push_back(kavo::xstrdup(s.c_str()));
      expected.push_back(s.size() > kavo::kMaxTextBytes ? s.substr(0, kavo::kMaxTextBytes) : s);
    }
  }
  for (std::size_t i = 0; i < texts.size(); ++i) {
    ASSERT_TRUE(texts[i]);
    EXPECT_TRUE(even(texts[i].get()));
    EXPECT_EQ(texts[i].get(), expected[i]) << i;
  }
  // Moving and dropping arena texts frees nothing (the sanitizer would say).
  std::vector<Text> moved = std::move(texts);
  moved.resize(10);
  // A text taken out of the arena comes as a heap block of its own.
  char* own = moved[5].release();
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(std::string(own), expected[5]);
  std::free(own);
  EXPECT_FALSE(moved[5]);

  // Outside the scope copies are heap blocks again; scopes nest.
  Text heap = kavo::xstrdup("heap");
  TextArena inner;
  {
    ArenaScope outer_scope(&arena);
    {
      ArenaScope inner_scope(&inner);
      Text t = kavo::xstrdup("inner");
      EXPECT_EQ(std::string(t.get()), "inner");
    }
    Text t = kavo::xstrndup("outerXX", 5);
    EXPECT_EQ(std::string(t.get()), "outer");
  }
  char* h = heap.release();
  std::free(h);  // a heap text hands out its own block
}

TEST(ArenaTest, RollbackAndResetReuseTheSameMemory) {
  TextArena arena;
  EXPECT_EQ(arena.allocate(0), nullptr);
  EXPECT_EQ(arena.allocate(70000), nullptr);  // larger than a block: never asked for
  const TextArena::Mark empty = arena.mark();
  char* first = arena.allocate(5);
  ASSERT_NE(first, nullptr);
  const TextArena::Mark after_first = arena.mark();
  char* second = arena.allocate(3);
  EXPECT_EQ(second, first + 6);  // rounded up to keep addresses even
  arena.rollback(after_first);
  EXPECT_EQ(arena.allocate(3), second);
  arena.rollback(empty);
  EXPECT_EQ(arena.allocate(5), first);

  // Fill two blocks and more, then roll back into the first block.
  const TextArena::Mark early = arena.mark();
  std::vector<char*> got;
  for (int i = 0; i < 40; ++i) got.push_back(arena.allocate(8000));
  arena.rollback(early);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(arena.allocate(8000), got[static_cast<std::size_t>(i)]) << i;

  // After a reset the same blocks serve again, in the same order.
  arena.reset();
  EXPECT_EQ(arena.allocate(5), first);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(arena.allocate(8000), got[static_cast<std::size_t>(i)]) << i;
  arena.release();
  EXPECT_NE(arena.allocate(5), nullptr);
}

class ArenaModelTest : public kavo_test::KavoTest {};

TEST_F(ArenaModelTest, RejectedRecordsGiveTheirTextsBack) {
  // Duplicates and elements without an id take no room: the accepted item
  // after them gets the place the turned-away ones had.
  ASSERT_EQ(kavo_add_items(R"([{"id":"a","title":"first"}])"), 0);
  const TextArena::Mark end_of_a = kavo::s_item_texts.mark();
  const char* after_a = kavo::s_item_texts.allocate(2);
  kavo::s_item_texts.rollback(end_of_a);
  kavo_clear();
  ASSERT_EQ(kavo_add_items(R"([{"id":"a","title":"first"},{"id":"a","title":"again","plot":"p"},)"
                           R"({"title":"no id"},{"id":"b","title":"second"}])"),
            0);
  EXPECT_EQ(kavo::s_rejected, 2);
  ASSERT_EQ(kavo_item_count(), 2);
  EXPECT_EQ(kavo_item_id(1), after_a);
  EXPECT_STREQ(kavo_item_title(0), "first");
  EXPECT_STREQ(kavo_item_title(1), "second");
  EXPECT_EQ(kavo_item_index_of("b"), 1);

  // A library replaced whole starts its texts over; the catalogue's stay.
  // The library is read beside the one in use, so the blocks of a table come
  // back every second call.
  ASSERT_EQ(kavo_set_library(R"([{"id":"l1","title":"lib one","path":"/x"}])"), 0);
  const char* lib_id = kavo::s_lib.at(0).id.get();
  ASSERT_EQ(kavo_set_library(R"([{"id":"l9","title":"between"}])"), 0);
  ASSERT_EQ(kavo_set_library(R"([{"id":"l2","title":"lib two","path":"/y"}])"), 0);
  EXPECT_EQ(kavo::s_lib.at(0).id.get(), lib_id);
  EXPECT_STREQ(kavo::s_lib.at(0).title.get(), "lib two");
  EXPECT_STREQ(kavo_item_title(1), "second");
}

}  // namespace

namespace {

TEST(KeptMapTest, ResetKeepsATableOfAboutTheSizeAskedFor) {
  kavo::Ht map;
  ASSERT_TRUE(map.reset(1000));
  map.put("owned", 1, false);  // a copy the map frees
  const char* borrowed = "borrowed";
  map.put_borrowed(borrowed, 2, false);
  ASSERT_EQ(map.count(), 2u);
  // Asked for a little less: the same table, emptied.
  ASSERT_TRUE(map.reset(400));
  EXPECT_EQ(map.capacity(), 1000u);
  EXPECT_EQ(map.count(), 0u);
  int32_t v = -1;
  EXPECT_EQ(map.get("owned", &v), 1);
  EXPECT_EQ(map.get(borrowed, &v), 1);
  map.put("again", 3, false);
  EXPECT_EQ(map.get("again", &v), 0);
  EXPECT_EQ(v, 3);
  // Far less, or more: a table of the size asked for.
  ASSERT_TRUE(map.reset(100));
  EXPECT_EQ(map.capacity(), 100u);
  ASSERT_TRUE(map.reset(5000));
  EXPECT_EQ(map.capacity(), 5000u);
  // Emptying keeps the table; a map never filled stays unallocated.
  map.put("x", 1, false);
  map.empty();
  EXPECT_EQ(map.capacity(), 5000u);
  EXPECT_EQ(map.get("x", &v), 1);
  kavo::Ht never;
  never.empty();
  EXPECT_EQ(never.capacity(), 0u);
  EXPECT_EQ(never.get("x", &v), 1);
}

// Random puts, lookups, emptyings, resets, copies and growth against a plain
// map: a table emptied lazily answers as one zeroed at once.
TEST(KeptMapTest, AnswersAsAPlainMapThroughEmptyingsResetsAndCopies) {
  std::vector<std::string> keys;
  for (int k = 0; k < 300; ++k) keys.push_back("key" + std::to_string(k * 7919 % 1000));
  uint32_t seed = 77;
  const auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
  kavo::Ht maps[2];
  std::map<std::string, int32_t> want[2];
  for (int step = 0; step < 20000; ++step) {
    const int m = static_cast<int>(next() % 2);
    kavo::Ht& map = maps[m];
    std::map<std::string, int32_t>& model = want[m];
    const std::string& key = keys[next() % keys.size()];
    const int32_t value = static_cast<int32_t>(next());
    const uint32_t op = next() % 100;
    if (op < 40) {
      // Borrowed keys only in the second map, so that it can be copied.
      const bool overwrite = next() % 2 == 0;
      if (m == 1 || next() % 2 == 0) {
        map.put_borrowed(key.c_str(), value, overwrite);
      } else {
        map.put(key.c_str(), value, overwrite);
      }
      const auto [at, fresh] = model.emplace(key, value);
      if (!fresh && overwrite) at->second = value;
    } else if (op < 80) {
      int32_t got = -1;
      const auto at = model.find(key);
      ASSERT_EQ(map.get(key.c_str(), &got), at == model.end() ? 1 : 0) << step;
      if (at != model.end()) {
        ASSERT_EQ(got, at->second) << step;
      }
    } else if (op < 88) {
      map.empty();
      model.clear();
    } else if (op < 92) {
      ASSERT_TRUE(map.reset(1 + next() % 2000));
      model.clear();
    } else if (op < 96) {
      ASSERT_TRUE(map.reserve(next() % 600));
    } else if (maps[1].count() == want[1].size()) {
      // A copy of the map of borrowed keys, into a table of either size.
      ASSERT_TRUE(maps[0].copy_borrowed(maps[1]));
      want[0] = want[1];
    }
    ASSERT_EQ(map.count(), model.size()) << step;
  }
  for (int m = 0; m < 2; ++m) {
    for (const std::string& key : keys) {
      int32_t got = -1;
      const auto at = want[m].find(key);
      ASSERT_EQ(maps[m].get(key.c_str(), &got), at == want[m].end() ? 1 : 0);
      if (at != want[m].end()) {
        EXPECT_EQ(got, at->second);
      }
    }
  }
}

TEST_F(ArenaModelTest, WatchEntriesTurnedAwayGiveTheirTextsBack) {
  ASSERT_EQ(kavo_set_watch(R"([{"id":"a","key":"k","position":1},{"id":"y","position":1},{"id":"z","position":1}])"),
            0);
  const char* first_id = kavo::s_watch.at(0).item_id.get();
  // The host's entries are read beside the ones in use, so the blocks of a
  // table come back every second call that reads an array whole (here: each
  // one with fewer entries than the last).
  ASSERT_EQ(kavo_set_watch(R"([{"id":"between","position":1},{"id":"c","position":1}])"), 0);
  // Entries without progress read their texts and give them back: the kept
  // entry after them takes the same place.
  ASSERT_EQ(kavo_set_watch(R"([{"id":"gone","key":"long key text","duration_s":5},7,)"
                           R"({"id":"b","position":2}])"),
            0);
  ASSERT_EQ(kavo::n_watch(), 1);
  EXPECT_EQ(kavo::s_watch.at(0).item_id.get(), first_id);
  EXPECT_STREQ(kavo::s_watch.at(0).item_id.get(), "b");
  EXPECT_EQ(kavo::s_rejected, 2);
  // Server progress stays a heap copy and goes on its own; the host's entries stay.
  ASSERT_EQ(kavo_set_server_home(R"({"Continues":[{"IMDbId":"tt1","Value":0.5}]})"), 0);
  ASSERT_EQ(kavo_set_server_home(R"({"Continues":[{"IMDbId":"tt2","Value":0.5}]})"), 0);
  ASSERT_EQ(kavo::n_watch(), 2);
  EXPECT_STREQ(kavo::s_watch.at(0).item_id.get(), "b");
  EXPECT_STREQ(kavo::s_watch.at(1).imdb_id.get(), "tt2");
}

TEST_F(ArenaModelTest, ClearKeepsTheLargeTablesAndShutdownFreesThem) {
  std::string items = "[";
  for (int i = 0; i < 300; ++i) items += (i ? "," : "") + std::string(R"({"id":"i)") + std::to_string(i) + "\"}";
  items += "]";
  ASSERT_EQ(kavo_add_items(items.c_str()), 0);
  ASSERT_EQ(kavo_set_watch(R"([{"id":"i1","position":9}])"), 0);
  const std::size_t items_cap = kavo::s_items.capacity();
  const std::size_t seen_cap = kavo::s_seen_id.capacity();
  ASSERT_GE(items_cap, 300u);
  kavo_clear();
  EXPECT_EQ(kavo_item_count(), 0);
  EXPECT_EQ(kavo::s_items.capacity(), items_cap);
  EXPECT_EQ(kavo::s_seen_id.capacity(), seen_cap);
  EXPECT_EQ(kavo::s_seen_id.count(), 0u);
  EXPECT_EQ(kavo_item_index_of("i1"), -1);
  // The same items go in again as into a fresh model.
  ASSERT_EQ(kavo_add_items(items.c_str()), 0);
  EXPECT_EQ(kavo_item_count(), 300);
  EXPECT_EQ(kavo::s_rejected, 0);
  EXPECT_EQ(kavo_item_index_of("i299"), 299);
  kavo_shutdown();
  EXPECT_EQ(kavo::s_items.capacity(), 0u);
  EXPECT_EQ(kavo::s_watch.capacity(), 0u);
  EXPECT_EQ(kavo::s_seen_id.capacity(), 0u);
  EXPECT_EQ(kavo::s_by_id.capacity(), 0u);
}

}  // namespace
