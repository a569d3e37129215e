// Helpers for the document tests: model state built directly in the globals,
// and documents written to std::string.
#pragma once

#include <gtest/gtest.h>
#include <yyjson.h>

#include <string>

#include "documents/documents.h"
#include "documents/layouts.h"
#include "documents/writers.h"
#include "frame/json_doc.h"
#include "frame/model.h"
#include "support/fixture.h"

namespace doc_test {

using namespace kavo;

// Every document test starts from an empty model and autoplay switched off.
class DocTest : public kavo_test::KavoTest {
 protected:
  void SetUp() override {
    KavoTest::SetUp();
    reset_autoplay();
  }
  void TearDown() override {
    reset_autoplay();
    KavoTest::TearDown();
  }
  static void reset_autoplay() {
    s_ap_configured = s_ap_fixed = s_ap_pct = s_ap_countdown = s_ap_autoplay = 0;
    s_ap_fixed_dur_s = s_ap_pct_val = s_ap_countdown_s = 0.0;
    s_remember_last_position = 1;
    s_remember_audio = 0;
  }
};

inline Item& push_item(const char* id) {
  s_items.emplace_back();
  s_items.back().id = xstrdup(id);
  return s_items.back();
}

inline Source& push_source(Item& item, const char* key) {
  item.sources.emplace_back();
  item.sources.back().key = xstrdup(key);
  return item.sources.back();
}

inline Row& push_row(int32_t kind, const char* key, const char* title) {
  s_rows.emplace_back();
  Row& row = s_rows.back();
  row.kind = kind;
  row.key = xstrdup(key);
  row.title = xstrdup(title);
  return row;
}

// Stores a cell in `row` as the row primitives do (no cap applied).
inline Cell& push_item_cell(Row& row, int32_t item_index, int64_t added_ms) {
  row.cells.emplace_back();
  Cell& c = row.cells.back();
  c.item_index = item_index;
  c.added_ms = added_ms;
  c.resolved = 1;
  ++row.emitted;
  ++row.cell_count;
  return c;
}

inline Cell& push_raw_cell(Row& row, const char* title, int64_t added_ms, const char* server_key) {
  row.cells.emplace_back();
  Cell& c = row.cells.back();
  c.title = xstrdup(title);
  c.added_ms = added_ms;
  c.server_key = xstrdup(server_key);
  ++row.emitted;
  ++row.cell_count;
  return c;
}

// Writes the value that `build(doc)` gives as a whole document.
template <class Build>
std::string doc_text(Build&& build) {
  const MutJsonDoc doc = new_mut_doc();
  yyjson_mut_val* root = build(doc.get());
  if (root == nullptr) return "<none>";
  yyjson_mut_doc_set_root(doc.get(), root);
  const Text t = write_doc(doc.get());
  return t ? t.get() : "<unwritable>";
}

// The text of what `put(sink)` writes (a layout of documents/layouts.h),
// through each sink: built as yyjson values and written, or written straight
// as text.
template <class Put>
std::string mut_text(Put&& put) {
  return doc_text([&](yyjson_mut_doc* doc) {
    MutJson out(doc);
    put(out);
    return out.root();
  });
}
template <class Put>
std::string kept_text(Put&& put) {
  KeptJson out;
  put(out);
  const Text t = out.finish();
  return t ? t.get() : "<unwritable>";
}

inline std::string str(const char* text) { return kavo_test::str(text); }

// The documents of a default item with id "a", piece by piece.
inline const std::string kDefaultItemHead =
    "{\"id\":\"a\",\"kind\":5,\"title\":null,\"year\":null,\"imdb_id\":null,\"poster_url\":null,"
    "\"backdrop_url\":null,\"plot\":null,\"runtime_min\":null,\"rating\":null,\"season\":null,"
    "\"episode\":null,\"air_date\":null,\"size\":null,\"duration_s\":null,\"mtime_ms\":null,"
    "\"added_ms\":null,\"path\":null,\"folder\":null,\"backend_id\":null,\"server_key\":null,"
    "\"library\":5,\"matched\":null,\"unmatched\":0,\"playable\":0,\"source_count\":0,"
    "\"resume_action\":0,\"resume_position_s\":0.0,\"progress_fraction\":null,\"finished\":0,"
    "\"resume_clamped\":0,\"is_audio_only\":0,\"is_cue_track\":0,\"next_item_id\":null,"
    "\"genres\":[],\"sources\":[]";

}  // namespace doc_test
