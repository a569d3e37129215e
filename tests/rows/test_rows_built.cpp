// The rows a rebuild makes from the catalogue, the library, the store and the
// server home, with the steps that complete the items before them.
#include <cmath>

#include "rows_support.h"

using namespace rows_test;

TEST_F(RowsTest, StatsOfAnEmptyModel) {
  rebuild_after_input();
  EXPECT_EQ(n_rows(), 0);
  EXPECT_STREQ(kavo_stats_json(),
               "{\"items\":0,\"watch\":0,\"library\":0,\"rows\":0,\"cells\":0,\"rejected\":0,"
               "\"continue_candidates\":0,\"unmatched\":0,\"basics\":0,\"favourites\":0,\"row_cap\":200}");
}

TEST_F(RowsTest, BasicsFillOnlyWhatIsMissingAndStayFilled) {
  const int32_t a = add_item("a", kUnknownKind);
  set_text(item(a).imdb_id, "tt1");
  set_text(item(a).plot, "own plot");
  item(a).rating = -1.0;
  const int32_t b = add_item("b", kUnknownKind);
  set_text(item(b).imdb_id, "tt2");
  item(b).year = 1999;
  item(b).genres.push_back(xstrdup("Own"));
  const int32_t c = add_item("c", kUnknownKind);
  set_text(item(c).imdb_id, "tt3");

  BasicRec b1;
  set_text(b1.imdb_id, "tt1");
  set_text(b1.title, "Basic Title");
  set_text(b1.poster_url, "p");
  set_text(b1.backdrop_url, "bd");
  set_text(b1.plot, "basic plot");
  b1.year = 2001;
  b1.runtime_min = 90;
  b1.rating = 7.5;
  b1.is_tv = 1;
  b1.genres.push_back(xstrdup("Drama"));
  b1.genres.push_back(xstrdup("War"));
  BasicRec b2;
  set_text(b2.imdb_id, "tt2");
  b2.year = 2005;
  b2.is_tv = 0;
  b2.genres.push_back(xstrdup("Basic"));
  BasicRec b3;
  set_text(b3.imdb_id, "tt3");
  b3.is_tv = 7;
  b3.rating = std::nan("");
  s_basics.push_back(std::move(b1));
  s_basics.push_back(std::move(b2));
  s_basics.push_back(std::move(b3));
  s_basic_imdb.put("tt1", 0, false);
  s_basic_imdb.put("tt2", 1, false);
  s_basic_imdb.put("tt3", 2, false);
  rebuild_after_input();

  EXPECT_STREQ(item(a).title.get(), "Basic Title");
  EXPECT_STREQ(item(a).poster_url.get(), "p");
  EXPECT_STREQ(item(a).backdrop_url.get(), "bd");
  EXPECT_STREQ(item(a).plot.get(), "own plot");
  EXPECT_EQ(item(a).year, 2001);
  EXPECT_EQ(item(a).runtime_min, 90);
  EXPECT_EQ(item(a).rating, 7.5);
  ASSERT_EQ(std::ssize(genres_of(item(a))), 2);
  EXPECT_STREQ(genres_of(item(a))[1].get(), "War");
  EXPECT_EQ(item(a).kind, kShow);
  EXPECT_EQ(item(b).year, 1999);
  ASSERT_EQ(std::ssize(genres_of(item(b))), 1);
  EXPECT_STREQ(genres_of(item(b))[0].get(), "Own");
  EXPECT_EQ(item(b).kind, kMovie);
  EXPECT_EQ(item(c).kind, kUnknownKind);  // a TV flag other than 0 or 1
  EXPECT_EQ(item(c).rating, -1.0);        // NaN does not replace

  // The basics go away; what they filled in stays.
  s_basics.clear();
  s_basic_imdb.release();
  rebuild_after_input();
  EXPECT_STREQ(item(a).title.get(), "Basic Title");
  EXPECT_EQ(item(a).kind, kShow);
}

