// The optional resume and home behaviours, through the C interface as a host
// drives them: thresholds, dismissals, next episodes across seasons, Next Up,
// proposal times, natural titles, Recently Added by show, show rows.
#include <string>

#include "rows_support.h"

namespace {

using namespace rows_test;

std::string movie(const char* id, const char* extra = "") {
  return std::string(R"({"id":")") + id + R"(","kind":"movie","duration_s":3600,"sources":[{"url":"u)" + id +
         "\"}]" + extra + "}";
}
// An episode of the show tt9, 3000 s long.
std::string episode(const char* id, int season, int number, const char* extra = "") {
  return std::string(R"({"id":")") + id + R"(","kind":"episode","imdb_id":"tt9","season":)" +
         std::to_string(season) + R"(,"episode":)" + std::to_string(number) +
         R"(,"duration_s":3000,"sources":[{"url":"u)" + id + "\"}]" + extra + "}";
}
const std::string kShowAndX = "[" + episode("e11", 1, 1) + "," + episode("e12", 1, 2) + "," + episode("e13", 1, 3) +
                              "," + episode("e21", 2, 1) + "," + movie("X") + "]";
std::string fin(const char* id, int at) {
  return std::string(R"({"item_id":")") + id + R"(","finished":true,"updated_ms":)" + std::to_string(at) + "}";
}
std::string pos(const char* id, int p, int at = 100) {
  return std::string(R"({"item_id":")") + id + R"(","position":)" + std::to_string(p) + R"(,"updated_ms":)" +
         std::to_string(at) + "}";
}
std::string join(const Strings& ids) {
  std::string s;
  for (const std::string& id : ids) s += (s.empty() ? "" : " ") + id;
  return s;
}

class HomeSettings : public RowsTest {
 protected:
  void load(const char* resume, const std::string& items, const std::string& watch = "[]",
            const std::string& store = "{}") {
    ASSERT_EQ(kavo_set_resume_settings(resume), 0) << resume;
    const std::string in = R"({"items":)" + items + R"(,"watch":)" + watch + R"(,"store":)" + store + "}";
    ASSERT_EQ(kavo_load_inputs(in.c_str()), 0) << kavo_last_error();
  }
  static std::string cw() { return join(cells_of("ContinueWatching")); }
  static int32_t action(const char* id) { return kavo_item_resume_action(kavo_item_index_of(id)); }
  static std::string next(const char* id) { return kavo_test::str(kavo_item_next_id(kavo_item_index_of(id))); }
  static std::string watch_time(const char* id) {
    return std::to_string(s_watch[static_cast<std::size_t>(item(kavo_item_index_of(id)).watch_index)].updated_ms);
  }
  // The times of the selected item's autoplay events, in list order.
  static std::string event_times(const char* id) {
    EXPECT_EQ(kavo_select_item(id), 0);
    const std::string json = kavo_detail_autoplay_json();
    std::string out;
    for (std::size_t at = json.find("\"at_s\":"); at != std::string::npos; at = json.find("\"at_s\":", at + 1)) {
      out += (out.empty() ? "" : " ") + std::to_string(std::stoi(json.substr(at + 7)));
    }
    return out;
  }
};

TEST_F(HomeSettings, ResumeThresholds) {
  const std::string x = "[" + movie("X") + "]", bare = R"([{"id":"X","sources":[{"url":"u"}]}])";
  const std::string clip = R"([{"id":"X","duration_s":240,"sources":[{"url":"u"}]}])";
  const std::string frac = R"({"item_id":"X","fraction":0.04})";
  const struct {
    const char* settings;
    const std::string& items;
    std::string entry;
    int32_t action;
  } cases[] = {
      {"{}", x, pos("X", 3300), kResume}, {R"({"finished_fraction":0.9})", x, pos("X", 3300), kFinished},
      {R"({"finished_fraction":0.9})", x, pos("X", 3240), kResume},
      {R"({"resume_min_s":180})", x, pos("X", 150), kStart}, {R"({"resume_min_s":180})", x, pos("X", 181), kResume},
      {R"({"resume_min_s":180})", bare, pos("X", 120), kStart}, {"{}", bare, pos("X", 120), kResume},
      {R"({"resume_min_fraction":0.05})", x, frac, kStart}, {"{}", x, frac, kResume},
      {R"({"short_item_s":300})", clip, pos("X", 100), kFinished}, {"{}", clip, pos("X", 100), kResume},
      {R"({"short_item_s":300})", bare, R"({"item_id":"X","position":100,"duration_s":240})", kFinished},
  };
  for (const auto& c : cases) {
    load(c.settings, c.items, "[" + c.entry + "]");
    EXPECT_EQ(action("X"), c.action) << c.settings << " " << c.entry;
  }
  load(R"({"resume_min_fraction":0.05})", x, "[" + frac + "]");
  EXPECT_EQ(item(0).progress_fraction, 0.04);  // a start by share keeps its fraction

  // A replay that has only just begun.
  load("{}", x, "[" + fin("X", 100) + "," + pos("X", 3, 200) + "]");
  EXPECT_EQ(cw() + "|" + watch_time("X"), "|200");
  load(R"({"keep_finished_on_replay":true})", x, "[" + fin("X", 100) + "," + pos("X", 3, 200) + "]");
  EXPECT_EQ(action("X"), kFinished);
  EXPECT_EQ(cw() + "|" + watch_time("X"), "X|100");
}

// The proposal time that finishes an item is the autoplay timeline's own,
// with steps, credits and the next episode it depends on.
TEST_F(HomeSettings, FinishedAtTheProposal) {
  const std::string one = "[" + episode("e11", 1, 1, R"(,"credits_start_s":2710)") + "]";
  const std::string two = "[" + episode("e13", 1, 3) + "," + episode("e21", 2, 1) + "]";
  const struct {
    const char* resume;
    const char* autoplay;
    const std::string& items;
    int position;
    int32_t action;
  } cases[] = {
      {R"({"finished_at_proposal":true})", "", one, 2950, kResume},  // no autoplay, no proposal
      {"{}", R"({"useFixedPresentBefore":true,"PresentBeforeEndingDuration":60})", one, 2950, kResume},
      {R"({"finished_at_proposal":true})", R"({"useFixedPresentBefore":true,"PresentBeforeEndingDuration":60})", one, 2940, kFinished},
      {R"({"finished_at_proposal":true})", R"({"useFixedPresentBefore":true,"present_before_steps":[[0,15],[2400,50]]})", one, 2950, kFinished},
      {R"({"finished_at_proposal":true})", R"({"present_at_credits":true})", one, 2710, kFinished},
      {R"({"finished_at_proposal":true})", R"({"present_at_credits":true,"proposal_only_with_next":true})", one, 2710, kResume},
      {R"({"finished_at_proposal":true})", R"({"present_at_credits":true,"proposal_only_with_next":true})", two, 2950, kResume},
      {R"({"finished_at_proposal":true,"next_episode_following":true})",
       R"({"useFixedPresentBefore":true,"PresentBeforeEndingDuration":60,"proposal_only_with_next":true})", two, 2950, kFinished},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(kavo_set_autoplay_settings(c.autoplay), 0);
    const char* id = c.items == two ? "e13" : "e11";
    load(c.resume, c.items, "[" + pos(id, c.position) + "]");
    EXPECT_EQ(action(id), c.action) << c.resume << " " << c.autoplay << " " << c.position;
  }
  // The item's own running time, never the entry's.
  load(R"({"finished_at_proposal":true})", R"([{"id":"X","sources":[{"url":"u"}]}])",
       R"([{"item_id":"X","position":2950,"duration_s":3000}])");
  EXPECT_EQ(action("X"), kResume);
}

TEST_F(HomeSettings, DismissalsAndSkippingFinished) {
  const std::string items = "[" + movie("A") + "," + movie("B") + "]";
  const std::string watch = "[" + fin("A", 300) + "," + pos("B", 1000, 200) + "]";
  const struct {
    const char* settings;
    std::string watch, store, cw, movies;
  } cases[] = {
      {"{}", watch, "{}", "A B", ""},
      {R"({"continue_skip_finished":true})", watch, "{}", "B", "A"},
      {"{}", watch, R"({"dismissed":{"B":250}})", "A", "B"},
      {"{}", "[" + fin("A", 300) + "," + pos("B", 1200, 260) + "]", R"({"dismissed":{"B":250}})", "A B", ""},
      {"{}", watch, R"({"dismissed":{"b":999}})", "A B", ""},   // ids are case-sensitive
      {"{}", R"([{"item_id":"B","position":1000}])", R"({"dismissed":{"B":-5}})", "", "A B"},
      {R"({"continue_skip_finished":true})", watch, R"({"dismissed":{"B":250}})", "", "A B"},
  };
  for (const auto& c : cases) {
    load(c.settings, items, c.watch, c.store);
    EXPECT_EQ(cw() + "|" + join(cells_of("Movies")), c.cw + "|" + c.movies) << c.settings << c.store;
  }
  EXPECT_NE(std::string(kavo_stats_json()).find(R"("continue_candidates":0)"), std::string::npos);
  // A clear drops the dismissals.
  kavo_clear();
  ASSERT_EQ(kavo_set_resume_settings(nullptr), 0);
  ASSERT_EQ(kavo_add_items(items.c_str()), 0);
  ASSERT_EQ(kavo_set_watch(watch.c_str()), 0);
  EXPECT_EQ(cw(), "A B");
}

TEST_F(HomeSettings, NextEpisodeAcrossGapsAndSeasons) {
  const char* on = R"({"next_episode_following":true})";
  load("{}", kShowAndX);
  EXPECT_EQ(next("e13") + " " + next("e12"), "<null> e13");
  load(on, kShowAndX);
  EXPECT_EQ(next("e13") + " " + next("e12") + " " + next("e21") + " " + next("X"), "e21 e13 <null> <null>");
  // A gap (a double episode catalogued as E1); specials neither link nor get linked.
  load(on, "[" + episode("a", 1, 1) + "," + episode("c", 1, 3) + "," + episode("s", 0, 1) + "]");
  EXPECT_EQ(next("a") + " " + next("s") + " " + next("c"), "c <null> <null>");
  // The same address wins across the rollover; items without an IMDb id make a show of their own.
  load(on, R"([{"id":"s1","imdb_id":"tt9","season":1,"episode":1,"sources":[{"url":"u1"}]},
               {"id":"a","imdb_id":"tt9","season":2,"episode":1,"sources":[{"url":"u2"}]},
               {"id":"b","imdb_id":"tt9","season":2,"episode":1,"sources":[{"url":"u1"}]},
               {"id":"o","imdb_id":"tt8","season":1,"episode":2},{"id":"n1","season":1,"episode":5},
               {"id":"n2","season":3,"episode":1}])");
  EXPECT_EQ(next("s1") + " " + next("n1"), "b n2");
}

TEST_F(HomeSettings, NextUpGivesEachShowOneCell) {
  const char* up = R"({"continue_next_up":true})";
  const std::string ex1 = "[" + fin("e11", 100) + "," + pos("e12", 1000, 200) + "," + pos("X", 500, 150) + "]";
  const std::string ex2 = "[" + fin("e11", 100) + "," + fin("e12", 300) + "," + pos("X", 500, 200) + "]";
  const std::string ex3 = "[" + fin("e13", 300) + "]";
  const std::string ex5 = "[" + fin("e11", 100) + "," + fin("e12", 200) + "," + pos("e12", 3, 300) + "]";
  const struct {
    const char* settings;
    std::string watch;
    const char* store;
    const char* cw;
  } cases[] = {
      {"{}", ex1, "{}", "e12 X e11"}, {up, ex1, "{}", "e12 X"},
      {"{}", ex2, "{}", "e12 X e11"}, {up, ex2, "{}", "e13 X"},  // e13 ranked at 300
      {up, ex3, "{}", "e13"}, {R"({"continue_next_up":true,"continue_skip_finished":true})", ex3, "{}", ""},
      {R"({"continue_next_up":true,"next_episode_following":true})", ex3, "{}", "e21"},
      {up, "[" + fin("e21", 100) + "," + fin("e12", 200) + "]", "{}", "e13"},  // the latest, not the highest
      {up, ex5, "{}", "e12"}, {R"({"continue_next_up":true,"keep_finished_on_replay":true})", ex5, "{}", "e13"},
      // A dismissal names the shown item and compares with the anchor's time.
      {up, ex2, R"({"dismissed":{"e12":999}})", "e13 X"}, {up, ex2, R"({"dismissed":{"e13":300}})", "X"},
  };
  for (const auto& c : cases) {
    load(c.settings, kShowAndX, c.watch, c.store);
    EXPECT_EQ(cw(), c.cw) << c.settings << " " << c.watch << " " << c.store;
  }
  load(up, kShowAndX, ex2);
  EXPECT_EQ(kavo_row_cell_resume_action(find_row("ContinueWatching"), 0), kStart);
  EXPECT_NE(std::string(kavo_stats_json()).find(R"("continue_candidates":2)"), std::string::npos);
  // An anchor in progress that cannot be played gives no cell, however playable the older episode.
  load(up, "[" + episode("e11", 1, 1) + R"(,{"id":"e12","kind":"episode","imdb_id":"tt9","season":1,"episode":2,
       "duration_s":3000}])", "[" + pos("e11", 1000, 100) + "," + pos("e12", 1000, 200) + "]");
  EXPECT_EQ(cw(), "");
  // A next episode outside the show's episode items (here of no kind) is not shown twice.
  load(up, "[" + episode("e11", 1, 1) + R"(,{"id":"n","imdb_id":"tt9","season":1,"episode":2,"sources":[{"url":"u"}]}])",
       "[" + fin("e11", 200) + "," + pos("n", 100, 100) + "]");
  EXPECT_EQ(cw(), "n");
}

