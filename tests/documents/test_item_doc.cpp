// The item document and its source objects.
#include <cstring>
#include <limits>

#include "doc_support.h"

using namespace doc_test;

class ItemDoc : public DocTest {};

TEST_F(ItemDoc, DefaultItemWritesNullsForAbsentFields) {
  push_item("a");
  EXPECT_EQ(str(kavo_item_json(0)), kDefaultItemHead + "}");
}

TEST_F(ItemDoc, FullItemWithGenresSourcesAndNextEpisode) {
  Item& a = push_item("ep1");
  a.kind = kEpisode;
  a.title = xstrdup("Pilot");
  a.year = 2001;
  a.imdb_id = xstrdup("tt1");
  a.poster_url = xstrdup("http://p/1.jpg");
  a.backdrop_url = xstrdup("");
  a.plot = xstrdup("caf\xc3\xa9");
  a.runtime_min = 45;
  a.rating = 7.5;
  a.season = 1;
  a.episode = 0;
  a.air_date = xstrdup("2001-01-01");
  a.size = 0;
  a.duration_s = 2700.0;
  a.mtime_ms = 1700000000000LL;
  a.added_ms = 1700000000001LL;
  a.path = xstrdup("/m/p.mkv");
  a.folder = xstrdup("/m");
  a.backend_id = xstrdup("b1");
  a.server_key = xstrdup("sk");
  a.library = kLocal;
  a.matched = 1;
  a.unmatched = 0;
  a.playable = 1;
  a.resume_action = kFinished;
  a.resume_position_s = 0.0;
  a.progress_fraction = 1.0;
  a.resume_clamped = 1;
  a.is_audio_only = 0;
  a.is_cue_track = 1;
  a.next_index = 1;
  a.genres.push_back(xstrdup("Drama"));
  a.genres.push_back(xstrdup("Sci-Fi"));
  Source& s = push_source(a, "k1");
  s.uri = xstrdup("file:///m/p.mkv");
  s.quality = xstrdup("1080p");
  s.hdr = 0;
  s.hevc = 1;
  s.width = 1920;
  s.height = -1;
  s.size = 0;
  s.active = 1;
  s.content_source = kLocal;
  s.subtitle_count = 2;
  s.subtitle_languages = xstrdup("en,fr");
  s.rank = -40;
  push_source(a, nullptr).rank = 7;
  push_item("ep2");

  EXPECT_EQ(str(kavo_item_json(0)),
            "{\"id\":\"ep1\",\"kind\":2,\"title\":\"Pilot\",\"year\":2001,\"imdb_id\":\"tt1\","
            "\"poster_url\":\"http://p/1.jpg\",\"backdrop_url\":\"\",\"plot\":\"caf\xc3\xa9\","
            "\"runtime_min\":45,\"rating\":7.5,\"season\":1,\"episode\":0,\"air_date\":\"2001-01-01\","
            "\"size\":0,\"duration_s\":2700.0,\"mtime_ms\":1700000000000,\"added_ms\":1700000000001,"
            "\"path\":\"/m/p.mkv\",\"folder\":\"/m\",\"backend_id\":\"b1\",\"server_key\":\"sk\","
            "\"library\":3,\"matched\":1,\"unmatched\":0,\"playable\":1,\"source_count\":2,"
            "\"resume_action\":2,\"resume_position_s\":0.0,\"progress_fraction\":1.0,\"finished\":1,"
            "\"resume_clamped\":1,\"is_audio_only\":0,\"is_cue_track\":1,\"next_item_id\":\"ep2\","
            "\"genres\":[\"Drama\",\"Sci-Fi\"],\"sources\":["
            "{\"key\":\"k1\",\"uri\":\"file:///m/p.mkv\",\"url\":null,\"quality\":\"1080p\","
            "\"codec\":null,\"extension\":null,\"hdr\":0,\"hevc\":1,\"dolby\":null,"
            "\"audio_channels\":null,\"width\":1920,\"height\":null,\"size\":0,\"active\":1,"
            "\"content_source\":3,\"subtitle_count\":2,\"subtitle_languages\":\"en,fr\",\"rank\":-40},"
            "{\"key\":null,\"uri\":null,\"url\":null,\"quality\":null,\"codec\":null,"
            "\"extension\":null,\"hdr\":null,\"hevc\":null,\"dolby\":null,\"audio_channels\":null,"
            "\"width\":null,\"height\":null,\"size\":null,\"active\":null,\"content_source\":null,"
            "\"subtitle_count\":null,\"subtitle_languages\":null,\"rank\":7}]}");
}

