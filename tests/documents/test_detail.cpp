// Selection, the detail document and the source queries of the selection.
#include <limits>

#include "doc_support.h"

using namespace doc_test;

namespace {

const std::string kDefaultResume =
    "\"resume\":{\"action\":0,\"action_name\":\"start\",\"position_s\":0.0,\"fraction\":-1.0,"
    "\"clamped\":0,\"remember_last_position\":1,\"remember_audio\":0,\"base_duration_s\":null}";

std::string detail_of(int32_t index) {
  return doc_text([&](yyjson_mut_doc* doc) { return json_detail(doc, index); });
}

}  // namespace

class Detail : public DocTest {};

TEST_F(Detail, DefaultItemWithoutWatchEntry) {
  push_item("a");
  EXPECT_EQ(detail_of(0), kDefaultItemHead + "," + kDefaultResume +
                              ",\"next\":{\"item_id\":null},"
                              "\"autoplay\":{\"configured\":0,\"events\":[]}}");
  EXPECT_EQ(detail_of(1), "<none>");
  EXPECT_EQ(detail_of(-1), "<none>");
}

TEST_F(Detail, WatchEntryNextEpisodeAndEvents) {
  Item& a = push_item("a");
  a.runtime_min = 45;
  a.resume_action = kResume;
  a.resume_position_s = 600.0;
  a.progress_fraction = 0.5;
  a.resume_clamped = 1;
  a.watch_index = 1;
  a.next_index = 1;
  Item& b = push_item("b");
  b.imdb_id = xstrdup("tt9");
  b.title = xstrdup("Second");
  b.season = 1;
  b.episode = 2;
  b.playable = -1;
  s_watch.emplace_back();
  s_watch.emplace_back();
  s_watch[1].source = xstrdup("local_store");
  s_watch[1].updated_ms = 17;
  s_watch[1].position_s = 30.5;
  s_remember_last_position = 0;
  s_remember_audio = 1;
  s_ap_configured = 1;
  s_ap_pct = 1;
  s_ap_pct_val = 0.9;

  const std::string text = detail_of(0);
  const std::size_t tail = text.find(",\"resume\":");
  ASSERT_NE(tail, std::string::npos);
  EXPECT_EQ(text.substr(tail),
            ",\"resume\":{\"action\":1,\"action_name\":\"resume\",\"position_s\":600.0,"
            "\"fraction\":0.5,\"clamped\":1,\"remember_last_position\":0,\"remember_audio\":1,"
            "\"base_duration_s\":2700.0,\"watch\":{\"source\":\"local_store\",\"key\":null,"
            "\"updated_ms\":17,\"position_s\":30.5,\"fraction\":null}},"
            "\"next\":{\"item_id\":\"b\",\"imdb_id\":\"tt9\",\"title\":\"Second\",\"season\":1,"
            "\"episode\":2,\"playable\":-1},"
            "\"autoplay\":{\"configured\":1,\"events\":["
            "{\"name\":\"PrepareProposal\",\"at_s\":2415.0,\"auto_dismiss\":0,\"auto_play\":0,"
            "\"is_prepare\":1},"
            "{\"name\":\"Proposal\",\"at_s\":2430.0,\"auto_dismiss\":1,\"auto_play\":0,"
            "\"is_prepare\":0}]}}");
}

TEST_F(Detail, ActionNamesAndStaleWatchLinks) {
  Item& a = push_item("a");
  a.watch_index = 3;  // beyond the entries in use
  s_watch.emplace_back();
  const std::pair<int32_t, const char*> names[] = {{0, "start"}, {1, "resume"}, {2, "finished"},
                                                   {7, "start"}, {-1, "start"}};
  for (const auto& [action, name] : names) {
    s_items[0].resume_action = action;
    const std::string text = detail_of(0);
    EXPECT_NE(text.find(std::string("\"action_name\":\"") + name + "\""), std::string::npos)
        << action;
    EXPECT_EQ(text.find("\"watch\""), std::string::npos);
  }
  s_items[0].watch_index = 0;
  EXPECT_NE(detail_of(0).find("\"watch\":{\"source\":null,\"key\":null,\"updated_ms\":null,"
                              "\"position_s\":null,\"fraction\":null}"),
            std::string::npos);
}

