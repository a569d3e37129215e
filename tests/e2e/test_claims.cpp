// What kavo.h and the README promise a host: lifetimes across calls, what
// each call rebuilds, and when settings take effect.
#include <cstring>
#include <string>

#include "support/fixture.h"

using kavo_test::KavoTest;
using kavo_test::str;

namespace {

class ClaimsTest : public KavoTest {
 protected:
  static void load() {
    ASSERT_EQ(kavo_load_inputs(R"({"items":[{"id":"m","kind":"movie","title":"Movie","duration_s":3000},)"
                               R"({"id":"e1","kind":"episode","imdb_id":"tt1","season":1,"episode":1,"title":"One",)"
                               R"("duration_s":1000},{"id":"e2","kind":"episode","imdb_id":"tt1","season":1,)"
                               R"("episode":2}],"watch":[{"id":"m","position":600}]})"),
              0);
  }
};

TEST_F(ClaimsTest, TextsHandedOutSurviveEveryFailedCall) {
  load();
  ASSERT_EQ(kavo_select_item("m"), 0);
  const char* id = kavo_item_id(0);
  const char* title = kavo_row_title(0);
  const char* result = kavo_result_json();
  const char* detail = kavo_detail_json();
  const std::string id_text = id, title_text = title, result_text = result, detail_text = detail;
  EXPECT_EQ(kavo_load_inputs("{\"items\":[}"), 1);
  EXPECT_EQ(kavo_load_inputs(R"({"items":[{"id":"x"}],"watch":7})"), 1);
  EXPECT_EQ(kavo_set_watch("{}"), 1);
  EXPECT_EQ(kavo_set_library("["), 1);
  EXPECT_EQ(kavo_set_server_home(nullptr), 2);
  EXPECT_EQ(kavo_add_items("7"), 1);
  // Same pointers, same texts (a freed text would fail under the sanitizer).
  EXPECT_EQ(kavo_item_id(0), id);
  EXPECT_EQ(id, id_text);
  EXPECT_EQ(kavo_row_title(0), title);
  EXPECT_EQ(title, title_text);
  EXPECT_EQ(kavo_result_json(), result);
  EXPECT_EQ(result, result_text);
  EXPECT_EQ(kavo_detail_json(), detail);
  EXPECT_EQ(detail, detail_text);
  // A selection rebuilds the detail and result documents, not the rows.
  ASSERT_EQ(kavo_select_item("e1"), 0);
  EXPECT_EQ(kavo_row_title(0), title);
  EXPECT_NE(str(kavo_detail_json()), detail_text);
  // Item texts outlive rebuilds; only a clear or a successful load ends them.
  ASSERT_EQ(kavo_add_items(R"([{"id":"later"}])"), 0);
  EXPECT_EQ(kavo_item_id(0), id);
  EXPECT_EQ(id, id_text);
}

TEST_F(ClaimsTest, SettingsTakeEffectWhenTheDocumentsSay) {
  load();
  ASSERT_EQ(kavo_select_item("m"), 0);
  ASSERT_EQ(kavo_item_resume_action(0), 1);
  // The row cap and the resume settings wait for the next input call; a
  // selection does not apply them.
  ASSERT_EQ(kavo_set_row_cap(1), 0);
  ASSERT_EQ(kavo_set_resume_settings(R"({"remember_last_position":false})"), 0);
  ASSERT_EQ(kavo_select_item("e1"), 0);
  EXPECT_EQ(kavo_item_resume_action(0), 1);
  EXPECT_NE(str(kavo_stats_json()).find(R"("row_cap":200)"), std::string::npos);
  ASSERT_EQ(kavo_set_store(nullptr), 0);
  EXPECT_EQ(kavo_item_resume_action(0), 0);
  EXPECT_NE(str(kavo_stats_json()).find(R"("row_cap":1)"), std::string::npos);
  // Autoplay: the getter at once, the detail document at the next selection.
  const std::string detail = str(kavo_detail_json());
  ASSERT_EQ(kavo_set_autoplay_settings(R"({"enable_counting_down":true,"countdown_duration_s":20})"), 0);
  EXPECT_NE(str(kavo_detail_autoplay_json()), "[]");
  EXPECT_EQ(str(kavo_detail_json()), detail);
  ASSERT_EQ(kavo_select_item("e1"), 0);
  EXPECT_NE(str(kavo_detail_json()), detail);
}

TEST_F(ClaimsTest, OnlyTheDetailQueryTouchesTheStatusCode) {
  load();
  EXPECT_EQ(kavo_set_watch("{}"), 1);
  EXPECT_EQ(kavo_row_json(99), nullptr);
  EXPECT_EQ(kavo_item_json(-1), nullptr);
  EXPECT_EQ(kavo_last_code(), 1);
  EXPECT_EQ(kavo_detail_json(), nullptr);  // nothing selected
  EXPECT_EQ(kavo_last_code(), 5);
  EXPECT_STREQ(kavo_last_error(), "no item selected");
}

}  // namespace

namespace {

TEST_F(ClaimsTest, TheResultDocumentReadsAsItWasAtTheChange) {
  ASSERT_EQ(kavo_set_autoplay_settings(R"({"enable_counting_down":true,"countdown_duration_s":20})"), 0);
  load();
  ASSERT_EQ(kavo_select_item("e1"), 0);
  const std::string at_change = str(kavo_result_json());
  ASSERT_EQ(kavo_select_item("m"), 0);
  ASSERT_EQ(kavo_select_item("e1"), 0);
  // Settings and the row cap change before the result is read: it is still
  // the document of the selection.
  ASSERT_EQ(kavo_set_autoplay_settings(nullptr), 0);
  ASSERT_EQ(kavo_set_resume_settings(R"({"remember_last_position":false})"), 0);
  ASSERT_EQ(kavo_set_row_cap(1), 0);
  const char* read = kavo_result_json();
  EXPECT_EQ(str(read), at_change);
  EXPECT_EQ(kavo_result_json(), read);  // written once, then held
  // The next change writes it with the settings of then.
  ASSERT_EQ(kavo_select_item("e1"), 0);
  EXPECT_NE(str(kavo_result_json()), at_change);
}

}  // namespace