TEST_F(HomeSettings, ProposalTimes) {
  const auto item = [](int d, const char* extra = "") {
    return R"([{"id":"i","duration_s":)" + std::to_string(d) + extra + "}]";
  };
  const std::string steps = R"("useFixedPresentBefore":true,"PresentBeforeEndingDuration":30,)";
  const std::string table = steps + R"("present_before_steps":[[0,15],[600,30],[1200,40],[2400,50],[3600,60]],)";
  const struct {
    std::string autoplay, items;
    const char* id;
    const char* times;
  } cases[] = {
      {table, item(3000), "i", "2935 2950"},
      {table, item(3600), "i", "3525 3540"},
      {table, item(300), "i", "270 285"},
      {steps + R"("present_before_steps":[[600,30],[-1,5],[1],"x"],)", item(300), "i", "255 270"},
      {steps + R"("present_before_steps":[[0,0],[600,30]],)", item(300), "i", ""},         // no proposal at the end
      {steps + R"("usePercentagePresentBefore":true,"PresentBeforeEndingPercentage":0.5,"present_at_credits":true,)",
       item(3000, R"(,"credits_start_s":2710)"), "i", "2695 2710"},
      {table + R"("present_at_credits":true,)", item(3000, R"(,"outro_start_s":3000)"), "i", "2935 2950"},
      {R"("present_at_credits":true,)", item(3000, R"(,"creditsStartS":"2710")"), "i", "2695 2710"},
      {steps + R"("CountdownDuration":20,"EnableCountingDown":true,"proposal_only_with_next":true,)",
       "[" + movie("X") + "]", "X", "3565 3580"},
      {steps + R"("CountdownDuration":20,"EnableCountingDown":true,"proposal_only_with_next":true,)",
       "[" + episode("e11", 1, 1) + "," + episode("e12", 1, 2) + "]", "e11", "2955 2970 2965 2980"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(kavo_set_autoplay_settings(("{" + c.autoplay + R"("x":0})").c_str()), 0) << c.autoplay;
    load("{}", c.items);
    EXPECT_EQ(event_times(c.id), c.times) << c.autoplay << " " << c.items;
  }
  // The detail document agrees and never shows the credits.
  const std::string detail = kavo_detail_json();
  EXPECT_NE(detail.find(R"("at_s":2970.0)"), std::string::npos);
  EXPECT_EQ(detail.find("credits"), std::string::npos);
}

TEST_F(HomeSettings, NaturalTitleOrder) {
  const auto titles = [](const char* row) {
    std::string out;
    for (const std::string& id : cells_of(row)) {
      out += (out.empty() ? "" : "|") + kavo_test::str(item(kavo_item_index_of(id.c_str())).title.get());
    }
    return out;
  };
  const auto movies = [](std::initializer_list<const char*> names, bool years = false) {
    std::string out = "[";
    int n = 0;
    for (const char* t : names) {
      out += (n ? "," : "") + std::string(R"({"kind":"movie","id":")") + std::to_string(n) + R"(","title":")" + t +
             "\"" + (years ? R"(,"year":)" + std::to_string(n % 3 ? 2019 : 2021) : "") + "}";
      ++n;
    }
    return out + "]";
  };
  const std::string five = movies({"The Abyss", "alien", "Aliens", "10 Cloverfield Lane", "2 Fast 2 Furious"});
  const std::string two = movies({"A Quiet Place", "Parasite"});
  const std::string words = movies({"A Man", "Ant", "An Ant", "A", "the thing", "The Thing", "\u00e9t\u00e9", "Zoo"});
  const std::string years = movies({"z", "A", "b"}, true) ;  // z 2021, A and b 2019
  const struct {
    const char* settings;
    const std::string& items;
    const char* order;
  } cases[] = {
      {"{}", five, "10 Cloverfield Lane|2 Fast 2 Furious|Aliens|The Abyss|alien"},
      {R"({"title_sort":"NATURAL"})", five, "2 Fast 2 Furious|10 Cloverfield Lane|The Abyss|alien|Aliens"},
      {R"({"title_sort":"natural"})", two, "Parasite|A Quiet Place"},
      {R"({"title_sort":"natural","title_articles":[]})", two, "A Quiet Place|Parasite"},
      {R"({"title_sort":"natural"})", words, "A|An Ant|Ant|A Man|The Thing|the thing|Zoo|\u00e9t\u00e9"},
      {"{}", years, "z|A|b"},
      {R"({"catalogue_by_year":false})", years, "A|b|z"},
  };
  for (const auto& c : cases) {
    load(c.settings, c.items);
    EXPECT_EQ(titles("Movies"), c.order) << c.settings;
  }
  // A show's row: titles after season and episode.
  load(R"({"title_sort":"natural"})", R"([{"id":"p","kind":"episode","imdb_id":"tt9","title":"Part 10"},
       {"id":"q","kind":"episode","imdb_id":"tt9","title":"Part 9"}])");
  EXPECT_EQ(titles("tt9"), "Part 9|Part 10");
}

