// Whole scenarios through the C interface, with every expected text worked
// out by hand from the input rules rather than taken from the code.
#include <string>

#include "support/fixture.h"

using kavo_test::KavoTest;
using kavo_test::str;

namespace {

const char* kOneMovie = R"([{"id":"m1","title":"Alpha","kind":"movie","year":2001,"imdb_id":"tt1",
  "runtime":90,"genres":["Drama",5],
  "sources":[{"key":"s1","url":"http://a","width":1920,"height":1080,"size":10000000000,
              "hevc":true,"content_source":3,"active":true}]}])";

const char* kShowAndMovies = R"([
  {"id":"m1","title":"Alpha","kind":"movie","year":2001,"duration_s":3600,"sources":[{"url":"http://m1"}]},
  {"id":"m2","title":"beta","kind":"movie","year":2001},
  {"id":"e1","title":"Show One","kind":"episode","imdb_id":"tt9","season":1,"episode":1,
   "duration_s":1000,"sources":[{"url":"u1"}]},
  {"id":"e2","title":"Show Two","kind":"episode","imdb_id":"tt9","season":1,"episode":2,
   "sources":[{"url":"u2"}]}
])";

const char* kProgress = R"([
  {"id":"m1","fraction":0.5,"updated_ms":100},
  {"imdb_id":"tt9","season":1,"episode":1,"position":998,"updated_ms":200,"source":"local_store"}
])";

}  // namespace

class ScenarioTest : public KavoTest {};

TEST_F(ScenarioTest, ItemDocumentOfALoadedMovie) {
  ASSERT_EQ(kavo_add_items(kOneMovie), 0);
  EXPECT_EQ(str(kavo_item_json(0)),
            R"({"id":"m1","kind":0,"title":"Alpha","year":2001,"imdb_id":"tt1","poster_url":null,)"
            R"("backdrop_url":null,"plot":null,"runtime_min":90,"rating":null,"season":null,)"
            R"("episode":null,"air_date":null,"size":null,"duration_s":null,"mtime_ms":null,)"
            R"("added_ms":null,"path":null,"folder":null,"backend_id":null,"server_key":null,)"
            R"("library":5,"matched":null,"unmatched":0,"playable":1,"source_count":1,)"
            R"("resume_action":0,"resume_position_s":0.0,"progress_fraction":0.0,"finished":0,)"
            R"("resume_clamped":0,"is_audio_only":0,"is_cue_track":0,"next_item_id":null,)"
            R"("genres":["Drama","5"],"sources":[{"key":"s1","uri":null,"url":"http://a",)"
            R"("quality":null,"codec":null,"extension":null,"hdr":null,"hevc":1,"dolby":null,)"
            R"("audio_channels":null,"width":1920,"height":1080,"size":10000000000,"active":1,)"
            R"("content_source":3,"subtitle_count":null,"subtitle_languages":null,"rank":1497806}]})");
}

TEST_F(ScenarioTest, ProgressShapesRowsCellsAndStats) {
  ASSERT_EQ(kavo_add_items(kShowAndMovies), 0);
  ASSERT_EQ(kavo_set_watch(kProgress), 0);

  ASSERT_EQ(kavo_row_count(), 3);
  EXPECT_EQ(str(kavo_row_key(0)), "ContinueWatching");
  EXPECT_EQ(str(kavo_row_key(1)), "Movies");
  EXPECT_EQ(str(kavo_row_key(2)), "tt9");
  EXPECT_EQ(str(kavo_row_title(2)), "Show One");

  // The episode is finished (2 s left), the movie resumes half way; the more
  // recent progress comes first.
  EXPECT_EQ(str(kavo_row_cell_json(0, 0)),
            R"({"item_id":"e1","imdb_id":"tt9","title":"Show One","year":null,"kind":2,)"
            R"("poster_url":null,"backdrop_url":null,"season":1,"episode":1,"playable":1,)"
            R"("source_count":1,"resume_action":2,"resume_position_s":0.0,"progress_fraction":0.0,)"
            R"("finished":1,"next_item_id":"e2","library":5,"added_ms":null,"resolved":1,)"
            R"("server_key":null})");
  EXPECT_EQ(kavo_row_cell_resume_action(0, 1), 1);
  EXPECT_EQ(str(kavo_row_cell_title(1, 0)), "beta");  // m1 sits in Continue Watching
  EXPECT_EQ(kavo_row_cell_count(1), 1);

  EXPECT_EQ(str(kavo_stats_json()),
            R"({"items":4,"watch":2,"library":0,"rows":3,"cells":5,"rejected":0,)"
            R"("continue_candidates":2,"unmatched":0,"basics":0,"favourites":0,"row_cap":200})");

  ASSERT_EQ(kavo_select_item("e1"), 0);
  const std::string detail = str(kavo_detail_json());
  EXPECT_NE(detail.find(R"("resume":{"action":2,"action_name":"finished","position_s":0.0,)"
                        R"("fraction":0.0,"clamped":0,"remember_last_position":1,)"
                        R"("remember_audio":0,"base_duration_s":1000.0,"watch":{)"
                        R"("source":"local_store","key":null,"updated_ms":200,)"
                        R"("position_s":998.0,"fraction":null}},)"
                        R"("next":{"item_id":"e2","imdb_id":"tt9","title":"Show Two",)"
                        R"("season":1,"episode":2,"playable":1},)"
                        R"("autoplay":{"configured":0,"events":[]}})"),
            std::string::npos)
      << detail;
  const std::string result = str(kavo_result_json());
  EXPECT_NE(result.find(R"("item":{"id":"e1",)"), std::string::npos);
  EXPECT_NE(result.find(R"("stats":{"items":4,"watch":2,"library":0,"rows":3,"cells":5,)"
                        R"("rejected":0,"continue_candidates":2,"unmatched":0}})"),
            std::string::npos)
      << result;
}