TEST_F(Detail, SelectionCallsAndDetailGetter) {
  EXPECT_EQ(kavo_selected_index(), -1);
  EXPECT_EQ(kavo_detail_json(), nullptr);
  EXPECT_EQ(kavo_last_code(), 5);
  EXPECT_STREQ(kavo_last_error(), "no item selected");

  push_item("a").imdb_id = xstrdup("tt0001");
  push_source(s_items[0], "Key-1");
  push_item("b").imdb_id = xstrdup("tt0002");
  push_source(s_items[1], "other");
  push_source(s_items[1], "Key-1");
  push_item("c").imdb_id = xstrdup("tt0002");

  EXPECT_EQ(kavo_select_imdb(nullptr), 2);
  EXPECT_STREQ(kavo_last_error(), "null imdb id");
  EXPECT_EQ(kavo_select_source(nullptr), 2);
  EXPECT_STREQ(kavo_last_error(), "null source key");
  EXPECT_EQ(kavo_select_item(nullptr), 2);
  EXPECT_STREQ(kavo_last_error(), "null item id");
  EXPECT_EQ(kavo_selected_index(), -1);

  EXPECT_EQ(kavo_select_imdb("TT0002"), 0);  // first match ignoring case
  EXPECT_EQ(kavo_selected_index(), 1);
  EXPECT_STREQ(kavo_last_error(), "");
  EXPECT_NE(str(kavo_detail_json()).find("{\"id\":\"b\""), std::string::npos);
  EXPECT_NE(str(kavo_result_json()).find("\"item\":{\"id\":\"b\""), std::string::npos);

  const char* held_detail = kavo_detail_json();
  const std::string result_before = str(kavo_result_json());
  EXPECT_EQ(kavo_select_source("key-1"), 5);  // keys compare byte for byte
  EXPECT_STREQ(kavo_last_error(), "no such item");
  EXPECT_EQ(kavo_selected_index(), 1);
  EXPECT_EQ(kavo_select_item("zzz"), 5);
  EXPECT_EQ(kavo_select_imdb("tt9"), 5);
  EXPECT_EQ(kavo_select_imdb("tt000"), 5);  // a prefix is no match
  EXPECT_EQ(kavo_selected_index(), 1);
  EXPECT_EQ(kavo_last_code(), 5);
  // Failed selections rebuild nothing: the same texts at the same places.
  EXPECT_EQ(kavo_detail_json(), held_detail);
  EXPECT_EQ(str(kavo_result_json()), result_before);
  EXPECT_NE(str(kavo_detail_json()).find("{\"id\":\"b\""), std::string::npos);

  EXPECT_EQ(kavo_select_source("Key-1"), 0);  // the earlier item wins
  EXPECT_EQ(kavo_selected_index(), 0);
  EXPECT_EQ(kavo_last_code(), 0);

  // A refused detail reads as "{}" while the selection stays.
  s_items[0].duration_s = std::numeric_limits<double>::infinity();
  ASSERT_EQ(kavo_select_imdb("tt0001"), 0);
  EXPECT_EQ(str(kavo_detail_json()), "{}");
  EXPECT_EQ(str(kavo_result_json()), "{}");  // the same number sits in its "item"
}

TEST_F(Detail, SourceQueriesWithoutSelection) {
  push_item("a");
  ASSERT_EQ(kavo_set_row_cap(0), 2);
  EXPECT_EQ(kavo_detail_source_count(), 0);
  EXPECT_EQ(kavo_detail_resume_action(), 0);
  EXPECT_EQ(kavo_detail_resume_position_s(), 0.0);
  EXPECT_EQ(kavo_detail_progress_fraction(), 0.0);
  EXPECT_EQ(kavo_detail_resume_clamped(), 0);
  EXPECT_STREQ(kavo_last_error(), "row cap out of range");
  EXPECT_EQ(kavo_detail_source_json(0), nullptr);
  EXPECT_STREQ(kavo_last_error(), "no item selected");
  kavo_set_row_cap(0);
  EXPECT_EQ(kavo_detail_source_json(-1), nullptr);  // the selection is checked first
  EXPECT_STREQ(kavo_last_error(), "no item selected");
  kavo_set_row_cap(0);
  EXPECT_EQ(kavo_detail_best_source_url(), nullptr);
  EXPECT_STREQ(kavo_last_error(), "no item selected");
  EXPECT_EQ(kavo_last_code(), 2);
}

