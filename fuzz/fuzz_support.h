// Shared checks of the fuzz targets: after a call, everything the host can
// read must be consistent, parse as strict JSON and report through the status
// frame as kavo.h promises. A broken promise aborts with a message, which
// libFuzzer records as a crash together with the input that caused it.
#pragma once

#include <yyjson.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>

#include "kavo.h"

namespace fz {

[[noreturn]] inline void die(const char* what, const char* detail, const char* file, int line) {
  std::fprintf(stderr, "\n*** broken promise at %s:%d: %s", file, line, what);
  if (detail != nullptr) std::fprintf(stderr, " [%.300s]", detail);
  std::fprintf(stderr, "\n");
  std::abort();
}

#define FZ_CHECK(cond) \
  do { if (!(cond)) ::fz::die(#cond, nullptr, __FILE__, __LINE__); } while (0)
#define FZ_CHECK_MSG(cond, detail) \
  do { if (!(cond)) ::fz::die(#cond, (detail), __FILE__, __LINE__); } while (0)

// The fuzz input as a C text, cut at its first NUL as a C host would pass it.
inline std::string c_text(const uint8_t* data, size_t size) {
  std::string s(reinterpret_cast<const char*>(data), size);
  const size_t nul = s.find('\0');
  if (nul != std::string::npos) s.resize(nul);
  return s;
}

inline std::string read_file(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline std::string example(const char* name) {
  return read_file((std::string(KAVO_EXAMPLES_DIR) + "/" + name).c_str());
}

// The example inputs object, read once.
inline const std::string& example_inputs() {
  static const std::string inputs = example("inputs.json");
  return inputs;
}

// A parsed strict-JSON document that frees itself.
class Json {
 public:
  explicit Json(const char* text)
      : doc_(text ? yyjson_read_opts(const_cast<char*>(text), std::strlen(text), 0, nullptr, nullptr)
                  : nullptr) {}
  ~Json() { yyjson_doc_free(doc_); }
  Json(const Json&) = delete;
  Json& operator=(const Json&) = delete;
  bool ok() const { return doc_ != nullptr; }
  yyjson_val* root() const { return doc_ ? yyjson_doc_get_root(doc_) : nullptr; }

 private:
  yyjson_doc* doc_;
};

inline std::string write_val(yyjson_val* v) {
  char* text = yyjson_val_write_opts(v, 0, nullptr, nullptr, nullptr);
  FZ_CHECK(text != nullptr);
  std::string s(text);
  std::free(text);
  return s;
}

inline int64_t int_member(yyjson_val* obj, const char* key) {
  yyjson_val* v = yyjson_obj_get(obj, key);
  FZ_CHECK_MSG(yyjson_is_int(v), key);
  return yyjson_get_sint(v);
}

// The last-error text: always a fixed message under 64 characters.
inline void check_error_text() {
  const char* err = kavo_last_error();
  FZ_CHECK(err != nullptr);
  FZ_CHECK_MSG(strnlen(err, 1024) < 64, err);
}

// A fallible call's outcome: a code in 0..5 that the frame also stores, an
// empty message on success and a message on failure.
inline void check_status(int32_t rc) {
  FZ_CHECK(rc >= 0 && rc <= 5);
  FZ_CHECK(kavo_last_code() == rc);
  check_error_text();
  if (rc == 0) {
    FZ_CHECK_MSG(kavo_last_error()[0] == '\0', kavo_last_error());
  } else {
    FZ_CHECK(kavo_last_error()[0] != '\0');
  }
}

// As check_status, and the code and message are among those listed.
inline void check_outcome(int32_t rc, std::initializer_list<const char*> messages,
                          std::initializer_list<int32_t> codes) {
  check_status(rc);
  bool code_ok = false;
  for (int32_t c : codes) code_ok = code_ok || c == rc;
  FZ_CHECK_MSG(code_ok, kavo_last_error());
  if (rc == 0) return;
  bool message_ok = false;
  for (const char* m : messages) message_ok = message_ok || std::strcmp(m, kavo_last_error()) == 0;
  FZ_CHECK_MSG(message_ok, kavo_last_error());
}

inline void check_parses(const char* text, const char* what) {
  FZ_CHECK_MSG(text != nullptr, what);
  Json json(text);
  FZ_CHECK_MSG(json.ok(), what);
}

// A getter's failure: its value and message, and the status code untouched.
inline void check_getter_failure(const char* got, const char* expected, const char* message,
                                 int32_t code_before) {
  if (expected == nullptr) {
    FZ_CHECK(got == nullptr);
  } else {
    FZ_CHECK(got != nullptr && std::strcmp(got, expected) == 0);
  }
  FZ_CHECK_MSG(std::strcmp(kavo_last_error(), message) == 0, kavo_last_error());
  FZ_CHECK(kavo_last_code() == code_before);
}

// A cell's item as the getters give it against the cell document: the
// catalogue index of an item cell, whose id, resume position and progress
// the document shows; -1 for a cell of the row's own text.
inline void check_cell_item(int32_t row, int32_t cell, yyjson_val* doc) {
  const int32_t index = kavo_row_cell_item_index(row, cell);
  yyjson_val* id = yyjson_obj_get(doc, "item_id");
  if (index < 0) {
    FZ_CHECK(index == -1 && yyjson_is_null(id));
    return;
  }
  FZ_CHECK(index < kavo_item_count());
  FZ_CHECK(yyjson_is_str(id) && std::strcmp(kavo_item_id(index), yyjson_get_str(id)) == 0);
  const double position = kavo_item_resume_position_s(index);
  const double fraction = kavo_item_progress_fraction(index);
  yyjson_val* jposition = yyjson_obj_get(doc, "resume_position_s");
  yyjson_val* jfraction = yyjson_obj_get(doc, "progress_fraction");
  // Written as null when negative.
  FZ_CHECK(position < 0 ? yyjson_is_null(jposition) : yyjson_get_num(jposition) == position);
  FZ_CHECK(fraction < 0 ? yyjson_is_null(jfraction) : yyjson_get_num(jfraction) == fraction);
  FZ_CHECK(kavo_item_resume_action(index) == kavo_row_cell_resume_action(row, cell));
}

struct Limits {
  int32_t rows = 48;
  int32_t cells = 24;
  int32_t items = 24;
};

// Walks everything the host can read and checks that it agrees: the result
// document against the row and cell accessors and getters, the held documents
// parse, invalid indexes give the documented failures, and no query changes
// the status code. kavo_detail_json is left out (it may store code 5).
inline void check_model(const Limits& lim = Limits()) {
  const int32_t code = kavo_last_code();
  const int32_t n_rows = kavo_row_count();
  FZ_CHECK(n_rows >= 0 && n_rows <= 2000);

  Json result(kavo_result_json());
  FZ_CHECK_MSG(result.ok(), kavo_result_json());
  FZ_CHECK(yyjson_is_obj(result.root()));
  yyjson_val* rows = yyjson_obj_get(result.root(), "rows");
  if (yyjson_obj_size(result.root()) == 0) {
    // "{}": no input since the last clear. Rows are rebuilt only together
    // with the result document, so there are none.
    FZ_CHECK(n_rows == 0);
  } else {
    FZ_CHECK(int_member(result.root(), "version") == 1);
    FZ_CHECK(int_member(result.root(), "status") == 0);
    FZ_CHECK(int_member(result.root(), "row_count") == n_rows);
    FZ_CHECK(yyjson_is_arr(rows) && static_cast<int64_t>(yyjson_arr_size(rows)) == n_rows);
    yyjson_val* stats = yyjson_obj_get(result.root(), "stats");
    FZ_CHECK(yyjson_is_obj(stats));
    FZ_CHECK(int_member(stats, "rows") == n_rows);
    int64_t cells = 0;
    int64_t continue_candidates = 0;
    size_t i, max;
    yyjson_val* row;
    yyjson_arr_foreach(rows, i, max, row) {
      const int32_t r = static_cast<int32_t>(i);
      FZ_CHECK(int_member(row, "index") == r);
      FZ_CHECK(int_member(row, "kind") == kavo_row_kind(r));
      FZ_CHECK(int_member(row, "cell_count") == kavo_row_cell_count(r));
      FZ_CHECK(int_member(row, "truncated") == kavo_row_truncated(r));
      const int64_t emitted = int_member(row, "emitted");
      FZ_CHECK(emitted >= 0 && emitted <= 2000 && emitted <= kavo_row_cell_count(r));
      FZ_CHECK((kavo_row_truncated(r) != 0) == (emitted < kavo_row_cell_count(r)));
      FZ_CHECK(kavo_row_emitted(r) == emitted);
      yyjson_val* row_cells = yyjson_obj_get(row, "cells");
      FZ_CHECK(yyjson_is_arr(row_cells) && static_cast<int64_t>(yyjson_arr_size(row_cells)) == emitted);
      cells += emitted;
      if (kavo_row_kind(r) == 0) continue_candidates = kavo_row_cell_count(r);
      const char* key = kavo_row_key(r);
      yyjson_val* jkey = yyjson_obj_get(row, "key");
      FZ_CHECK(key ? (yyjson_is_str(jkey) && std::strcmp(key, yyjson_get_str(jkey)) == 0)
                   : yyjson_is_null(jkey));
      if (r >= lim.rows) continue;
      const char* row_doc = kavo_row_json(r);
      FZ_CHECK_MSG(row_doc != nullptr, kavo_last_error());
      FZ_CHECK_MSG(write_val(row) == row_doc, row_doc);
      size_t c, cmax;
      yyjson_val* cell;
      yyjson_arr_foreach(row_cells, c, cmax, cell) {
        if (static_cast<int32_t>(c) >= lim.cells) break;
        const char* cell_doc = kavo_row_cell_json(r, static_cast<int32_t>(c));
        FZ_CHECK_MSG(cell_doc != nullptr, kavo_last_error());
        FZ_CHECK_MSG(write_val(cell) == cell_doc, cell_doc);
        const char* title = kavo_row_cell_title(r, static_cast<int32_t>(c));
        yyjson_val* jtitle = yyjson_obj_get(cell, "title");
        FZ_CHECK(title ? (yyjson_is_str(jtitle) && std::strcmp(title, yyjson_get_str(jtitle)) == 0)
                       : yyjson_is_null(jtitle));
        check_cell_item(r, static_cast<int32_t>(c), cell);
      }
      check_getter_failure(kavo_row_cell_json(r, static_cast<int32_t>(emitted)), nullptr,
                           "cell index out of range", code);
      check_getter_failure(kavo_row_cell_json(r, -1), nullptr, "cell index out of range", code);
      FZ_CHECK(kavo_row_cell_title(r, static_cast<int32_t>(emitted)) == nullptr);
      FZ_CHECK(kavo_row_cell_item_index(r, static_cast<int32_t>(emitted)) == -1);
      FZ_CHECK(kavo_row_cell_item_index(r, -1) == -1);
    }
    FZ_CHECK(int_member(stats, "cells") == cells);
    FZ_CHECK(int_member(stats, "continue_candidates") == continue_candidates);
    FZ_CHECK(int_member(stats, "items") == kavo_item_count());
    yyjson_val* item = yyjson_obj_get(result.root(), "item");
    const int32_t sel = kavo_selected_index();
    if (sel >= 0 && sel < kavo_item_count()) {
      FZ_CHECK(item == nullptr || yyjson_is_obj(item));
    } else {
      FZ_CHECK(yyjson_is_null(item));
    }
  }

  // Invalid row indexes.
  for (int32_t bad : {-1, n_rows, INT32_MIN, INT32_MAX}) {
    FZ_CHECK(kavo_row_kind(bad) == -1);
    FZ_CHECK(kavo_row_key(bad) == nullptr && kavo_row_title(bad) == nullptr);
    FZ_CHECK(kavo_row_cell_count(bad) == 0 && kavo_row_truncated(bad) == 0 && kavo_row_emitted(bad) == 0);
    FZ_CHECK(kavo_row_cell_item_index(bad, 0) == -1);
    FZ_CHECK(kavo_row_cell_title(bad, 0) == nullptr && kavo_row_cell_poster_url(bad, 0) == nullptr);
    FZ_CHECK(kavo_row_cell_resume_action(bad, 0) == 0 && kavo_row_cell_playable(bad, 0) == 0);
    check_getter_failure(kavo_row_json(bad), nullptr, "row index out of range", code);
    check_getter_failure(kavo_row_cell_json(bad, 0), nullptr, "row index out of range", code);
  }

  // Held documents.
  check_parses(kavo_stats_json(), "stats");
  check_parses(kavo_server_flags_json(), "server flags");
  check_parses(kavo_watchlist_json(), "watchlist");
  check_parses(kavo_browse_history_json(), "browse history");

  // Items.
  const int32_t n_items = kavo_item_count();
  FZ_CHECK(n_items >= 0 && n_items <= 200000);
  for (int32_t i = 0; i < n_items && i < lim.items; ++i) {
    const char* doc = kavo_item_json(i);
    FZ_CHECK_MSG(doc != nullptr, kavo_last_error());
    check_parses(doc, "item");
    const char* id = kavo_item_id(i);
    FZ_CHECK(id != nullptr && id[0] != '\0');
    const int32_t found = kavo_item_index_of(id);
    FZ_CHECK(found >= 0 && found <= i);
    FZ_CHECK(kavo_item_kind(i) >= 0 && kavo_item_kind(i) <= 5);
    FZ_CHECK(kavo_item_resume_action(i) >= 0 && kavo_item_resume_action(i) <= 2);
  }
  for (int32_t bad : {-1, n_items, INT32_MIN}) {
    check_getter_failure(kavo_item_json(bad), nullptr, "item index out of range", code);
    FZ_CHECK(kavo_item_id(bad) == nullptr && kavo_item_kind(bad) == -1);
    FZ_CHECK(kavo_item_added_ms(bad) == -1 && kavo_item_next_id(bad) == nullptr);
    FZ_CHECK(kavo_item_resume_position_s(bad) == -1.0 && kavo_item_progress_fraction(bad) == -1.0);
  }

  // The selection's getters.
  const int32_t sel = kavo_selected_index();
  FZ_CHECK(sel >= -1 && sel < n_items);
  if (sel >= 0) {
    const int32_t n_src = kavo_detail_source_count();
    FZ_CHECK(n_src == kavo_item_source_count(sel));
    for (int32_t s = 0; s < n_src && s < lim.cells; ++s) {
      check_parses(kavo_detail_source_json(s), "source");
    }
    check_getter_failure(kavo_detail_source_json(n_src), nullptr, "source index out of range", code);
    check_getter_failure(kavo_detail_source_json(-1), nullptr, "source index out of range", code);
    Json next(kavo_detail_next_json());
    FZ_CHECK(next.ok() && yyjson_is_obj(next.root()));
    Json events(kavo_detail_autoplay_json());
    FZ_CHECK(events.ok() && yyjson_is_arr(events.root()));
    FZ_CHECK(yyjson_arr_size(events.root()) <= 4);
    FZ_CHECK(kavo_detail_resume_action() == kavo_item_resume_action(sel));
  } else {
    FZ_CHECK(kavo_detail_source_count() == 0);
    check_getter_failure(kavo_detail_source_json(0), nullptr, "no item selected", code);
    check_getter_failure(kavo_detail_next_json(), "{}", "no item selected", code);
    check_getter_failure(kavo_detail_autoplay_json(), "[]", "no item selected", code);
  }
  FZ_CHECK(kavo_last_code() == code);
  check_error_text();
}

// Puts the settings, the row cap and the model back to their state at load.
inline void reset_library() {
  kavo_shutdown();
  kavo_set_row_cap(200);
  kavo_set_resume_settings(nullptr);
  kavo_set_autoplay_settings(nullptr);
  kavo_clear();
}

// A fresh library with the example inputs loaded: the model most targets
// feed their fuzzed input into.
inline void load_example() {
  reset_library();
  FZ_CHECK(kavo_load_inputs(example_inputs().c_str()) == 0);
}

}  // namespace fz
