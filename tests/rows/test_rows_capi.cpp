// The rows as a host sees them: inputs through the exported calls, rows and
// cells read back through the row accessors and the stats document.
#include <string>
#include <vector>

#include "support/fixture.h"

using kavo_test::KavoTest;
using kavo_test::str;

namespace {

using Strings = std::vector<std::string>;

Strings keys() {
  Strings out;
  for (int32_t r = 0; r < kavo_row_count(); ++r) out.push_back(str(kavo_row_key(r)));
  return out;
}

int32_t row_of(const std::string& key) {
  for (int32_t r = 0; r < kavo_row_count(); ++r) {
    if (str(kavo_row_key(r)) == key) return r;
  }
  return -1;
}

Strings titles(const std::string& key) {
  Strings out;
  const int32_t r = row_of(key);
  for (int32_t c = 0; kavo_row_cell_title(r, c) != nullptr || kavo_row_cell_playable(r, c) != 0; ++c) {
    out.push_back(str(kavo_row_cell_title(r, c)));
  }
  return out;
}

std::string stat(const char* name) {
  const std::string stats = kavo_stats_json();
  const std::string key = std::string("\"") + name + "\":";
  const std::size_t at = stats.find(key);
  if (at == std::string::npos) return "<missing>";
  const std::size_t end = stats.find_first_of(",}", at);
  return stats.substr(at + key.size(), end - at - key.size());
}

class RowsCapiTest : public KavoTest {};

}  // namespace

TEST_F(RowsCapiTest, EveryRowInItsPlace) {
  ASSERT_EQ(kavo_load_inputs(R"({
    "server_home": {
      "List": [{"Id": "Trending", "Value": "tt1,tt404"}, {"Id": "MovieNowPlaying", "Value": "tt1"},
               {"Id": "NewToVELORA", "Value": "tt2"}],
      "ExtentList": [{"Id": "Genre_Drama", "Value": "tt1"}],
      "Spotlights": [{"Items": "tt2"}],
      "CollectionPlaylists": [{"Name": "Best of"}],
      "Basics": [{"IMDbId": "tt2", "Title": "Second From Basics"}]
    },
    "items": [
      {"id": "m1", "title": "First", "imdb_id": "tt1", "kind": "movie", "year": 2001, "added_ms": 10,
       "duration_s": 3600, "sources": [{"url": "http://x/1"}]},
      {"id": "m2", "imdb_id": "tt2", "kind": "movie", "year": 2002, "added_ms": 20},
      {"id": "s1", "title": "A Show", "kind": "tv"},
      {"id": "e1", "title": "Pilot", "imdb_id": "tt9", "kind": "episode", "season": 1, "episode": 1},
      {"id": "flagged", "title": "Flagged", "kind": "file", "unmatched": true}
    ],
    "watch": [{"item_id": "m1", "position_s": 900, "updated_ms": 5}],
    "library": [
      {"id": "d1", "title": "Season 2", "kind": "folder"},
      {"id": "f1", "title": "Track", "kind": "file", "is_audio_only": true}
    ],
    "store": {"favourites": [{"token": "m2", "display_name": "Fav"}]}
  })"),
            0)
      << kavo_last_error();
  EXPECT_EQ(keys(), (Strings{"Spotlight", "Genre", "ContinueWatching", "Trending", "MovieNowPlaying",
                             "NewToVELORA", "Collections", "RecentlyAdded", "Movies", "TVShows", "tt9", "Folders",
                             "Favourites", "Unmatched", "Audio"}));
  const int32_t kinds[] = {10, 6, 0, 9, 11, 9, 7, 1, 2, 3, 12, 4, 5, 8, 14};
  for (int32_t r = 0; r < kavo_row_count(); ++r) EXPECT_EQ(kavo_row_kind(r), kinds[r]) << r;
  EXPECT_EQ(str(kavo_row_title(2)), "Continue Watching");
  EXPECT_EQ(str(kavo_row_title(9)), "TV Shows");
  EXPECT_EQ(str(kavo_row_title(10)), "Pilot");
  // The basics completed m2's title before any row was made.
  EXPECT_EQ(titles("Spotlight"), (Strings{"Second From Basics"}));
  EXPECT_EQ(titles("Trending"), (Strings{"First", "tt404"}));
  EXPECT_EQ(titles("ContinueWatching"), (Strings{"First"}));
  EXPECT_EQ(kavo_row_cell_resume_action(2, 0), 1);
  EXPECT_EQ(kavo_row_cell_playable(2, 0), 1);
  EXPECT_EQ(titles("Movies"), (Strings{"Second From Basics"}));  // First is in Continue Watching
  EXPECT_EQ(titles("RecentlyAdded"), (Strings{"Second From Basics", "Second From Basics", "First"}));
  EXPECT_EQ(titles("Collections"), (Strings{"Best of"}));
  EXPECT_EQ(titles("Unmatched"), (Strings{"Track", "Flagged"}));
  EXPECT_EQ(titles("Audio"), (Strings{"Track"}));
  EXPECT_EQ(stat("rows"), "15");
  EXPECT_EQ(stat("items"), "5");
  EXPECT_EQ(stat("watch"), "1");
  EXPECT_EQ(stat("library"), "2");
  EXPECT_EQ(stat("continue_candidates"), "1");
  EXPECT_EQ(stat("unmatched"), "3");
  EXPECT_EQ(stat("basics"), "1");
  EXPECT_EQ(stat("favourites"), "1");
}

