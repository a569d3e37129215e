// Autoplay events, the next-episode object and their getters.
#include <cmath>
#include <vector>

#include "doc_support.h"

using namespace doc_test;

namespace {

struct Ev {
  std::string name;
  double at_s;
  int32_t auto_dismiss, auto_play, is_prepare;
  bool operator==(const Ev&) const = default;
};

void PrintTo(const Ev& e, std::ostream* os) {
  *os << e.name << "@" << e.at_s << "/" << e.auto_dismiss << e.auto_play << e.is_prepare;
}

std::vector<Ev> events(const ApEvents& list) {
  std::vector<Ev> out;
  for (int32_t i = 0; i < list.count; ++i) {
    const ApEvent& e = list.list[i];
    out.push_back({e.name, e.at_s, e.auto_dismiss, e.auto_play, e.is_prepare});
  }
  return out;
}

// Settings: 0 for a switch means off; a value turns it on.
struct Settings {
  double fixed = NAN, pct = NAN, countdown = NAN;
  int32_t autoplay = 0;
};

std::vector<Ev> run(double base, Settings st) {
  s_ap_configured = 1;
  s_ap_fixed = std::isnan(st.fixed) ? 0 : 1;
  s_ap_fixed_dur_s = std::isnan(st.fixed) ? 0.0 : st.fixed;
  s_ap_pct = std::isnan(st.pct) ? 0 : 1;
  s_ap_pct_val = std::isnan(st.pct) ? 0.0 : st.pct;
  s_ap_countdown = std::isnan(st.countdown) ? 0 : 1;
  s_ap_countdown_s = std::isnan(st.countdown) ? 0.0 : st.countdown;
  s_ap_autoplay = st.autoplay;
  return events(build_autoplay(base));
}

const Ev prep(double at) { return {"PrepareProposal", at, 0, 0, 1}; }
const Ev prop(double at) { return {"Proposal", at, 1, 0, 0}; }
const Ev prep_end(double at) { return {"PrepareEnding", at, 0, 0, 1}; }
const Ev ending(double at, int32_t play) { return {"Ending", at, 0, play, 0}; }

using Evs = std::vector<Ev>;

}  // namespace

class Autoplay : public DocTest {};

TEST_F(Autoplay, ProposalTimes) {
  EXPECT_EQ(run(3000, {.fixed = 60}), (Evs{prep(2925), prop(2940)}));
  EXPECT_EQ(run(3000, {.fixed = 60, .pct = 0.9}), (Evs{prep(2685), prop(2700)}));
  EXPECT_EQ(run(3000, {.fixed = 60, .pct = 1.0}), (Evs{prep(2925), prop(2940)}));
  EXPECT_EQ(run(3000, {.fixed = 3000, .pct = 0.5}), (Evs{prep(1485), prop(1500)}));
  EXPECT_EQ(run(3000, {.pct = 0.0}), Evs{});
  EXPECT_EQ(run(3000, {.pct = 0.5}), (Evs{prep(1485), prop(1500)}));
  EXPECT_EQ(run(20, {.fixed = 10}), (Evs{prop(10)}));
  EXPECT_EQ(run(20, {.fixed = 5}), (Evs{prop(15)}));
  EXPECT_EQ(run(3000, {.fixed = -10}), Evs{});
  EXPECT_EQ(run(3000, {.fixed = 0}), Evs{});  // P equal to D is not before the end
  EXPECT_EQ(run(3000, {.fixed = NAN}), Evs{});
  // A NaN setting that is switched on produces nothing of its kind.
  s_ap_fixed = 1;
  s_ap_fixed_dur_s = NAN;
  s_ap_pct = s_ap_countdown = 0;
  EXPECT_EQ(build_autoplay(3000).count, 0);
}

