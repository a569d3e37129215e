// Shared test fixture: every test starts from a freshly loaded library state
// (empty model, default settings and row cap, empty status frame).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "kavo.h"

namespace kavo_test {

inline void reset_library() {
  kavo_shutdown();
  kavo_set_row_cap(200);
  kavo_set_resume_settings(nullptr);
  kavo_set_autoplay_settings(nullptr);
  kavo_clear();
}

class KavoTest : public ::testing::Test {
 protected:
  void SetUp() override { reset_library(); }
  void TearDown() override { kavo_shutdown(); }
};

// A returned text as a std::string ("<null>" for NULL), for comparisons.
inline std::string str(const char* text) { return text ? std::string(text) : std::string("<null>"); }

// Everything a host can read back, piece by piece: `add(name, text)` gets the
// result, stats and side documents, every item and row document, the
// selection with its detail, next-episode and autoplay documents, and the row
// cap (text NULL where a getter gives NULL). Reading the detail stores a
// status, so check codes before taking this. Without `with_result` the result
// document is left unread (it is written when first read after a change).
template <class Add>
void visit_host_view(Add&& add, bool with_result = true) {
  if (with_result) add("result", kavo_result_json());
  add("stats", kavo_stats_json());
  add("flags", kavo_server_flags_json());
  add("watchlist", kavo_watchlist_json());
  add("history", kavo_browse_history_json());
  for (int32_t i = 0; i < kavo_item_count(); ++i) {
    add("item", kavo_item_json(i));
    add("next", kavo_item_next_id(i));
  }
  for (int32_t r = 0; r < kavo_row_count(); ++r) add("row", kavo_row_json(r));
  add("selected", std::to_string(kavo_selected_index()).c_str());
  add("detail", kavo_detail_json());
  add("next_doc", kavo_detail_next_json());
  add("autoplay", kavo_detail_autoplay_json());
  add("row_cap", std::to_string(kavo_get_row_cap()).c_str());
}

// All of visit_host_view as one text. Two equal texts mean the host sees the
// same library.
inline std::string host_view() {
  std::string s;
  visit_host_view([&s](const char* name, const char* text) {
    s += name;
    s += ": ";
    s += str(text);
    s += '\n';
  });
  return s;
}

// The text of a file of the bundled examples.
std::string example_text(const char* name);

}  // namespace kavo_test