TEST_F(RowsTest, EpisodesOfAShowTakeTheBasicsTheyLackNotEachOthersOwn) {
  // The first episode has texts and genres of its own; those after it lack
  // them, and each takes the basic's, never the first episode's.
  const int32_t first = add_item("e1", kEpisode);
  set_text(item(first).imdb_id, "tt9");
  set_text(item(first).plot, "own plot");
  item(first).genres.push_back(xstrdup("Own"));
  std::vector<int32_t> later;
  for (const char* id : {"e2", "e3", "e4"}) {
    later.push_back(add_item(id, kEpisode));
    set_text(item(later.back()).imdb_id, "tt9");
  }
  set_text(item(later[1]).backdrop_url, "own backdrop");
  BasicRec b;
  set_text(b.imdb_id, "tt9");
  set_text(b.plot, "basic plot");
  set_text(b.backdrop_url, "basic backdrop");
  b.genres.push_back(xstrdup("Drama"));
  b.genres.push_back(xstrdup("War"));
  s_basics.push_back(std::move(b));
  s_basic_imdb.put("tt9", 0, false);
  rebuild_after_input();

  EXPECT_STREQ(item(first).plot.get(), "own plot");
  ASSERT_EQ(std::ssize(genres_of(item(first))), 1);
  EXPECT_STREQ(genres_of(item(first))[0].get(), "Own");
  EXPECT_STREQ(item(first).backdrop_url.get(), "basic backdrop");
  for (int32_t e : later) {
    SCOPED_TRACE(e);
    EXPECT_STREQ(item(e).plot.get(), "basic plot");
    ASSERT_EQ(std::ssize(genres_of(item(e))), 2);
    EXPECT_STREQ(genres_of(item(e))[0].get(), "Drama");
    EXPECT_STREQ(genres_of(item(e))[1].get(), "War");
  }
  // One list of copies serves every episode that takes the basic's genres.
  EXPECT_EQ(s_model.catalogue.genre_runs.size(), 1u);
  EXPECT_STREQ(item(later[0]).backdrop_url.get(), "basic backdrop");
  EXPECT_STREQ(item(later[1]).backdrop_url.get(), "own backdrop");
  EXPECT_STREQ(item(later[2]).backdrop_url.get(), "basic backdrop");

  // The texts taken stay when the basics go and the catalogue grows.
  s_basics.clear();
  s_basic_imdb.release();
  const int32_t grown = add_item("e5", kEpisode);
  set_text(item(grown).imdb_id, "tt9");
  rebuild_after_input();
  EXPECT_STREQ(item(later[2]).plot.get(), "basic plot");
  EXPECT_STREQ(genres_of(item(later[2]))[1].get(), "War");
  EXPECT_FALSE(item(grown).plot);
}

TEST_F(RowsTest, LibraryLinkByIdThenFirstPath) {
  const int32_t a = add_item("a", kMovie, nullptr);
  set_text(item(a).path, "/m/a.mkv");
  const int32_t b = add_item("b", kMovie, "B");
  set_text(item(b).path, "/m/b.mkv");
  set_text(item(b).poster_url, "own");
  const int32_t b2 = add_item("b2", kMovie, "B2");
  set_text(item(b2).path, "/m/b.mkv");
  item(b).added_ms = -1;

  const int32_t l0 = add_lib("a", kFile, "Lib A", "/elsewhere");  // by id
  set_text(s_lib[0].poster_url, "lib poster");
  s_lib[0].added_ms = 1234;
  const int32_t l1 = add_lib("zz", kFile, "Lib B", "/m/b.mkv");    // by path: the first item
  set_text(s_lib[1].poster_url, "lib poster b");
  s_lib[1].added_ms = 99;
  const int32_t l2 = add_lib("yy", kFile, "Nowhere", "/M/B.MKV");  // paths are exact
  const int32_t l3 = add_lib(nullptr, kFolder, "Dir", nullptr);
  s_lib[static_cast<std::size_t>(l0)].unmatched = 1;  // recomputed
  refile_item_lists();  // the records were filled here, not by the item loader
  rebuild_after_input();
  EXPECT_EQ(s_lib[static_cast<std::size_t>(l0)].catalogue_index, a);
  EXPECT_EQ(s_lib[static_cast<std::size_t>(l0)].unmatched, 0);
  EXPECT_EQ(s_lib[static_cast<std::size_t>(l1)].catalogue_index, b);
  EXPECT_EQ(s_lib[static_cast<std::size_t>(l2)].catalogue_index, -1);
  EXPECT_EQ(s_lib[static_cast<std::size_t>(l2)].unmatched, 1);
  EXPECT_EQ(s_lib[static_cast<std::size_t>(l3)].catalogue_index, -1);
  // The item takes what it lacks from the entry.
  EXPECT_STREQ(item(a).title.get(), "Lib A");
  EXPECT_STREQ(item(a).poster_url.get(), "lib poster");
  EXPECT_EQ(item(a).added_ms, 1234);
  EXPECT_STREQ(item(b).title.get(), "B");
  EXPECT_STREQ(item(b).poster_url.get(), "own");
  EXPECT_EQ(item(b).added_ms, 99);
  EXPECT_EQ(item(b2).added_ms, -1);
  // Two unlinked entries; the matched ones do not count.
  EXPECT_NE(std::string(kavo_stats_json()).find("\"unmatched\":2,"), std::string::npos);
}

