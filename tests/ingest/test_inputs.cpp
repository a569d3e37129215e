// All inputs in one call: shape checks, load order and the final pass over
// the server home.
#include <string>

#include "frame/model.h"
#include "support/fixture.h"

using kavo_test::KavoTest;
using kavo_test::str;

namespace {

class InputsTest : public KavoTest {
 protected:
  static const kavo::WatchRec& at(int i) { return kavo::s_watch.at(static_cast<std::size_t>(i)); }
  static void fill_model() {
    ASSERT_EQ(kavo_set_watch(R"([{"id":"a","position":1}])"), 0);
    ASSERT_EQ(kavo_set_store(R"({"favourites":[{"token":"a"}]})"), 0);
    ASSERT_EQ(kavo_set_server_home(R"({"Basics":[{"imdb":"tt1"}]})"), 0);
  }
  static void expect_filled_model() {
    EXPECT_EQ(kavo::n_watch(), 1);
    EXPECT_EQ(kavo::n_favs(), 1);
    EXPECT_EQ(kavo::n_basics(), 1);
    EXPECT_EQ(kavo::s_have_home, 1);
  }
  static void expect_empty_model() {
    EXPECT_EQ(kavo::n_watch(), 0);
    EXPECT_EQ(kavo::n_favs(), 0);
    EXPECT_EQ(kavo::n_basics(), 0);
    EXPECT_EQ(kavo::n_items(), 0);
    EXPECT_EQ(kavo::s_have_home, 0);
  }
};

const char kHome[] =
    R"({"Basics":[{"imdb":"tt1","Title":"One"}],)"
    R"("Continues":[{"IMDbId":"tt1","Value":0.5,"Duration":"01:00:00"},{"IMDbId":"tt2"}],)"
    R"("List":[{"Id":"MyWatchlist","Value":"tt1"}]})";

std::string inputs_with_home() {
  return std::string(R"({"server_home":)") + kHome +
         R"(,"watch":[{"id":"w1","position":10},{"id":"w2","fraction":0.2},5],)"
         R"("store":{"favourites":[{"token":"f1"}],"playlists":[{"key":"p1"}]}})";
}

TEST_F(InputsTest, NullAndBadTextKeepTheModel) {
  fill_model();
  EXPECT_EQ(kavo_load_inputs(nullptr), 2);
  EXPECT_STREQ(kavo_last_error(), "null inputs");
  EXPECT_EQ(kavo_last_code(), 2);
  expect_filled_model();

  EXPECT_EQ(kavo_load_inputs(""), 1);
  EXPECT_STREQ(kavo_last_error(), "inputs: not valid JSON");
  expect_filled_model();

  EXPECT_EQ(kavo_load_inputs("[1]"), 1);
  EXPECT_STREQ(kavo_last_error(), "inputs: root not object");
  expect_filled_model();

  // A successful load starts from an empty model.
  EXPECT_EQ(kavo_load_inputs("{}"), 0);
  expect_empty_model();
}

TEST_F(InputsTest, ShapeChecksInTheirOrder) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {R"({"server_home":null})", "server_home must be an object"},
      {R"({"server_home":[],"items":{}})", "server_home must be an object"},
      {R"({"store":1,"items":{}})", "items must be an array"},
      {R"({"server_home":{},"items":{}})", "items must be an array"},
      {R"({"watch":{},"library":{}})", "watch must be an array"},
      {R"({"Library":"x","store":[]})", "library must be an array"},
      {R"({"watch":[],"store":[]})", "store must be an object"},
      // A present null is the wrong type, whatever the letter case of its key.
      {R"({"items":null})", "items must be an array"},
      {R"({"WATCH":null,"store":{}})", "watch must be an array"},
      {R"({"library":null})", "library must be an array"},
      {R"({"Store":null})", "store must be an object"},
      {R"({"SERVER_HOME":"{}"})", "server_home must be an object"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(kavo_load_inputs(c.text), 1);
    EXPECT_STREQ(kavo_last_error(), c.message);
    EXPECT_EQ(kavo_last_code(), 1);
    // Nothing is loaded, not even the parts that come before.
    EXPECT_EQ(kavo::s_have_home, 0);
  }
}

TEST_F(InputsTest, EmptyObjectGivesAnEmptyModel) {
  fill_model();
  EXPECT_EQ(kavo_load_inputs("{}"), 0);
  EXPECT_STREQ(kavo_last_error(), "");
  expect_empty_model();
  EXPECT_EQ(str(kavo_server_flags_json()), "{}");
  EXPECT_EQ(str(kavo_watchlist_json()), "{}");
  EXPECT_EQ(str(kavo_browse_history_json()), "{}");
}

TEST_F(InputsTest, HostEntriesComeBeforeServerProgress) {
  ASSERT_EQ(kavo_load_inputs(inputs_with_home().c_str()), 0);
  ASSERT_EQ(kavo::n_watch(), 3);
  EXPECT_EQ(str(at(0).item_id.get()), "w1");
  EXPECT_EQ(str(at(1).item_id.get()), "w2");
  EXPECT_EQ(str(at(2).imdb_id.get()), "tt1");
  EXPECT_DOUBLE_EQ(at(2).position_s, 1800);
  EXPECT_TRUE(at(2).from_server_home);
  EXPECT_EQ(kavo::s_rejected, 1);
  EXPECT_EQ(kavo::n_basics(), 1);
  EXPECT_EQ(kavo::n_favs(), 1);
  EXPECT_EQ(kavo::n_pls(), 1);
  EXPECT_EQ(kavo::s_have_home, 1);
  EXPECT_EQ(str(kavo_watchlist_json()), R"({"key":"tt1","ids":["tt1"]})");
}

TEST_F(InputsTest, LoadingTwiceGivesTheSameModel) {
  const std::string text = inputs_with_home();
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    ASSERT_EQ(kavo_load_inputs(text.c_str()), 0);
    EXPECT_EQ(kavo::n_watch(), 3);
    EXPECT_EQ(kavo::n_basics(), 1);
    EXPECT_EQ(kavo::n_favs(), 1);
    EXPECT_EQ(kavo::s_rejected, 1);
  }
}

TEST_F(InputsTest, KeysMatchIgnoringCase) {
  ASSERT_EQ(kavo_load_inputs(R"({"Watch":[{"id":"a","position":1}],"STORE":{"favorites":[{"token":"t"}]}})"),
            0);
  EXPECT_EQ(kavo::n_watch(), 1);
  EXPECT_EQ(kavo::n_favs(), 1);
}

TEST_F(InputsTest, AFailingPartStopsTheLoadAndKeepsItsMessage) {
  std::string text = R"({"server_home":{"Continues":[{"IMDbId":"tt1","Value":0.5}]},"watch":[)";
  for (int i = 0; i <= 200000; ++i) text += i ? R"(,{"position":1})" : R"({"position":1})";
  text += R"(],"store":{"favourites":[{"token":"a"}]}})";
  fill_model();
  EXPECT_EQ(kavo_load_inputs(text.c_str()), 3);
  EXPECT_STREQ(kavo_last_error(), "out of memory");
  // Nothing of the load stays: the model is the one before it.
  expect_filled_model();
}

}  // namespace