TEST_F(ItemDoc, ResumeActionsAndNextLinks) {
  Item& a = push_item("a");
  a.resume_action = kResume;
  a.next_index = 5;  // outside the catalogue
  const std::string text = str(kavo_item_json(0));
  EXPECT_NE(text.find("\"finished\":0"), std::string::npos);
  EXPECT_NE(text.find("\"next_item_id\":null"), std::string::npos);
  s_items[0].next_index = 0;
  EXPECT_NE(str(kavo_item_json(0)).find("\"next_item_id\":\"a\""), std::string::npos);
}

TEST_F(ItemDoc, GetterFailuresKeepTheStatusCode) {
  push_item("a");
  ASSERT_EQ(kavo_set_row_cap(0), 2);  // leaves status 2 behind
  EXPECT_EQ(kavo_item_json(-1), nullptr);
  EXPECT_STREQ(kavo_last_error(), "item index out of range");
  EXPECT_EQ(kavo_last_code(), 2);

  ASSERT_EQ(kavo_set_row_cap(50), 0);
  EXPECT_EQ(kavo_item_json(1), nullptr);  // one past the last item
  EXPECT_STREQ(kavo_last_error(), "item index out of range");
  EXPECT_EQ(kavo_last_code(), 0);
  // Success neither empties the message nor touches the code.
  EXPECT_NE(kavo_item_json(0), nullptr);
  EXPECT_STREQ(kavo_last_error(), "item index out of range");
  EXPECT_EQ(kavo_last_code(), 0);
}

TEST_F(ItemDoc, RefusedDocumentReadsAsOom) {
  push_item("a").rating = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(kavo_item_json(0), nullptr);
  EXPECT_STREQ(kavo_last_error(), "oom");
  s_items[0].rating = -1.0;
  s_items[0].title = xstrdup("bad \xff utf8");
  EXPECT_EQ(kavo_item_json(0), nullptr);
  EXPECT_STREQ(kavo_last_error(), "oom");
}

TEST_F(ItemDoc, SuccessiveCallsShareOneBuffer) {
  push_item("first");
  push_item("second");
  const char* one = kavo_item_json(0);
  ASSERT_NE(one, nullptr);
  const std::string first = one;
  const char* two = kavo_item_json(1);
  EXPECT_EQ(one, two);
  EXPECT_NE(first, std::string(two));
  EXPECT_EQ(std::string(one).rfind("{\"id\":\"second\"", 0), 0u);
}

TEST_F(ItemDoc, LargeItemComesBackWhole) {
  push_item("small");
  const char* small = kavo_item_json(0);
  ASSERT_NE(small, nullptr);
  const std::string small_text = small;
  Item& a = s_items.emplace_back();
  a.id = xstrdup("a");
  for (int i = 0; i < 8; ++i) a.genres.push_back(xstrdup(std::string(8000, 'g').c_str()));
  const char* text = kavo_item_json(1);
  ASSERT_NE(text, nullptr);
  // The text of the earlier call may have moved out of the way, but its
  // pointer still reads (and the sanitizer would catch a freed block).
  EXPECT_EQ(std::string(small), small_text);
  // The next call reuses the larger block.
  const char* again = kavo_item_json(0);
  EXPECT_EQ(again, text);
  EXPECT_EQ(std::string(again), small_text);
  text = kavo_item_json(1);
  const std::size_t len = std::strlen(text);
  EXPECT_GT(len, 64000u);
  const JsonDoc parsed = read_json(text, len);
  ASSERT_NE(parsed, nullptr);
  EXPECT_EQ(yyjson_arr_size(yyjson_obj_get(yyjson_doc_get_root(parsed.get()), "genres")), 8u);
}