TEST_F(RowsTest, ContinueWatchingOrderMembershipAndPlace) {
  const int32_t a = watched("a", 100), b = watched("b", 300), c = watched("c", 200);
  const int32_t undated = watched("undated", -1);
  const int32_t fin = watched("fin", 50);
  s_watch.back().finished = 1;
  const int32_t unplayable = watched("unplayable", 400);
  item(unplayable).playable = 0;
  const int32_t fresh = watched("fresh", 500);
  s_watch.back().position_s = 2;  // starts over: not in the row
  rebuild_after_input();
  ASSERT_GE(n_rows(), 1);
  EXPECT_EQ(s_rows[0].kind, kContinueWatching);  // no server home: first row
  EXPECT_STREQ(s_rows[0].key.get(), "ContinueWatching");
  EXPECT_STREQ(s_rows[0].title.get(), "Continue Watching");
  EXPECT_EQ(cell_labels(0), (Strings{"b", "c", "a", "fin", "undated"}));
  (void)a, (void)b, (void)c, (void)undated, (void)fin, (void)fresh;
  // Movies leave out what Continue Watching shows.
  EXPECT_EQ(cells_of("Movies"), (Strings{"fresh", "unplayable"}));

  // With only a spotlight before it, Continue Watching is the second row.
  set_home("{\"Spotlights\":[{}]}");
  rebuild_after_input();
  EXPECT_EQ(row_keys()[0], "Spotlight");
  EXPECT_EQ(row_keys()[1], "ContinueWatching");
}

TEST_F(RowsTest, ContinueWatchingUnderTheCap) {
  for (int i = 0; i < 250; ++i) watched(numbered("m", i).c_str(), 1000 + i);
  rebuild_after_input();
  const int32_t cw = find_row("ContinueWatching");
  ASSERT_EQ(cw, 0);
  EXPECT_EQ(s_rows[0].emitted, 200);
  EXPECT_EQ(s_rows[0].cell_count, 250);
  EXPECT_EQ(s_rows[0].truncated, 1);
  EXPECT_EQ(cell_labels(0).front(), "m249");
  // The 50 refused by the cap are movies not shown there, so Movies has them.
  const Strings movies = cells_of("Movies");
  ASSERT_EQ(movies.size(), 50u);
  EXPECT_EQ(movies.front(), "m0");
  const std::string stats = kavo_stats_json();
  EXPECT_NE(stats.find("\"continue_candidates\":250,"), std::string::npos) << stats;
  EXPECT_NE(stats.find("\"cells\":250,"), std::string::npos) << stats;
}