TEST_F(RowsCapiTest, RowCapAppliesAtTheNextRebuild) {
  std::string items = "[";
  for (int i = 0; i < 250; ++i) {
    if (i) items += ",";
    items += "{\"id\":\"i" + std::to_string(i) + "\",\"title\":\"T\",\"kind\":\"movie\",\"added_ms\":" +
             std::to_string(1000 + i) + "}";
  }
  items += "]";
  ASSERT_EQ(kavo_add_items(items.c_str()), 0);
  const int32_t ra = row_of("RecentlyAdded");
  ASSERT_GE(ra, 0);
  EXPECT_EQ(kavo_row_cell_count(ra), 250);
  EXPECT_EQ(kavo_row_truncated(ra), 1);
  EXPECT_EQ(titles("RecentlyAdded").size(), 200u);
  EXPECT_EQ(stat("cells"), "400");
  EXPECT_EQ(stat("row_cap"), "200");

  // A new cap changes nothing until something rebuilds.
  ASSERT_EQ(kavo_set_row_cap(10), 0);
  EXPECT_EQ(kavo_row_cell_count(ra), 250);
  EXPECT_EQ(stat("row_cap"), "200");
  ASSERT_EQ(kavo_set_watch(nullptr), 0);
  EXPECT_EQ(titles("RecentlyAdded").size(), 10u);
  EXPECT_EQ(kavo_row_cell_count(row_of("RecentlyAdded")), 250);
  EXPECT_EQ(stat("row_cap"), "10");
  EXPECT_EQ(stat("cells"), "20");

  // Queries out of range.
  EXPECT_EQ(kavo_row_kind(-1), -1);
  EXPECT_EQ(kavo_row_kind(kavo_row_count()), -1);
  EXPECT_EQ(kavo_row_key(kavo_row_count()), nullptr);
  EXPECT_EQ(kavo_row_cell_count(-1), 0);
  EXPECT_EQ(kavo_row_cell_title(0, 10), nullptr);
}

TEST_F(RowsCapiTest, WatchProgressDrivesResumeAndNextEpisode) {
  ASSERT_EQ(kavo_add_items(R"([
    {"id": "s1e1", "imdb_id": "tt5", "kind": "episode", "season": 1, "episode": 1, "duration_s": 3600,
     "sources": [{"url": "http://a/1"}]},
    {"id": "s1e2", "imdb_id": "tt5", "kind": "episode", "season": 1, "episode": 2,
     "sources": [{"url": "http://b/2"}]},
    {"id": "s1e2b", "imdb_id": "tt5", "kind": "episode", "season": 1, "episode": 2,
     "sources": [{"url": "http://a/1"}]}
  ])"),
            0);
  EXPECT_EQ(str(kavo_item_next_id(0)), "s1e2b");
  EXPECT_EQ(kavo_item_next_id(1), nullptr);
  // Server progress by IMDb id, season and episode beats the player's own.
  ASSERT_EQ(kavo_set_watch(R"([
    {"imdb_id": "tt5", "season": 1, "episode": 1, "fraction": 0.5, "updated_ms": 1, "source": "sync"},
    {"item_id": "s1e1", "position_s": 3598, "updated_ms": 9, "source": "local_store"}
  ])"),
            0);
  EXPECT_EQ(kavo_item_resume_action(0), 1);
  ASSERT_EQ(kavo_set_watch(R"([
    {"item_id": "s1e1", "position_s": 3598, "updated_ms": 9, "source": "local_store"}
  ])"),
            0);
  EXPECT_EQ(kavo_item_resume_action(0), 2);
  // Finished items stay in Continue Watching when playable.
  EXPECT_EQ(row_of("ContinueWatching"), 0);
  EXPECT_EQ(kavo_row_cell_resume_action(0, 0), 2);
}