namespace {

const char* kEverything = R"({
  "server_home": {
    "Basics": [{"IMDbId":"tt5","Title":"Basic Title","Year":1999,"IsTVShow":false,
                "Ratings":{"Internet Movie Database":7.5},"Genres":["Sci"]}],
    "Continues": [{"IMDbId":"tt5","Value":0.25,"Duration":"01:00:00",
                   "UpdatedAt":"2024-01-15T10:20:30Z"}],
    "List": [{"Id":"Trending","Value":"tt5, ttX"},{"Id":"MovieNowPlaying","Value":"tt5"},
             {"Id":"MyWatchlist","Value":"tt5,tt6"},{"Id":"HighSpeedServer","Value":"tt1"},
             {"Id":"NewToVELORA","Value":"tt5"}],
    "ExtentList": [{"Id":"Genre_Drama","Value":"tt5"},{"Id":"FeatureFlags_X","Value":"on"}],
    "Spotlights": [{"Items":"tt5,ttZ"}],
    "CollectionPlaylists": [{"Name":"Best"}],
    "Level30s": [{"IMDbID":"ttL","FileName":"level.mkv"}]
  },
  "items": [{"id":"b1","imdb_id":"tt5","sources":[{"url":"x"}],"added_ms":50}],
  "watch": [],
  "library": [{"id":"lib1","kind":"folder","title":"Season 2"},
              {"id":"lib2","kind":"file","title":"song.mp3","is_audio_only":true,"added_ms":10}],
  "store": {"favourites":[{"token":"b1"},{"token":"zz","display_name":"Old"}]}
})";

}  // namespace

TEST_F(ScenarioTest, EveryInputInOneCall) {
  ASSERT_EQ(kavo_load_inputs(kEverything), 0) << kavo_last_error();

  const char* keys[] = {"Spotlight", "Genre", "ContinueWatching", "Trending", "MovieNowPlaying",
                        "MyWatchlist", "NewToVELORA", "Collections", "RecentlyAdded", "Folders",
                        "Favourites", "Unmatched", "Audio"};
  ASSERT_EQ(kavo_row_count(), 13);
  for (int i = 0; i < 13; ++i) EXPECT_EQ(str(kavo_row_key(i)), keys[i]) << i;

  // The basics completed the item and made it a movie; the server's progress
  // (a quarter of an hour-long title) makes it resume at 900 s.
  EXPECT_EQ(str(kavo_item_title(0)), "Basic Title");
  EXPECT_EQ(kavo_item_kind(0), 0);
  EXPECT_EQ(kavo_item_resume_action(0), 1);
  ASSERT_EQ(kavo_select_item("b1"), 0);
  EXPECT_DOUBLE_EQ(kavo_detail_resume_position_s(), 900.0);
  EXPECT_DOUBLE_EQ(kavo_detail_progress_fraction(), 0.25);

  // Recently Added: the two dated b1 cells, the library file, the raw level entry.
  ASSERT_EQ(kavo_row_cell_count(8), 4);
  EXPECT_EQ(str(kavo_row_cell_title(8, 0)), "Basic Title");
  EXPECT_EQ(str(kavo_row_cell_title(8, 1)), "Basic Title");
  EXPECT_EQ(str(kavo_row_cell_title(8, 2)), "song.mp3");
  EXPECT_EQ(str(kavo_row_cell_title(8, 3)), "level.mkv");
  EXPECT_EQ(str(kavo_row_cell_title(10, 1)), "Old");

  EXPECT_EQ(str(kavo_stats_json()),
            R"({"items":1,"watch":1,"library":2,"rows":13,"cells":20,"rejected":0,)"
            R"("continue_candidates":1,"unmatched":2,"basics":1,"favourites":2,"row_cap":200})");
  EXPECT_EQ(str(kavo_server_flags_json()),
            R"({"high_speed_ids":["tt1"],"velora_plus_ids":["tt5"],"chromecast_ids":[],)"
            R"("level30_ids":["ttL"],"feature_flags":{"X":"on"}})");
  EXPECT_EQ(str(kavo_watchlist_json()), R"({"key":"tt5,tt6","ids":["tt5","tt6"]})");
  EXPECT_EQ(str(kavo_browse_history_json()), R"({"key":"","ids":[]})");

  // Loading the same object again gives the same model and documents.
  const std::string first = str(kavo_result_json());
  ASSERT_EQ(kavo_load_inputs(kEverything), 0);
  EXPECT_EQ(kavo_selected_index(), -1);
  ASSERT_EQ(kavo_select_item("b1"), 0);
  EXPECT_EQ(str(kavo_result_json()), first);
}

TEST_F(ScenarioTest, RefreshingTheServerHomeDoesNotPileUpProgress) {
  const char* home = R"({"Continues":[{"IMDbId":"tt5","Value":0.5}]})";
  ASSERT_EQ(kavo_set_watch(R"([{"id":"a","position":30}])"), 0);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(kavo_set_server_home(home), 0);
  EXPECT_NE(str(kavo_stats_json()).find(R"("watch":2,)"), std::string::npos) << kavo_stats_json();
  EXPECT_EQ(kavo_set_server_home("[]"), 1);  // a failed load keeps the entries
  EXPECT_NE(str(kavo_stats_json()).find(R"("watch":2,)"), std::string::npos);
  ASSERT_EQ(kavo_set_server_home("{}"), 0);  // a home without progress drops them
  EXPECT_NE(str(kavo_stats_json()).find(R"("watch":1,)"), std::string::npos);
}
