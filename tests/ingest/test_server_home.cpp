// The server home document: loading, basics and server progress entries.
#include <string>

#include "frame/model.h"
#include "ingest/ingest.h"
#include "support/fixture.h"

using kavo_test::KavoTest;
using kavo_test::str;

namespace {

class ServerHomeTest : public KavoTest {
 protected:
  static const kavo::WatchRec& at(int i) { return kavo::s_watch.at(static_cast<std::size_t>(i)); }
  static const kavo::BasicRec& basic(int i) {
    return kavo::s_basics.at(static_cast<std::size_t>(i));
  }
  static int32_t basic_index(const char* imdb) {
    int32_t value = -1;
    return kavo::s_basic_imdb.get(imdb, &value) == 0 ? value : -1;
  }
  static std::string continues(const std::string& entries) {
    return R"({"Continues":[)" + entries + "]}";
  }
};

TEST_F(ServerHomeTest, LoadFailuresKeepTheHeldDocument) {
  EXPECT_EQ(kavo_set_server_home(nullptr), 2);
  EXPECT_EQ(kavo::s_have_home, 0);
  ASSERT_EQ(kavo_set_server_home(R"({"Basics":[{"imdb":"tt1"}]})"), 0);
  EXPECT_EQ(kavo::s_have_home, 1);
  EXPECT_EQ(kavo::n_basics(), 1);
  EXPECT_EQ(kavo::n_watch(), 0);
  const yyjson_doc* held = kavo::s_home_doc.get();

  EXPECT_EQ(kavo_set_server_home(nullptr), 2);
  EXPECT_STREQ(kavo_last_error(), "null json");
  EXPECT_EQ(kavo_last_code(), 2);
  EXPECT_EQ(kavo_set_server_home("[]"), 1);
  EXPECT_STREQ(kavo_last_error(), "server home: root not object");
  EXPECT_EQ(kavo_set_server_home(""), 1);
  EXPECT_STREQ(kavo_last_error(), "server home: not valid JSON");
  EXPECT_EQ(kavo::s_have_home, 1);
  EXPECT_EQ(kavo::s_home_doc.get(), held);
  EXPECT_EQ(kavo::n_basics(), 1);
  EXPECT_EQ(kavo_set_server_home("{\"a\":1,}"), 1);
  EXPECT_STREQ(kavo_last_error(), "server home: not valid JSON");
}

TEST_F(ServerHomeTest, BasicsFieldsAndIdSpellings) {
  ASSERT_EQ(kavo_set_server_home(
                R"({"basics":[{"Title":"no id"},7,)"
                R"({"imdb":"tt1","title":"One","posterUrl":"p","PictureUrl":"b","plot":"x",)"
                R"("Year":"1999","Duration":"95 min","IsTVShow":"yes",)"
                R"("Ratings":{"InternetMovieDatabase":7.1},"Genres":["Drama",5,null]},)"
                R"({"IMDbID":"tt2","Poster":"q","isTVShow":false,)"
                R"("Ratings":{"Internet Movie Database":"8","InternetMovieDatabase":6}},)"
                R"({"imdb_id":"tt1","Title":"Again"}]})"),
            0);
  ASSERT_EQ(kavo::n_basics(), 3);
  EXPECT_EQ(str(basic(0).imdb_id.get()), "tt1");
  EXPECT_EQ(str(basic(0).title.get()), "One");
  EXPECT_EQ(str(basic(0).poster_url.get()), "p");
  EXPECT_EQ(str(basic(0).backdrop_url.get()), "b");
  EXPECT_EQ(str(basic(0).plot.get()), "x");
  EXPECT_EQ(basic(0).year, 1999);
  EXPECT_EQ(basic(0).runtime_min, 95);
  EXPECT_EQ(basic(0).is_tv, 1);
  EXPECT_DOUBLE_EQ(basic(0).rating, 7.1);
  ASSERT_EQ(basic(0).genres.size(), 2u);
  EXPECT_EQ(str(basic(0).genres[0].get()), "Drama");
  EXPECT_EQ(str(basic(0).genres[1].get()), "5");

  EXPECT_EQ(str(basic(1).imdb_id.get()), "tt2");
  EXPECT_EQ(str(basic(1).poster_url.get()), "q");
  EXPECT_EQ(basic(1).is_tv, 0);
  EXPECT_DOUBLE_EQ(basic(1).rating, -1);  // the first rating key is present but no number
  EXPECT_EQ(basic(1).year, -1);
  EXPECT_EQ(basic(1).runtime_min, -1);
  EXPECT_TRUE(basic(1).genres.empty());

  // Duplicates are both stored; the index keeps the first.
  EXPECT_EQ(str(basic(2).title.get()), "Again");
  EXPECT_EQ(basic_index("tt1"), 0);
  EXPECT_EQ(basic_index("tt2"), 1);
}

TEST_F(ServerHomeTest, BasicsAreMadeAfreshByEachHome) {
  ASSERT_EQ(kavo_set_server_home(R"({"Basics":[{"imdb":"tt1"},{"imdb":"tt2"}]})"), 0);
  ASSERT_EQ(kavo::n_basics(), 2);
  ASSERT_EQ(kavo_set_server_home(R"({"Basics":[{"imdb":"tt3"}]})"), 0);
  ASSERT_EQ(kavo::n_basics(), 1);
  EXPECT_EQ(basic_index("tt1"), -1);
  EXPECT_EQ(basic_index("tt3"), 0);
  // A failed load keeps the basics made before.
  EXPECT_EQ(kavo_set_server_home("[]"), 1);
  EXPECT_EQ(kavo::n_basics(), 1);
  ASSERT_EQ(kavo_set_server_home(R"({"Basics":{}})"), 0);
  EXPECT_EQ(kavo::n_basics(), 0);
}

TEST_F(ServerHomeTest, ContinuesBecomeServerProgressEntries) {
  ASSERT_EQ(kavo_set_server_home(continues(
                R"({"IMDbId":"tt1","Season":2,"episode":"3","Value":0.5,"Duration":"01:30:00",)"
                R"("UpdatedAt":"2024-01-15T10:20:30Z","Size":99},)"
                R"({"imdb_id":"tt2","value":1.5,"Duration":5400},)"
                R"({"Value":0.25,"RecordUpdated":"2024-01-15T10:20:30.5+02:00"},)"
                R"({"Value":0.3,"Duration":"abc"},)"
                R"({"IMDbId":"tt5"},{"IMDbId":"tt6","Value":-1},{"Value":"nan"},4,)"
                R"({"Value":0,"Duration":"1.02:x"})")
                                     .c_str()),
            0);
  EXPECT_EQ(kavo::s_rejected, 0);
  ASSERT_EQ(kavo::n_watch(), 5);
  EXPECT_EQ(str(at(0).imdb_id.get()), "tt1");
  EXPECT_EQ(at(0).season, 2);
  EXPECT_EQ(at(0).episode, 3);
  EXPECT_DOUBLE_EQ(at(0).fraction, 0.5);
  EXPECT_DOUBLE_EQ(at(0).duration_s, 5400);
  EXPECT_DOUBLE_EQ(at(0).position_s, 2700);
  EXPECT_EQ(at(0).updated_ms, 1705314030000LL);
  EXPECT_EQ(at(0).size, 99);
  EXPECT_EQ(at(0).finished, -1);
  EXPECT_EQ(at(0).item_id.get(), nullptr);
  EXPECT_EQ(at(0).key.get(), nullptr);
  EXPECT_EQ(str(at(0).source.get()), "server_continue");
  EXPECT_TRUE(at(0).from_server_home);

  EXPECT_DOUBLE_EQ(at(1).fraction, 1.0);
  EXPECT_DOUBLE_EQ(at(1).duration_s, 5400);
  EXPECT_DOUBLE_EQ(at(1).position_s, 5400);

  EXPECT_EQ(at(2).imdb_id.get(), nullptr);
  EXPECT_DOUBLE_EQ(at(2).fraction, 0.25);
  EXPECT_DOUBLE_EQ(at(2).duration_s, -1);
  EXPECT_DOUBLE_EQ(at(2).position_s, -1);
  EXPECT_EQ(at(2).updated_ms, 1705306830000LL);
  EXPECT_EQ(at(2).season, -1);
  EXPECT_EQ(at(2).size, -1);

  EXPECT_DOUBLE_EQ(at(3).duration_s, 0);
  EXPECT_DOUBLE_EQ(at(3).position_s, -1);

  EXPECT_DOUBLE_EQ(at(4).fraction, 0);
  EXPECT_DOUBLE_EQ(at(4).duration_s, -1);
  EXPECT_DOUBLE_EQ(at(4).position_s, -1);
}

TEST_F(ServerHomeTest, ContinuesValuesOfOtherJsonTypes) {
  ASSERT_EQ(kavo_set_server_home(continues(
                // A time stamp is read as text, so a bare number has no month;
                // a running time given as a number is that many seconds.
                R"({"IMDbId":"tt1","Value":"0.5","Duration":1.5,"UpdatedAt":1705314030000},)"
                R"({"IMDbId":"tt2","Value":true},)"
                R"({"IMDbId":"tt3","Value":null,"value":0.2,"Duration":null,"duration":"00:10:00",)"
                R"("UpdatedAt":null,"updatedAt":"2024-01-15","Size":"12abc","Season":"4","Episode":7.9},)"
                R"({"IMDbId":42,"Value":1e300,"Duration":"-10","Size":true,"size":-3})")
                                     .c_str()),
            0);
  ASSERT_EQ(kavo::n_watch(), 3);
  EXPECT_EQ(str(at(0).imdb_id.get()), "tt1");
  EXPECT_DOUBLE_EQ(at(0).fraction, 0.5);
  EXPECT_DOUBLE_EQ(at(0).duration_s, 1.5);  // a fraction given as a number is seconds
  EXPECT_DOUBLE_EQ(at(0).position_s, 0.75);
  EXPECT_EQ(at(0).updated_ms, -1);  // a bare number has no month

  EXPECT_EQ(str(at(1).imdb_id.get()), "tt3");  // a boolean "Value" is no share
  EXPECT_DOUBLE_EQ(at(1).fraction, 0.2);
  EXPECT_DOUBLE_EQ(at(1).duration_s, 600);
  EXPECT_DOUBLE_EQ(at(1).position_s, 120);
  EXPECT_EQ(at(1).updated_ms, 1705276800000LL);
  EXPECT_EQ(at(1).size, 12);
  EXPECT_EQ(at(1).season, 4);
  EXPECT_EQ(at(1).episode, 7);

  EXPECT_EQ(str(at(2).imdb_id.get()), "42");
  EXPECT_DOUBLE_EQ(at(2).fraction, 1.0);
  EXPECT_DOUBLE_EQ(at(2).duration_s, -10);  // stored, but no position from it
  EXPECT_DOUBLE_EQ(at(2).position_s, -1);
  EXPECT_EQ(at(2).size, -3);  // a boolean is no 64-bit integer: the next key decides
}

TEST_F(ServerHomeTest, ARepeatedHomeReplacesItsEntriesAndKeepsTheHosts) {
  const std::string home = continues(R"({"IMDbId":"tt1","Value":0.5},{"IMDbId":"tt2","Value":0.1})");
  ASSERT_EQ(kavo_set_watch(R"([{"id":"h1","position":1},{"id":"h2","position":2}])"), 0);
  ASSERT_EQ(kavo_set_server_home(home.c_str()), 0);
  ASSERT_EQ(kavo_set_server_home(home.c_str()), 0);
  ASSERT_EQ(kavo::n_watch(), 4);
  EXPECT_EQ(str(at(0).item_id.get()), "h1");
  EXPECT_EQ(str(at(1).item_id.get()), "h2");
  EXPECT_EQ(str(at(2).imdb_id.get()), "tt1");
  EXPECT_EQ(str(at(3).imdb_id.get()), "tt2");

  // A failed load keeps the entries; a home without "Continues" drops them.
  EXPECT_EQ(kavo_set_server_home("nope"), 1);
  EXPECT_EQ(kavo::n_watch(), 4);
  ASSERT_EQ(kavo_set_server_home(continues(R"({"IMDbId":"tt3","Value":0.2})").c_str()), 0);
  ASSERT_EQ(kavo::n_watch(), 3);
  EXPECT_EQ(str(at(2).imdb_id.get()), "tt3");
  ASSERT_EQ(kavo_set_server_home("{}"), 0);
  ASSERT_EQ(kavo::n_watch(), 2);
  EXPECT_EQ(str(at(1).item_id.get()), "h2");

  // The host's watch calls replace the host's entries only.
  ASSERT_EQ(kavo_set_server_home(home.c_str()), 0);
  EXPECT_EQ(kavo_set_watch(nullptr), 0);
  ASSERT_EQ(kavo::n_watch(), 2);
  EXPECT_EQ(str(at(0).imdb_id.get()), "tt1");
  ASSERT_EQ(kavo_set_watch(R"([{"id":"h3","position":3}])"), 0);
  ASSERT_EQ(kavo::n_watch(), 3);
  EXPECT_EQ(str(at(0).item_id.get()), "h3");
  EXPECT_EQ(str(at(1).imdb_id.get()), "tt1");
}

TEST_F(ServerHomeTest, ServerProgressRespectsTheWatchLimit) {
  std::string text = "[";
  for (int i = 0; i < 200000; ++i) text += i ? R"(,{"fraction":1})" : R"({"fraction":1})";
  text += ']';
  ASSERT_EQ(kavo_set_watch(text.c_str()), 0);
  EXPECT_EQ(kavo_set_server_home(continues(R"({"IMDbId":"tt1","Value":0.5})").c_str()), 0);
  EXPECT_EQ(kavo::n_watch(), 200000);
  EXPECT_STREQ(kavo_last_error(), "");
}

TEST_F(ServerHomeTest, DroppingServerProgressKeepsOrder) {
  // Interleaved entries, as a host array replaced around server entries would
  // never make, still keep their relative order.
  for (int i = 0; i < 10; ++i) {
    kavo::WatchRec rec;
    rec.size = i;
    rec.from_server_home = (i % 3 == 0);
    kavo::s_watch.push_back(std::move(rec));
  }
  kavo::drop_server_progress();
  ASSERT_EQ(kavo::n_watch(), 6);
  const int64_t expect[] = {1, 2, 4, 5, 7, 8};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(at(i).size, expect[i]);
}

}  // namespace

