// Rules of the rows that the other row tests leave open: the stats document
// as a whole, the resume decision where the fraction and the durations meet
// their limits, the membership of Continue Watching against the catalogue
// rows, the less common shapes of the server home, and the cell accessors on
// both kinds of cell.
#include <string>
#include <vector>

#include "rows_support.h"

using namespace rows_test;
using kavo_test::str;

namespace {

std::string decision(const Item& it, const WatchRec& w) {
  const ResumeState r = decide_resume(it, &w);
  return std::to_string(r.action) + " " + std::to_string(r.position_s) + " " + std::to_string(r.fraction) + " " +
         std::to_string(r.clamped);
}

Strings api_keys() {
  Strings out;
  for (int32_t r = 0; r < kavo_row_count(); ++r) out.push_back(str(kavo_row_key(r)));
  return out;
}

int32_t api_row(const char* key) {
  for (int32_t r = 0; r < kavo_row_count(); ++r) {
    if (str(kavo_row_key(r)) == key) return r;
  }
  return -1;
}

}  // namespace

TEST_F(RowsTest, StatsDocumentAfterALoadAndAfterACapChange) {
  EXPECT_STREQ(kavo_stats_json(), "{}");  // nothing built yet
  ASSERT_EQ(kavo_load_inputs(R"({
    "server_home": {"Basics": [{"IMDbId": "tt1", "Title": "Basic One"}],
                    "Spotlights": [{"Items": "tt1,ttX"}]},
    "items": [
      {"id": "m1", "imdb_id": "tt1", "kind": "movie", "added_ms": 5, "duration_s": 3600,
       "sources": [{"url": "http://x/1"}]},
      {"id": "m2", "title": "Two", "kind": "movie"},
      {"id": "m1", "title": "repeated id"},
      7,
      {"id": "u", "title": "U", "kind": "file", "unmatched": true}
    ],
    "watch": [{"item_id": "m1", "position_s": 600, "updated_ms": 3}],
    "library": [{"id": "m2", "title": "Linked", "kind": "file"},
                {"id": "lx", "title": "Loose", "kind": "file", "added_ms": 9}],
    "store": {"favourites": [{"token": "m2", "display_name": "F"}, {"token": "zz", "display_name": "Gone"}]}
  })"),
            0)
      << kavo_last_error();
  EXPECT_EQ(api_keys(), (Strings{"Spotlight", "ContinueWatching", "RecentlyAdded", "Movies", "Favourites",
                                 "Unmatched"}));
  EXPECT_STREQ(kavo_stats_json(),
               "{\"items\":3,\"watch\":1,\"library\":2,\"rows\":6,\"cells\":10,\"rejected\":2,"
               "\"continue_candidates\":1,\"unmatched\":2,\"basics\":1,\"favourites\":2,\"row_cap\":200}");

  // A cap of one cell: every row keeps its first cell; the rejection count
  // stays until the next clear.
  ASSERT_EQ(kavo_set_row_cap(1), 0);
  ASSERT_EQ(kavo_set_watch(R"([{"item_id": "m1", "position_s": 600, "updated_ms": 3}])"), 0);
  EXPECT_STREQ(kavo_stats_json(),
               "{\"items\":3,\"watch\":1,\"library\":2,\"rows\":6,\"cells\":6,\"rejected\":2,"
               "\"continue_candidates\":1,\"unmatched\":2,\"basics\":1,\"favourites\":2,\"row_cap\":1}");
  const int32_t ra = api_row("RecentlyAdded");
  EXPECT_EQ(kavo_row_cell_count(ra), 2);
  EXPECT_EQ(kavo_row_truncated(ra), 1);
  EXPECT_EQ(str(kavo_row_cell_title(ra, 0)), "Loose");  // 9 before 5
  EXPECT_EQ(kavo_row_cell_title(ra, 1), nullptr);       // refused by the cap: never stored
  EXPECT_EQ(kavo_row_truncated(api_row("ContinueWatching")), 0);  // exactly at the cap

  // No Continue Watching row: the member reads 0.
  ASSERT_EQ(kavo_set_watch("[]"), 0);
  EXPECT_EQ(api_row("ContinueWatching"), -1);
  EXPECT_NE(std::string(kavo_stats_json()).find("\"continue_candidates\":0,"), std::string::npos);
  kavo_clear();
  EXPECT_STREQ(kavo_stats_json(), "{}");
  EXPECT_EQ(kavo_row_count(), 0);
}

