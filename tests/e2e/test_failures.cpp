// Input calls that fail change nothing a host can see; input calls that
// succeed replace what they supply and nothing else.
#include <yyjson.h>

#include <cstdlib>
#include <functional>
#include <random>
#include <string>

#include "support/fixture.h"

using kavo_test::host_view;
using kavo_test::KavoTest;
using kavo_test::str;

namespace {

// A part of the bundled inputs, written back as JSON text of its own.
std::string example_part(const char* key) {
  const std::string text = kavo_test::example_text("inputs.json");
  yyjson_doc* doc = yyjson_read(text.data(), text.size(), 0);
  char* written = yyjson_val_write(yyjson_obj_get(yyjson_doc_get_root(doc), key), 0, nullptr);
  std::string part = written ? written : "";
  std::free(written);
  yyjson_doc_free(doc);
  return part;
}

// `count` copies of an element as a JSON array.
std::string array_of(int count, const std::function<std::string(int)>& element) {
  std::string text = "[";
  for (int i = 0; i < count; ++i) {
    if (i) text += ',';
    text += element(i);
  }
  return text + "]";
}

class FailuresTest : public KavoTest {
 protected:
  // The bundled example with an item selected and autoplay configured, so
  // that every document has something to lose.
  static void load_example() {
    ASSERT_EQ(kavo_set_autoplay_settings(kavo_test::example_text("autoplay_settings.json").c_str()), 0);
    ASSERT_EQ(kavo_load_inputs(kavo_test::example_text("inputs.json").c_str()), 0);
    ASSERT_EQ(kavo_select_item("harbor-s01e02"), 0);
  }
};

struct Failure {
  const char* call;
  std::function<int32_t()> run;
  int32_t code;
  const char* message;
};

TEST_F(FailuresTest, EveryFailingInputCallLeavesEverythingAsItWas) {
  const std::string many_items = array_of(200001, [](int i) { return R"({"id":"n)" + std::to_string(i) + "\"}"; });
  const std::string many_watch = array_of(200000, [](int) { return std::string(R"({"position":1})"); });
  const std::string many_with_rejects =
      array_of(200001, [](int i) { return i == 7 ? std::string("3") : R"({"id":"n)" + std::to_string(i) + "\"}"; });
  const Failure failures[] = {
      {"add_items null", [] { return kavo_add_items(nullptr); }, 2, "null json"},
      {"add_items text", [] { return kavo_add_items("[{\"id\":\"z\"}"); }, 1, "not valid JSON"},
      {"add_items shape", [] { return kavo_add_items(R"({"id":"z"})"); }, 1, "expected an array"},
      {"add_items full", [&] { return kavo_add_items(many_items.c_str()); }, 3, "out of memory"},
      {"set_library text", [] { return kavo_set_library(""); }, 1, "not valid JSON"},
      {"set_library shape", [] { return kavo_set_library("{}"); }, 1, "expected an array"},
      {"set_library full", [&] { return kavo_set_library(many_items.c_str()); }, 3, "out of memory"},
      {"set_watch text", [] { return kavo_set_watch("[{"); }, 1, "watch: not valid JSON"},
      {"set_watch shape", [] { return kavo_set_watch("{}"); }, 1, "watch: expected an array"},
      // The held home's progress entries count towards the table's limit.
      {"set_watch full", [&] { return kavo_set_watch(many_watch.c_str()); }, 3, "out of memory"},
      {"set_server_home null", [] { return kavo_set_server_home(nullptr); }, 2, "null json"},
      {"set_server_home text", [] { return kavo_set_server_home(""); }, 1, "server home: not valid JSON"},
      {"set_server_home shape", [] { return kavo_set_server_home("[]"); }, 1, "server home: root not object"},
      {"set_store text", [] { return kavo_set_store("{"); }, 1, "store: not valid JSON"},
      {"set_store shape", [] { return kavo_set_store("[]"); }, 1, "store: root not object"},
      {"load_inputs null", [] { return kavo_load_inputs(nullptr); }, 2, "null inputs"},
      {"load_inputs text", [] { return kavo_load_inputs("{\"items\":["); }, 1, "inputs: not valid JSON"},
      {"load_inputs shape", [] { return kavo_load_inputs("[1]"); }, 1, "inputs: root not object"},
      {"load_inputs part", [] { return kavo_load_inputs(R"({"items":[],"watch":{}})"); }, 1,
       "watch must be an array"},
      {"load_inputs library full",
       [&] { return kavo_load_inputs((R"({"items":[{"id":"x"}],"library":)" + many_items + "}").c_str()); }, 3,
       "out of memory"},
      {"load_inputs items full", [&] { return kavo_load_inputs((R"({"items":)" + many_items + "}").c_str()); }, 3,
       "out of memory"},
      {"resume settings text", [] { return kavo_set_resume_settings("{"); }, 1, "resume settings: not valid JSON"},
      {"resume settings shape", [] { return kavo_set_resume_settings("[]"); }, 1,
       "resume settings: root not object"},
      {"autoplay settings text", [] { return kavo_set_autoplay_settings("nope"); }, 1,
       "autoplay settings: not valid JSON"},
      {"autoplay settings shape", [] { return kavo_set_autoplay_settings("7"); }, 1,
       "autoplay settings: root not object"},
  };
  load_example();
  ASSERT_GT(kavo_item_count(), 0);
  const std::string before = host_view();
  for (const Failure& f : failures) {
    SCOPED_TRACE(f.call);
    EXPECT_EQ(f.run(), f.code);
    EXPECT_STREQ(kavo_last_error(), f.message);
    EXPECT_EQ(kavo_last_code(), f.code);
    EXPECT_EQ(host_view(), before);
  }
  // The model still works as before: the next successful call rebuilds from it.
  ASSERT_EQ(kavo_set_store(R"({"favourites":[]})"), 0);
  EXPECT_NE(host_view(), before);
  // Elements turned away do not count towards a table's limit.
  kavo_clear();
  EXPECT_EQ(kavo_add_items(many_with_rejects.c_str()), 0);
  EXPECT_EQ(kavo_item_count(), 200000);
}

