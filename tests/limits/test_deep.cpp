// Deep inputs: values nested a hundred thousand levels deep, wherever an input
// may hold them. Nothing of the library may walk them by recursion; each call
// gives the answer it gives for the same value of the wrong type.
#include "documents/writers.h"
#include "frame/json_doc.h"
#include "limits_support.h"

using namespace limits_test;
using kavo_test::str;

namespace {

class DeepInputs : public kavo_test::KavoTest {};

constexpr std::size_t kDepth = 100000;

TEST_F(DeepInputs, EveryInputCallTakesDeepValues) {
  const std::string arr = deep_array(kDepth);
  const std::string obj = deep_object(kDepth);

  // A deep array as a whole input: one element that is no object.
  ASSERT_EQ(TIMED(kavo_add_items(arr.c_str())), 0);
  EXPECT_EQ(stat("rejected"), 1);
  ASSERT_EQ(TIMED(kavo_set_watch(arr.c_str())), 0);
  ASSERT_EQ(TIMED(kavo_set_library(arr.c_str())), 0);
  EXPECT_EQ(TIMED(kavo_set_server_home(arr.c_str())), 1);
  EXPECT_EQ(str(kavo_last_error()), "server home: root not object");
  EXPECT_EQ(TIMED(kavo_set_store(obj.c_str())), 0);
  EXPECT_EQ(TIMED(kavo_set_resume_settings(obj.c_str())), 0);
  EXPECT_EQ(TIMED(kavo_set_autoplay_settings(arr.c_str())), 1);
  EXPECT_EQ(TIMED(kavo_set_autoplay_settings(nullptr)), 0);

  // Deep values in the fields of an item, of its source and of the source's
  // "theFile": read as absent.
  const std::string item = "[{\"id\":\"e1\",\"imdb_id\":\"tt1\",\"season\":1,\"episode\":1,\"kind\":\"episode\","
                           "\"title\":" + arr + ",\"genres\":" + arr + ",\"plot\":" + obj +
                           ",\"sources\":[{\"theFile\":{\"url\":\"u\",\"x\":" + obj + "},\"key\":" + arr +
                           "}],\"extra\":" + obj + "}]";
  ASSERT_EQ(TIMED(kavo_add_items(item.c_str())), 0);
  ASSERT_EQ(kavo_item_count(), 1);
  EXPECT_EQ(kavo_item_title(0), nullptr);
  EXPECT_EQ(kavo_item_source_count(0), 1);
  EXPECT_EQ(kavo_item_playable(0), 1);

  // Deep values in watch entries, the server home, the store and settings.
  const std::string watch = "[{\"id\":\"e1\",\"position\":" + arr + ",\"fraction\":0.5,\"source\":" + obj + "}]";
  ASSERT_EQ(TIMED(kavo_set_watch(watch.c_str())), 0);
  EXPECT_EQ(stat("watch"), 1);
  const std::string home = "{\"Basics\":[{\"IMDbId\":\"tt1\",\"Title\":" + arr + ",\"Genres\":" + arr +
                           "}],\"List\":[{\"Id\":\"MyWatchlist\",\"Value\":" + obj +
                           "}],\"Continues\":[{\"IMDbId\":\"tt1\",\"Value\":" + arr +
                           "}],\"ExtentList\":" + arr + ",\"deep\":" + obj + "}";
  ASSERT_EQ(TIMED(kavo_set_server_home(home.c_str())), 0);
  Json watchlist(kavo_watchlist_json());
  EXPECT_EQ(yyjson_arr_size(yyjson_obj_get(watchlist.root(), "ids")), 0u);
  const std::string store = "{\"favourites\":[{\"token\":\"t\",\"metadata\":" + obj + "}],\"playlists\":" + arr + "}";
  ASSERT_EQ(TIMED(kavo_set_store(store.c_str())), 0);
  const std::string autoplay = "{\"automatic_play_next\":" + arr + ",\"countdown_duration_s\":" + obj + "}";
  ASSERT_EQ(TIMED(kavo_set_autoplay_settings(autoplay.c_str())), 0);
  EXPECT_EQ(kavo_detail_autoplay_configured(), 1);
  ASSERT_EQ(kavo_select_item("e1"), 0);
  Json detail(kavo_detail_json());
  ASSERT_NE(detail.root(), nullptr);
  Json result(kavo_result_json());
  ASSERT_NE(result.root(), nullptr);

  // All of it in one inputs object: each part is written back as text and
  // read again, deep values included.
  const std::string inputs = "{\"server_home\":" + home + ",\"items\":" + item + ",\"watch\":" + watch +
                             ",\"library\":" + arr + ",\"store\":" + store + ",\"deep\":" + obj + "}";
  ASSERT_EQ(TIMED(kavo_load_inputs(inputs.c_str())), 0);
  EXPECT_EQ(kavo_item_count(), 1);
  EXPECT_EQ(stat("watch"), 1);

  // The linter walks the same values, and a deep value as the whole text.
  int64_t unknown = 0;
  EXPECT_EQ(TIMED(lint_status(inputs, "unknown_member_count", &unknown)), 0);
  EXPECT_EQ(unknown, 4);  // "extra", "x", and "deep" in the inputs and the server home
  EXPECT_EQ(TIMED(lint_status(arr)), 1);
  EXPECT_EQ(TIMED(lint_status(obj)), 0);
}

TEST_F(DeepInputs, DeepCopyAndWriteOfDeepValues) {
  // The deep copy into an output document and the writer take any depth; the
  // text written back is the text read.
  for (const std::string& text : {deep_array(kDepth), deep_object(kDepth),
                                  "[" + deep_object(kDepth) + "," + deep_array(kDepth) + ",1]"}) {
    const kavo::JsonDoc in = kavo::read_json(text.c_str(), text.size());
    ASSERT_NE(in, nullptr);
    const kavo::MutJsonDoc out = kavo::new_mut_doc();
    yyjson_mut_val* copy = kavo::mut_from_val(out.get(), yyjson_doc_get_root(in.get()));
    ASSERT_NE(copy, nullptr);
    yyjson_mut_doc_set_root(out.get(), copy);
    kavo::Text written = kavo::write_doc(out.get());
    ASSERT_TRUE(written);
    EXPECT_EQ(std::strlen(written.get()), text.size());
    EXPECT_TRUE(std::strcmp(written.get(), text.c_str()) == 0);
  }
}

}  // namespace