TEST_F(RowsTest, ResumeDecisionWhereFractionAndDurationsMeetTheirLimits) {
  const std::string start = "0 0.000000 0.000000 0";
  const Item hour = with_duration(3600);
  // A fraction that is present decides over the position, even at 0.
  EXPECT_EQ(decision(hour, entry(1000, 0.0)), start);
  EXPECT_EQ(decision(hour, entry(1000, 0.001)), "0 0.000000 0.001000 0");  // 3.6 s in: start
  // At exactly 30 s the fraction is ignored, also one above 1: the position
  // rule runs on the position instead, clamping it to the duration.
  EXPECT_EQ(decision(with_duration(30), entry(10, 1.5)), "1 10.000000 0.000000 0");
  EXPECT_EQ(decision(with_duration(30), entry(40, 1.5)), "2 0.000000 0.000000 1");
  // The entry's own duration stands in only when the item has none; it then
  // counts like the item's.
  EXPECT_EQ(decision(with_duration(-1), entry(-1, 1.5, 31)), "2 0.000000 1.000000 1");
  EXPECT_EQ(decision(with_duration(10), entry(-1, 0.5, 3600)), start);
  EXPECT_EQ(decision(with_duration(0, 0), entry(6, -1, 0)), "1 6.000000 0.000000 0");
  // A duration of 0 gives way to the runtime: 60 s, 2 s left.
  EXPECT_EQ(decision(with_duration(0, 1), entry(58, -1)), "2 0.000000 0.000000 0");
  EXPECT_EQ(decision(with_duration(0, 1), entry(55, -1)), "1 55.000000 0.000000 0");
}

TEST_F(RowsTest, ContinueWatchingAgainstTheCatalogueRows) {
  const int32_t show = watched("Show", 5, kShow);
  add_item("Other show", kShow, "Other show");
  auto episode = [](const char* id, int32_t ep, int64_t updated) {
    const int32_t i = watched(id, updated, kEpisode);
    set_text(item(i).imdb_id, "tt5");
    item(i).season = 1;
    item(i).episode = ep;
    return i;
  };
  episode("e1", 1, 10);
  episode("e2", 2, 20);
  // Progress that starts over, or an item that cannot be played, keeps an
  // item out of Continue Watching, and so in its catalogue row.
  const int32_t again = watched("again", 30);
  s_watch.back().position_s = 5;
  const int32_t mute = watched("mute", 40);
  item(mute).playable = 0;
  rebuild_after_input();
  EXPECT_EQ(item(again).watch_index, 3);
  EXPECT_EQ(row_keys(), (Strings{"ContinueWatching", "Movies", "TVShows", "tt5"}));
  // Episodes of one show each get their own cell, and keep their show row.
  EXPECT_EQ(cells_of("ContinueWatching"), (Strings{"e2", "e1", "Show"}));
  EXPECT_EQ(cells_of("TVShows"), (Strings{"Other show"}));
  EXPECT_EQ(cells_of("tt5"), (Strings{"e1", "e2"}));
  EXPECT_EQ(cells_of("Movies"), (Strings{"again", "mute"}));
  (void)show;
}

TEST_F(RowsTest, ServerHomeShapesAtTheEdges) {
  const int32_t one = add_item("one", kMovie, "One");
  set_text(item(one).imdb_id, "tt1");
  item(one).added_ms = 1;
  set_home(
      "{\"ExtentList\":[{\"Id\":\"Genre_A\",\"Value\":\",,\"},{\"Id\":\"Genre_B\",\"Value\":5},"
      "{\"Id\":\"Genre_C\",\"Value\":\"\"},{\"Id\":\"Genre_\",\"Value\":\"ttG\"},{\"Id\":\"Genre_D\",\"Value\":\"tt1\"}],"
      "\"Spotlights\":[5],\"CollectionPlaylists\":[{\"Name\":5,\"name\":\"lower\"},\"x\"],"
      "\"List\":[{\"Id\":\"A\",\"Value\":\"tt1\"},{\"Id\":\"B\",\"Value\":\"tt1\"},{\"Id\":\"C\",\"Value\":\"tt1\"},"
      "{\"Id\":\"MovieNowPlaying\",\"Value\":\"first\"},{\"Id\":\"MovieNowPlaying\",\"Value\":\"second\"},"
      "{\"Id\":\"NoValue\"},{\"Id\":\"Number\",\"Value\":1}],"
      "\"Level30s\":[{\"IMDbID\":5,\"IMDbId\":\"tt1\"},{\"IMDbId\":\"tt404\",\"FileName\":7}]}");
  rebuild_after_input();
  // A spotlight list of non-objects still makes its (empty) row; so does a
  // playlist list, whose non-object elements give no cells.
  EXPECT_EQ(row_keys(), (Strings{"Spotlight", "Genre", "A", "B", "MovieNowPlaying", "MovieNowPlaying", "C",
                                 "Collections", "RecentlyAdded", "Movies"}));
  EXPECT_TRUE(s_rows[0].cells.empty());
  // The Genre row comes with its first qualifying entry even when that holds
  // no id; an empty genre name is a name.
  EXPECT_EQ(cell_labels(1), (Strings{"raw:ttG", "one"}));
  EXPECT_STREQ(s_rows[1].cells[0].server_key.get(), "");
  // Each Now Playing entry goes to position 2 when it is reached.
  EXPECT_EQ(cell_labels(4), (Strings{"raw:second"}));
  EXPECT_EQ(cell_labels(5), (Strings{"raw:first"}));
  // "Name" present but no string: the fallback title, not the "name" member.
  EXPECT_EQ(cell_labels(7), (Strings{"raw:Collection"}));
  // "IMDbID" present but no string: the entry gives nothing, "IMDbId" is not
  // consulted; a "FileName" that is no string leaves the id as title.
  EXPECT_EQ(cells_of("RecentlyAdded"), (Strings{"one", "raw:tt404"}));
  const Row& ra = s_rows[static_cast<std::size_t>(find_row("RecentlyAdded"))];
  EXPECT_STREQ(ra.cells[1].server_key.get(), "tt404");
  EXPECT_EQ(ra.cells[1].added_ms, -1);

  // A Now Playing entry with no list row before it is the first row.
  set_home("{\"List\":[{\"Id\":\"movieNOWplaying\",\"Value\":\"x\"},{\"Id\":\"A\",\"Value\":\"x\"}]}");
  rebuild_after_input();
  const Strings keys = row_keys();
  EXPECT_EQ(Strings(keys.begin(), keys.begin() + 2), (Strings{"MovieNowPlaying", "A"}));
  EXPECT_EQ(s_rows[0].kind, kNowPlaying);
}