TEST_F(HomeSettings, RecentlyAddedByShow) {
  const std::string show = R"({"id":"S","kind":"tv","imdb_id":"tt9","added_ms":100},)";
  const std::string eps = R"({"id":"e11","kind":"episode","imdb_id":"tt9","season":1,"episode":1,"added_ms":200},
    {"id":"e12","kind":"episode","imdb_id":"tt9","season":1,"episode":2,"added_ms":300},
    {"id":"e13","kind":"episode","imdb_id":"tt9","season":1,"episode":3,"added_ms":400},
    {"id":"M","kind":"movie","added_ms":350}])";
  const std::string grouped = R"({"recent_group_shows":true})", both = R"({"recent_group_shows":true,"recent_skip_finished":true})";
  const struct {
    std::string settings, items, watch, cells;
  } cases[] = {
      {"{}", "[" + show + eps, "[]", "e13:400 M:350 e12:300 e11:200 S:100"},
      {grouped, "[" + show + eps, "[]", "S:400 M:350"},
      {grouped, "[" + eps, "[]", "e13:400 M:350"},
      {both, "[" + show + eps, "[" + fin("e13", 1) + "]", "M:350 S:300"},
      // An undated show item stands where the first dated member was.
      {grouped, R"([{"id":"M","kind":"movie","added_ms":50},{"id":"e","kind":"episode","imdb_id":"tt9","added_ms":200},
                    {"id":"S","kind":"show","imdb_id":"tt9"}])", "[]", "S:200 M:50"},
  };
  for (const auto& c : cases) {
    load(c.settings.c_str(), c.items, c.watch);
    std::string cells;
    for (const Cell& cell : s_rows[static_cast<std::size_t>(find_row("RecentlyAdded"))].cells) {
      cells += (cells.empty() ? "" : " ") + std::string(item(cell.item_index).id.get()) + ":" + std::to_string(cell.added_ms);
    }
    EXPECT_EQ(cells, c.cells) << c.settings << " " << c.items;
  }
  // The row cap counts groups.
  std::string many = "[" + movie("M1", R"(,"added_ms":1)") + "," + movie("M2", R"(,"added_ms":2)") + "," + movie("M3", R"(,"added_ms":3)");
  for (int e = 1; e <= 87; ++e) many += "," + episode(numbered("e", e).c_str(), 1, e, R"(,"added_ms":9)");
  ASSERT_EQ(kavo_set_row_cap(3), 0);
  for (const char* settings : {grouped.c_str(), "{}"}) {
    load(settings, many + "]");
    const Row& row = s_rows[static_cast<std::size_t>(find_row("RecentlyAdded"))];
    EXPECT_EQ(std::to_string(row.cell_count) + "/" + std::to_string(row.emitted), settings == grouped ? "4/3" : "90/3");
  }
}