TEST_F(RowsTest, RecentlyAddedMixesServerListsItemsAndLibrary) {
  const int32_t five = add_item("five", kMovie, "Five");
  item(five).added_ms = 5;
  const int32_t nine = add_item("nine", kMovie, "Nine");
  item(nine).added_ms = 9;
  set_text(item(nine).imdb_id, "tt9");
  add_item("undated", kMovie, "Undated");
  const int32_t lib = add_lib("l1", kFile, "Loose file");
  s_lib[static_cast<std::size_t>(lib)].added_ms = 7;
  add_lib("l2", kFile, "Undated file");
  set_home(
      "{\"List\":[{\"Id\":\"newtovelora\",\"Value\":\"ttX, tt9\"},{\"Id\":\"NewToVELORA\",\"Value\":\"\"},"
      "{\"Id\":\"Other\",\"Value\":\"tt9\"}],"
      "\"Level30s\":[{\"IMDbID\":\"tt404\",\"FileName\":\"Some.File.mkv\"},{\"imdbid\":\"tt9\"},"
      "{\"IMDbId\":\"ttY\"},{\"IMDbID\":5},7]}");
  rebuild_after_input();
  EXPECT_EQ(cells_of("RecentlyAdded"), (Strings{"nine", "nine", "nine", "raw:Loose file", "five", "raw:ttX",
                                                "raw:Some.File.mkv", "raw:ttY"}));
  const Row& ra = s_rows[static_cast<std::size_t>(find_row("RecentlyAdded"))];
  EXPECT_STREQ(ra.cells[5].server_key.get(), "NewToVELORA");
  EXPECT_STREQ(ra.cells[6].server_key.get(), "tt404");
  EXPECT_STREQ(ra.cells[3].server_key.get(), "l1");
  // The list named newtovelora also has its own server row.
  EXPECT_EQ(cells_of("newtovelora"), (Strings{"raw:ttX", "nine"}));
}

TEST_F(RowsTest, MoviesShowsAndPerShowRows) {
  auto titled = [](const char* id, int32_t kind, int32_t year) {
    const int32_t i = add_item(id, kind, id);
    item(i).year = year;
    return i;
  };
  titled("b", kMovie, 2019);
  titled("A", kMovie, 2019);
  titled("z", kMovie, 2021);
  titled("m", kMovie, -1);
  titled("Show", kShow, 2000);
  const int32_t odd = titled("ShowWithEpisode", kShow, 2001);
  item(odd).episode = 3;
  auto ep = [](const char* id, const char* imdb, int32_t kind, int32_t s, int32_t e, const char* title) {
    const int32_t i = add_item(id, kind, title);
    set_text(item(i).imdb_id, imdb);
    item(i).season = s;
    item(i).episode = e;
    return i;
  };
  ep("x21", "ttX", kEpisode, 2, 1, nullptr);  // first of its show, untitled: key as title
  ep("y11", "ttY", kEpisode, 1, 1, "Y Show");
  ep("x12", "ttX", kEpisode, 1, 2, "x12");
  ep("x11", "ttX", kFile, 1, 1, "x11");        // a file with an episode counts
  ep("xm5", "ttX", kEpisode, -1, 5, "xm5");
  ep("xf", "ttX", kFile, 1, 0, "not an episode");
  ep("noimdb", nullptr, kEpisode, 1, 1, "lost");
  rebuild_after_input();
  EXPECT_EQ(cells_of("Movies"), (Strings{"z", "A", "b", "m"}));
  EXPECT_EQ(cells_of("TVShows"), (Strings{"Show"}));
  EXPECT_EQ(row_keys(), (Strings{"Movies", "TVShows", "ttX", "ttY"}));
  EXPECT_STREQ(s_rows[2].title.get(), "ttX");
  EXPECT_STREQ(s_rows[3].title.get(), "Y Show");
  EXPECT_EQ(s_rows[2].kind, kShowRow);
  EXPECT_EQ(cells_of("ttX"), (Strings{"xm5", "x11", "x12", "x21"}));
  EXPECT_EQ(cells_of("ttY"), (Strings{"y11"}));
}