TEST_F(FailuresTest, AFailedWatchCallLeavesNoLinkIntoANewTable) {
  ASSERT_EQ(kavo_add_items(R"([{"id":"a","kind":"movie"},{"id":"b","kind":"movie"}])"), 0);
  ASSERT_EQ(kavo_set_watch(R"([{"key":"OLD-0","item_id":"b","position":50,"updated_ms":1},)"
                           R"({"key":"OLD-1","item_id":"a","position":100,"updated_ms":2}])"),
            0);
  const std::string many = array_of(200001, [](int i) {
    return R"({"key":"NEW-)" + std::to_string(i) + R"(","item_id":"x","position":8})";
  });
  EXPECT_EQ(kavo_set_watch(many.c_str()), 3);
  ASSERT_EQ(kavo_select_item("a"), 0);
  const std::string detail = str(kavo_detail_json());
  EXPECT_NE(detail.find(R"("key":"OLD-1")"), std::string::npos) << detail;
  EXPECT_EQ(detail.find("NEW-"), std::string::npos) << detail;
  EXPECT_DOUBLE_EQ(kavo_detail_resume_position_s(), 100.0);
}

TEST_F(FailuresTest, TheSameWatchArrayAgainChangesNothing) {
  load_example();
  const std::string before = host_view();
  const std::string watch = example_part("watch");
  ASSERT_FALSE(watch.empty());
  ASSERT_EQ(kavo_set_watch(watch.c_str()), 0);
  EXPECT_EQ(host_view(), before);
  // The server's progress stays after the host's entries; a home without
  // "Continues" takes it away.
  ASSERT_EQ(kavo_set_watch("[]"), 0);
  ASSERT_EQ(kavo_set_watch(nullptr), 0);
  EXPECT_NE(str(kavo_stats_json()).find(R"("watch":2,)"), std::string::npos) << kavo_stats_json();
  ASSERT_EQ(kavo_set_server_home("{}"), 0);
  EXPECT_NE(str(kavo_stats_json()).find(R"("watch":0,)"), std::string::npos) << kavo_stats_json();
}

// Random watch arrays and server homes: setting the host's array again, in
// any state, gives the same documents, and so does loading everything at once
// and then setting the watch array that was loaded.
TEST_F(FailuresTest, RandomWatchArraysSetTwiceGiveTheSameDocuments) {
  std::mt19937 rng(20261209);
  auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    std::string items = "[";
    for (int i = 0; i < 12; ++i) {
      if (i) items += ',';
      items += R"({"id":"i)" + std::to_string(i) + R"(","imdb_id":"tt)" + std::to_string(pick(4)) +
               R"(","kind":")" + (pick(2) ? "episode" : "movie") + R"(","season":)" + std::to_string(pick(3)) +
               R"(,"episode":)" + std::to_string(1 + pick(3)) + R"(,"duration_s":)" + std::to_string(600 * pick(8)) +
               "}";
    }
    items += "]";
    std::string continues = "[";
    for (int k = pick(4); k > 0; --k) {
      continues += R"({"IMDbId":"tt)" + std::to_string(pick(5)) + R"(","Value":0.)" + std::to_string(pick(10)) +
                   R"(,"Duration":")" + std::to_string(pick(3)) + R"(:10:00","UpdatedAt":"2024-01-0)" +
                   std::to_string(1 + pick(9)) + "\"}";
      if (k > 1) continues += ',';
    }
    continues += "]";
    std::string watch = "[";
    for (int k = pick(6); k > 0; --k) {
      watch += R"({"id":"i)" + std::to_string(pick(14)) + R"(","position":)" + std::to_string(pick(4000)) +
               R"(,"updated_ms":)" + std::to_string(pick(5)) + (pick(3) ? "" : R"(,"source":"local_store")") + "}";
      if (k > 1) watch += ',';
    }
    watch += "]";
    const std::string home = R"({"Continues":)" + continues + "}";
    const std::string inputs =
        R"({"server_home":)" + home + R"(,"items":)" + items + R"(,"watch":)" + watch + "}";

    ASSERT_EQ(kavo_load_inputs(inputs.c_str()), 0);
    const std::string loaded = host_view();
    ASSERT_EQ(kavo_set_watch(watch.c_str()), 0);
    EXPECT_EQ(host_view(), loaded);

    kavo_clear();
    ASSERT_EQ(kavo_add_items(items.c_str()), 0);
    ASSERT_EQ(kavo_set_watch(watch.c_str()), 0);
    ASSERT_EQ(kavo_set_server_home(home.c_str()), 0);
    const std::string stepwise = host_view();
    ASSERT_EQ(kavo_set_watch(watch.c_str()), 0);
    EXPECT_EQ(host_view(), stepwise);
    ASSERT_EQ(kavo_set_server_home(home.c_str()), 0);
    EXPECT_EQ(host_view(), stepwise);
  }
}

}  // namespace