TEST_F(HomeSettings, ShowRowsMaxAndSettingRanges) {
  const std::string items = R"([{"id":"a","kind":"episode","imdb_id":"tt1"},{"id":"b","kind":"episode","imdb_id":"tt2"},
    {"id":"c","kind":"episode","imdb_id":"tt3"},{"id":"x","kind":"movie"}])";
  const std::string all = "Movies tt1 tt2 tt3";
  const struct {
    const char* settings;
    std::string rows;
  } cases[] = {{"{}", all}, {R"({"show_rows_max":1})", "Movies tt1"}, {R"({"show_rows_max":"2"})", "Movies tt1 tt2"},
               {R"({"show_rows_max":0})", "Movies"}, {R"({"show_rows_max":-1})", all}, {R"({"show_rows_max":"x"})", all},
               {R"({"show_rows_max":null})", all}};
  for (const auto& c : cases) {
    load(c.settings, items);
    EXPECT_EQ(join(row_keys()), c.rows) << c.settings;
  }
  // Out of range or of the wrong type: not given. A call that fails changes nothing.
  const ResumeSettings& rs = s_settings.resume;
  EXPECT_EQ(kavo_set_resume_settings(R"({"finished_fraction":1,"resume_min_s":-1,"title_articles":{}})"), 0);
  EXPECT_TRUE(rs.finished_fraction == 0 && rs.resume_min_s == 5 && rs.title_articles.count == 3);
  EXPECT_EQ(kavo_set_resume_settings(R"({"Finished_Fraction":"0.5"})"), 0);
  EXPECT_EQ(kavo_set_resume_settings(R"({"finished_fraction":0.2,)"), 1);
  EXPECT_EQ(rs.finished_fraction, 0.5);
}

}  // namespace
