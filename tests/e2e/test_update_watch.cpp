// Progress updates: kavo_update_watch gives the model that kavo_set_watch
// gives with the host's array updated by hand.
#include <optional>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "support/fixture.h"

using kavo_test::host_view;
using kavo_test::KavoTest;
using kavo_test::str;

namespace {

// One host watch entry as the test writes it.
struct Entry {
  std::optional<std::string> key, item;
  std::optional<std::string> imdb;
  int season = -1, episode = -1;
  int position = 0;

  std::string json() const {
    std::string s = "{";
    if (key) s += R"("key":")" + *key + "\",";
    if (item) s += R"("item_id":")" + *item + "\",";
    if (imdb) s += R"("imdb_id":")" + *imdb + "\",";
    if (season >= 0) s += R"("season":)" + std::to_string(season) + ",";
    if (episode >= 0) s += R"("episode":)" + std::to_string(episode) + ",";
    return s + R"("position":)" + std::to_string(position) + R"(,"updated_ms":)" + std::to_string(position % 7) + "}";
  }
};

std::string array_of(const std::vector<Entry>& entries) {
  std::string s = "[";
  for (std::size_t i = 0; i < entries.size(); ++i) s += (i ? "," : "") + entries[i].json();
  return s + "]";
}

// The rules, written out plainly: the first match in table order, or append.
void apply(std::vector<Entry>& host, const Entry& update) {
  for (Entry& e : host) {
    bool match = false;
    if (update.key) {
      match = e.key == update.key;
    } else if (update.item) {
      match = e.item == update.item;
    } else if (update.imdb && update.season >= 0 && update.episode >= 0) {
      match = e.imdb == update.imdb && e.season == update.season && e.episode == update.episode;
    }
    if (match) {
      e = update;
      return;
    }
  }
  host.push_back(update);
}

std::string without_rejected(const std::string& s) {
  static const std::regex rejected("\"rejected\":[0-9]+");
  return std::regex_replace(s, rejected, "\"rejected\":_");
}

class UpdateWatchTest : public KavoTest {};

TEST_F(UpdateWatchTest, AnUpdateGivesTheModelOfTheUpdatedArray) {
  std::mt19937 rng(1209);
  auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  auto random_entry = [&] {
    Entry e;
    if (pick(2)) e.key = "k" + std::to_string(pick(4));
    if (pick(2)) e.item = "i" + std::to_string(pick(8));
    if (pick(2)) {
      e.imdb = "tt" + std::to_string(pick(3));
      e.season = pick(3) ? 1 : -1;
      e.episode = pick(4) ? 1 + pick(2) : -1;
    }
    e.position = pick(3000);
    return e;
  };
  std::string items = "[";
  for (int i = 0; i < 8; ++i) {
    items += std::string(i ? "," : "") + R"({"id":"i)" + std::to_string(i) + R"(","kind":"episode","imdb_id":"tt)" +
             std::to_string(i % 3) + R"(","season":1,"episode":)" + std::to_string(1 + i / 3) +
             R"(,"duration_s":2400})";
  }
  items += "]";
  const std::string inputs = R"({"items":)" + items +
                             R"(,"server_home":{"Continues":[{"IMDbId":"tt1","Season":1,"Episode":2,)"
                             R"("Value":0.5,"Duration":"00:40:00"}]}})";
  for (int round = 0; round < 60; ++round) {
    SCOPED_TRACE(round);
    std::vector<Entry> host(static_cast<std::size_t>(pick(6)));
    for (Entry& e : host) e = random_entry();
    std::vector<Entry> updates(static_cast<std::size_t>(1 + pick(4)));
    for (Entry& e : updates) e = random_entry();
    // Elements the watch call turns away are skipped.
    std::string update_text = array_of(updates);
    update_text.insert(1, R"(7,{"id":"i1"},)");

    ASSERT_EQ(kavo_load_inputs(inputs.c_str()), 0);
    ASSERT_EQ(kavo_set_watch(array_of(host).c_str()), 0);
    ASSERT_EQ(kavo_update_watch(update_text.c_str()), 0);
    const std::string updated = host_view();
    EXPECT_NE(str(kavo_stats_json()).find(R"("rejected":2,)"), std::string::npos);

    for (const Entry& u : updates) apply(host, u);
    ASSERT_EQ(kavo_load_inputs(inputs.c_str()), 0);
    ASSERT_EQ(kavo_set_watch(array_of(host).c_str()), 0);
    EXPECT_EQ(without_rejected(updated), without_rejected(host_view())) << update_text;
  }
}

TEST_F(UpdateWatchTest, NullAndFailuresChangeNothing) {
  ASSERT_EQ(kavo_load_inputs(R"({"items":[{"id":"a","kind":"movie","duration_s":3000}],)"
                             R"("watch":[{"key":"w","item_id":"a","position":600}]})"),
            0);
  const std::string before = host_view();
  const char* result = kavo_result_json();
  EXPECT_EQ(kavo_update_watch(nullptr), 0);
  EXPECT_EQ(kavo_result_json(), result);  // not even rebuilt
  EXPECT_EQ(kavo_update_watch("[{"), 1);
  EXPECT_STREQ(kavo_last_error(), "watch: not valid JSON");
  EXPECT_EQ(kavo_update_watch(R"({"key":"w"})"), 1);
  EXPECT_STREQ(kavo_last_error(), "watch: expected an array");
  EXPECT_EQ(host_view(), before);
  // The update replaces the entry in its place.
  ASSERT_EQ(kavo_update_watch(R"([{"key":"w","item_id":"a","position":1200}])"), 0);
  EXPECT_NE(str(kavo_item_json(0)).find(R"("resume_position_s":1200.0)"), std::string::npos);
  EXPECT_NE(str(kavo_stats_json()).find(R"("watch":1,)"), std::string::npos);
}

}  // namespace