TEST_F(RowsTest, CellAccessorsOnItemAndRawCells) {
  ASSERT_EQ(kavo_load_inputs(R"({
    "server_home": {"Spotlights": [{"Items": "tt2,ttRaw,tt1"}]},
    "items": [
      {"id": "m1", "title": "One", "imdb_id": "tt1", "poster_url": "p1", "kind": "movie", "duration_s": 3600,
       "sources": [{"url": "http://x/1"}]},
      {"id": "m2", "imdb_id": "tt2", "poster_url": "p2", "kind": "movie"}
    ],
    "watch": [{"item_id": "m1", "position_s": 600, "updated_ms": 3}]
  })"),
            0)
      << kavo_last_error();
  ASSERT_EQ(api_keys(), (Strings{"Spotlight", "ContinueWatching", "Movies"}));
  // Item cell of an untitled item: no title, but the item's poster.
  EXPECT_EQ(kavo_row_cell_title(0, 0), nullptr);
  EXPECT_EQ(str(kavo_row_cell_poster_url(0, 0)), "p2");
  EXPECT_EQ(kavo_row_cell_playable(0, 0), 0);
  // Raw cell: its own title, nothing else.
  EXPECT_EQ(str(kavo_row_cell_title(0, 1)), "ttRaw");
  EXPECT_EQ(kavo_row_cell_poster_url(0, 1), nullptr);
  EXPECT_EQ(kavo_row_cell_resume_action(0, 1), 0);
  EXPECT_EQ(kavo_row_cell_playable(0, 1), 0);
  // Item cell of a resumable, playable item.
  EXPECT_EQ(str(kavo_row_cell_title(0, 2)), "One");
  EXPECT_EQ(kavo_row_cell_resume_action(0, 2), 1);
  EXPECT_EQ(kavo_row_cell_playable(0, 2), 1);
  EXPECT_EQ(kavo_row_cell_count(0), 3);
  EXPECT_EQ(kavo_row_truncated(0), 0);
  EXPECT_EQ(kavo_row_kind(0), kSpotlight);
  EXPECT_EQ(str(kavo_row_title(0)), "Spotlight");
  // Past the stored cells, and past the rows, every getter gives its
  // out-of-range value and leaves the status alone.
  ASSERT_EQ(kavo_set_row_cap(-5), 2);
  for (int32_t cell : {-1, 3}) {
    EXPECT_EQ(kavo_row_cell_title(0, cell), nullptr);
    EXPECT_EQ(kavo_row_cell_poster_url(0, cell), nullptr);
    EXPECT_EQ(kavo_row_cell_resume_action(2, cell), 0);
    EXPECT_EQ(kavo_row_cell_playable(1, cell), 0);
  }
  EXPECT_EQ(kavo_row_title(3), nullptr);
  EXPECT_EQ(kavo_row_cell_count(3), 0);
  EXPECT_EQ(kavo_row_truncated(-1), 0);
  EXPECT_EQ(kavo_row_cell_title(3, 0), nullptr);
  EXPECT_EQ(kavo_last_code(), 2);
}