TEST_F(Autoplay, EndingCountdown) {
  EXPECT_EQ(run(3000, {.countdown = 20, .autoplay = 1}), (Evs{prep_end(2965), ending(2980, 1)}));
  EXPECT_EQ(run(3000, {.countdown = 20, .autoplay = 0}), (Evs{prep_end(2965), ending(2980, 0)}));
  EXPECT_EQ(run(30, {.countdown = 20}), (Evs{ending(10, 0)}));
  EXPECT_EQ(run(3000, {.countdown = 3000}), Evs{});
  EXPECT_EQ(run(3000, {.countdown = 0}), Evs{});
  EXPECT_EQ(run(3000, {.countdown = -5}), Evs{});
  // Proposal events come first, whatever their times.
  EXPECT_EQ(run(3000, {.fixed = 10, .countdown = 120}),
            (Evs{prep(2975), prop(2990), prep_end(2865), ending(2880, 0)}));
  // Not configured: nothing at all.
  s_ap_configured = 0;
  EXPECT_EQ(build_autoplay(3000).count, 0);
}

TEST_F(Autoplay, BaseDuration) {
  Item item;
  double d = 0.0;
  EXPECT_FALSE(base_duration(item, &d));
  item.runtime_min = 50;
  ASSERT_TRUE(base_duration(item, &d));
  EXPECT_EQ(d, 3000.0);
  item.duration_s = 12.5;
  ASSERT_TRUE(base_duration(item, &d));
  EXPECT_EQ(d, 12.5);
  item.duration_s = 0.0;
  item.runtime_min = 0;
  EXPECT_FALSE(base_duration(item, &d));
  item.duration_s = NAN;
  EXPECT_FALSE(base_duration(item, &d));
}

TEST_F(Autoplay, GettersWithoutSelection) {
  ASSERT_EQ(kavo_set_row_cap(0), 2);
  EXPECT_STREQ(kavo_detail_next_json(), "{}");
  EXPECT_STREQ(kavo_last_error(), "no item selected");
  kavo_set_row_cap(0);
  EXPECT_STREQ(kavo_detail_autoplay_json(), "[]");
  EXPECT_STREQ(kavo_last_error(), "no item selected");
  EXPECT_EQ(kavo_last_code(), 2);
  EXPECT_EQ(kavo_detail_autoplay_configured(), 0);
  s_ap_configured = 1;
  EXPECT_EQ(kavo_detail_autoplay_configured(), 1);
}

TEST_F(Autoplay, GettersOfTheSelection) {
  Item& a = push_item("a");
  a.imdb_id = xstrdup("tt1");
  a.runtime_min = 50;
  ASSERT_EQ(kavo_select_imdb("tt1"), 0);
  EXPECT_STREQ(kavo_detail_next_json(), "{\"item_id\":null}");
  EXPECT_STREQ(kavo_detail_autoplay_json(), "[]");  // not configured

  // Settings count at once for the getter, not for the stored detail.
  s_ap_configured = 1;
  s_ap_pct = 1;
  s_ap_pct_val = 0.95;
  EXPECT_STREQ(kavo_detail_autoplay_json(),
               "[{\"name\":\"PrepareProposal\",\"at_s\":2835.0,\"auto_dismiss\":0,\"auto_play\":0,"
               "\"is_prepare\":1},{\"name\":\"Proposal\",\"at_s\":2850.0,\"auto_dismiss\":1,"
               "\"auto_play\":0,\"is_prepare\":0}]");
  EXPECT_NE(str(kavo_detail_json()).find("\"autoplay\":{\"configured\":0,\"events\":[]}"),
            std::string::npos);

  s_items[0].runtime_min = -1;  // no base duration: no events
  EXPECT_STREQ(kavo_detail_autoplay_json(), "[]");

  Item& b = push_item("b");
  b.title = xstrdup("Next");
  b.season = 0;
  b.playable = 1;
  s_items[0].next_index = 1;
  EXPECT_STREQ(kavo_detail_next_json(),
               "{\"item_id\":\"b\",\"imdb_id\":null,\"title\":\"Next\",\"season\":0,"
               "\"episode\":null,\"playable\":1}");
  s_items[1].title = xstrdup("broken \xc3");
  ASSERT_EQ(kavo_set_row_cap(0), 2);
  EXPECT_STREQ(kavo_detail_next_json(), "{}");
  EXPECT_STREQ(kavo_last_error(), "oom");
  EXPECT_EQ(kavo_last_code(), 2);
}