TEST_F(RowsTest, FoldersFavouritesUnmatchedAudio) {
  const int32_t known = add_item("known", kMovie, "Known");
  item(known).added_ms = 31;
  const int32_t flagged = add_item("flagged", kMovie, "Flagged");
  item(flagged).unmatched = 1;
  add_lib("d10", kFolder, "Season 10");
  add_lib("d9", kFolder, "season 9");
  add_lib("known", kFolder, "Extras");  // linked folders are still folders
  const int32_t song = add_lib("song", kFile, "Song");
  s_lib[static_cast<std::size_t>(song)].is_audio_only = 1;
  add_lib("clip", kFile, "Clip");
  const int32_t linked_song = add_lib("known", kFile, "Linked song");
  s_lib[static_cast<std::size_t>(linked_song)].is_audio_only = 1;
  const int32_t odd_audio = add_lib("odd", kUnknownKind, "Odd audio");
  s_lib[static_cast<std::size_t>(odd_audio)].is_audio_only = 1;

  FavRec f1;
  set_text(f1.token, "known");
  set_text(f1.display_name, "Whatever");
  FavRec f2;
  set_text(f2.token, "gone");
  set_text(f2.display_name, "Old");
  s_favs.push_back(std::move(f1));
  s_favs.push_back(std::move(f2));
  refile_item_lists();  // the records were filled here, not by the item loader
  rebuild_after_input();

  EXPECT_EQ(cells_of("Folders"), (Strings{"raw:Extras", "raw:season 9", "raw:Season 10"}));
  EXPECT_EQ(cells_of("Favourites"), (Strings{"known", "raw:Old"}));
  const Row& fav = s_rows[static_cast<std::size_t>(find_row("Favourites"))];
  EXPECT_EQ(fav.cells[0].added_ms, 31);
  EXPECT_STREQ(fav.cells[1].server_key.get(), "gone");
  EXPECT_EQ(fav.cells[1].added_ms, -1);
  EXPECT_EQ(cells_of("Unmatched"), (Strings{"raw:Song", "raw:Clip", "raw:Odd audio", "flagged"}));
  EXPECT_EQ(cells_of("Audio"), (Strings{"raw:Song"}));
  const Strings keys = row_keys();
  EXPECT_EQ(Strings(keys.end() - 4, keys.end()), (Strings{"Folders", "Favourites", "Unmatched", "Audio"}));

  // Favourites with unknown tokens only still make their row; none, no row.
  s_favs.erase(s_favs.begin());
  rebuild_after_input();
  EXPECT_EQ(cells_of("Favourites"), (Strings{"raw:Old"}));
  s_favs.clear();
  rebuild_after_input();
  EXPECT_EQ(find_row("Favourites"), -1);
}