TEST_F(Detail, SourceDocumentAndIndexChecks) {
  Item& a = push_item("a");
  a.imdb_id = xstrdup("tt1");
  Source& s = push_source(a, "k");
  s.size = 0;
  s.rank = -3;
  push_source(a, "k2").size = -1;
  ASSERT_EQ(kavo_select_imdb("tt1"), 0);
  EXPECT_EQ(kavo_detail_source_count(), 2);
  EXPECT_EQ(str(kavo_detail_source_json(0)),
            "{\"key\":\"k\",\"uri\":null,\"url\":null,\"quality\":null,\"codec\":null,"
            "\"extension\":null,\"hdr\":null,\"hevc\":null,\"dolby\":null,\"audio_channels\":null,"
            "\"width\":null,\"height\":null,\"size\":0,\"active\":null,\"content_source\":null,"
            "\"subtitle_count\":null,\"subtitle_languages\":null,\"rank\":-3}");
  EXPECT_NE(str(kavo_detail_source_json(1)).find("\"size\":null"), std::string::npos);
  for (int32_t bad : {-1, 2}) {
    EXPECT_EQ(kavo_detail_source_json(bad), nullptr);
    EXPECT_STREQ(kavo_last_error(), "source index out of range");
  }
  EXPECT_EQ(kavo_last_code(), 0);
}

TEST_F(Detail, BestSourceAddressPasses) {
  Item& a = push_item("a");
  a.imdb_id = xstrdup("tt1");
  ASSERT_EQ(kavo_select_imdb("tt1"), 0);
  kavo_set_row_cap(0);
  EXPECT_EQ(kavo_detail_best_source_url(), nullptr);  // no sources, no message
  EXPECT_STREQ(kavo_last_error(), "row cap out of range");

  auto set = [](Source& s, int32_t active, const char* url, const char* uri) {
    s.active = active;
    s.url = xstrdup(url);
    s.uri = xstrdup(uri);
  };
  std::vector<Source>& src = s_items[0].sources;

  // An active source with only a uri beats an inactive one with a url.
  set(push_source(s_items[0], "1"), 0, "http://inactive", nullptr);
  set(push_source(s_items[0], "2"), 1, nullptr, "file:///active");
  EXPECT_STREQ(kavo_detail_best_source_url(), "file:///active");
  // url before uri within one source; an unstated flag counts as active.
  set(src[1], -1, "http://both", "file:///both");
  EXPECT_STREQ(kavo_detail_best_source_url(), "http://both");
  // An active source without any address is passed over.
  set(src[1], 1, nullptr, nullptr);
  EXPECT_STREQ(kavo_detail_best_source_url(), "http://inactive");
  // No active source: any url before any uri, whatever the ranks.
  set(src[0], 0, nullptr, "file:///first");
  set(src[1], 0, "http://second", nullptr);
  EXPECT_STREQ(kavo_detail_best_source_url(), "http://second");
  EXPECT_EQ(kavo_detail_best_source_url(), src[1].url.get());  // the model's own text
  set(src[1], 0, nullptr, nullptr);
  EXPECT_STREQ(kavo_detail_best_source_url(), "file:///first");
  set(src[0], 0, nullptr, "");  // an empty text is present
  EXPECT_STREQ(kavo_detail_best_source_url(), "");
  set(src[0], 1, nullptr, nullptr);
  EXPECT_EQ(kavo_detail_best_source_url(), nullptr);
  EXPECT_STREQ(kavo_last_error(), "row cap out of range");
}