namespace {

TEST_F(ServerHomeTest, ADurationGivenAsANumberIsSeconds) {
  ASSERT_EQ(kavo_set_server_home(continues(R"({"IMDbId":"a","Value":0.5,"Duration":5400.5},)"
                                           R"({"IMDbId":"b","Value":0.5,"Duration":0.1},)"
                                           R"({"IMDbId":"c","Value":0.5,"Duration":5400},)"
                                           R"({"IMDbId":"d","Value":0.5,"duration":"1.02:03:04.5"},)"
                                           R"({"IMDbId":"e","Value":0.5,"Duration":null,"duration":60.0})")
                                     .c_str()),
            0);
  ASSERT_EQ(kavo::n_watch(), 5);
  EXPECT_DOUBLE_EQ(at(0).duration_s, 5400.5);
  EXPECT_DOUBLE_EQ(at(0).position_s, 2700.25);
  EXPECT_DOUBLE_EQ(at(1).duration_s, 0.1);
  EXPECT_DOUBLE_EQ(at(2).duration_s, 5400.0);
  EXPECT_DOUBLE_EQ(at(3).duration_s, 93784.5);
  EXPECT_DOUBLE_EQ(at(4).duration_s, 60.0);
}

TEST_F(ServerHomeTest, LongListIdsStayWholeWhereTheyAreLookedUpOrWrittenOut) {
  // An item whose IMDb id was cut when it entered the model is not the one a
  // longer id in a list names.
  const std::string stored(8192, 't');
  const std::string named = stored + "tail";
  ASSERT_EQ(kavo_add_items((R"([{"id":"x","kind":"movie","imdb_id":")" + named + R"("}])").c_str()), 0);
  ASSERT_EQ(kavo_set_server_home((R"({"Spotlights":[{"Items":")" + named + R"("}],)"
                                  R"("List":[{"Id":"MyWatchlist","Value":")" + named + R"("}]})")
                                     .c_str()),
            0);
  ASSERT_EQ(kavo_row_count(), 3);  // Spotlight, the watchlist, Movies
  ASSERT_EQ(kavo_row_kind(0), 10);
  EXPECT_EQ(str(kavo_row_cell_json(0, 0)).rfind(R"({"item_id":null,)", 0), 0u);  // a raw cell
  const std::string watchlist = str(kavo_watchlist_json());
  EXPECT_NE(watchlist.find(R"("ids":[")" + named + R"("])"), std::string::npos);
}

}  // namespace