TEST_F(RowsTest, ServerRowsAndTheirPlaces) {
  const int32_t t1 = add_item("one", kMovie, "One");
  set_text(item(t1).imdb_id, "tt1");
  item(t1).added_ms = 10;
  const int32_t t2 = add_item("two", kMovie, "Two");
  set_text(item(t2).imdb_id, "tt2");
  item(t2).added_ms = 20;
  watched("w", 1);
  set_home(
      "{\"CollectionPlaylists\":[{\"Name\":5},{\"name\":\"Mine\"},{\"Name\":\"Big\",\"name\":\"small\"},3],"
      "\"Spotlights\":[{\"Items\":\"tt2, ttS\"},{\"Items\":7},{\"Items\":\"tt1\"}],"
      "\"ExtentList\":[{\"Id\":\"Genre_Drama\",\"Value\":\"tt1,ttD\"},{\"Id\":\"genre_x\",\"Value\":\"tt1\"},"
      "{\"Id\":\"Genre_Comedy\",\"Value\":\"ttC\"},{\"Id\":\"Flag\",\"Value\":\"1\"}],"
      "\"List\":[{\"Id\":\"A\",\"Value\":\"tt1\"},{\"Id\":\"MYWATCHED\",\"Value\":\"tt1\"},"
      "{\"Id\":\"HighSpeedServer\",\"Value\":\"tt1\"},{\"Id\":\"Empty\",\"Value\":\"\"},"
      "{\"Id\":\"movienowplaying\",\"Value\":\"ttN,tt1,tt2,tt1\"},{\"Id\":\"B\",\"Value\":\",,\"},"
      "{\"Id\":\"A\",\"Value\":\"tt2\"},{\"Id\":5,\"Value\":\"tt1\"},\"x\"]}");
  rebuild_after_input();
  const Strings keys = row_keys();
  ASSERT_GE(keys.size(), 8u);
  EXPECT_EQ(Strings(keys.begin(), keys.begin() + 8),
            (Strings{"Spotlight", "Genre", "ContinueWatching", "A", "MovieNowPlaying", "B", "A", "Collections"}));
  EXPECT_EQ(s_rows[4].kind, kNowPlaying);
  EXPECT_EQ(s_rows[3].kind, kServerList);
  EXPECT_EQ(cell_labels(0), (Strings{"two", "raw:ttS", "one"}));
  EXPECT_STREQ(s_rows[0].cells[1].server_key.get(), "ttS");
  EXPECT_EQ(cell_labels(1), (Strings{"one", "raw:ttD", "raw:ttC"}));
  EXPECT_STREQ(s_rows[1].cells[1].server_key.get(), "Drama");
  EXPECT_STREQ(s_rows[1].cells[2].server_key.get(), "Comedy");
  EXPECT_EQ(cell_labels(4), (Strings{"two", "one", "one", "raw:ttN"}));
  EXPECT_STREQ(s_rows[4].cells[3].server_key.get(), "movienowplaying");
  EXPECT_TRUE(s_rows[5].cells.empty());  // a value of commas only still makes its row
  EXPECT_EQ(cell_labels(6), (Strings{"two"}));
  EXPECT_EQ(cell_labels(7), (Strings{"raw:Collection", "raw:Mine", "raw:Big"}));
  EXPECT_FALSE(s_rows[7].cells[0].server_key);

  // Now Playing goes behind the first two list rows that precede it.
  set_home("{\"List\":[{\"Id\":\"A\",\"Value\":\"x\"},{\"Id\":\"B\",\"Value\":\"x\"},"
           "{\"Id\":\"MovieNowPlaying\",\"Value\":\"x\"},{\"Id\":\"C\",\"Value\":\"x\"}]}");
  s_watch.clear();
  rebuild_after_input();
  const Strings list_keys = row_keys();
  EXPECT_EQ(Strings(list_keys.begin(), list_keys.begin() + 4), (Strings{"A", "B", "MovieNowPlaying", "C"}));

  // An empty spotlight list makes no row; a list of one entry without items
  // makes an empty one.
  set_home("{\"Spotlights\":[],\"CollectionPlaylists\":[]}");
  rebuild_after_input();
  EXPECT_EQ(find_row("Spotlight"), -1);
  EXPECT_EQ(find_row("Collections"), -1);
  set_home("{\"Spotlights\":[{\"Other\":1}]}");
  rebuild_after_input();
  EXPECT_EQ(find_row("Spotlight"), 0);
}

TEST_F(RowsTest, AFullRowTableRefusesLaterRowsAndTheirCells) {
  const int32_t one = add_item("one", kMovie, "One");
  set_text(item(one).imdb_id, "tt1");
  item(one).added_ms = 1;
  watched("w", 5);
  add_lib("d", kFolder, "Dir");
  std::string home = "{\"List\":[";
  for (int i = 0; i < kMaxRows + 5; ++i) {
    if (i) home += ",";
    home += "{\"Id\":\"L" + std::to_string(i) + "\",\"Value\":\"tt1\"}";
  }
  home += "],\"ExtentList\":[{\"Id\":\"Genre_A\",\"Value\":\"tt1\"}],\"Spotlights\":[{\"Items\":\"tt1\"}],"
          "\"CollectionPlaylists\":[{\"Name\":\"C\"}]}";
  set_home(home.c_str());
  rebuild_after_input();
  ASSERT_EQ(n_rows(), kMaxRows);
  for (const Row& r : s_rows) {
    ASSERT_EQ(r.kind, kServerList);
    ASSERT_EQ(r.cell_count, 1);
  }
  EXPECT_STREQ(s_rows.back().key.get(), "L1999");
  EXPECT_NE(std::string(kavo_stats_json()).find("\"rows\":2000,\"cells\":2000,"), std::string::npos);
}
