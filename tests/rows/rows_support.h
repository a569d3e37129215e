// Helpers for the row tests: records pushed straight into the model, rows
// read back as plain values.
#pragma once

#include <yyjson.h>

#include <cstring>
#include <string>
#include <vector>

#include "frame/model.h"
#include "api/sequence.h"
#include "documents/documents.h"
#include "rows/rows.h"
#include "support/fixture.h"

namespace rows_test {

using namespace kavo;

// Appends a catalogue item and returns its index.
inline int32_t add_item(const char* id, int32_t kind = kMovie, const char* title = nullptr) {
  Item it;
  it.id = xstrdup(id);
  it.kind = kind;
  it.title = xstrdup(title);
  s_items.push_back(std::move(it));
  return n_items() - 1;
}

inline Item& item(int32_t index) { return s_items[static_cast<std::size_t>(index)]; }

inline void set_text(Text& field, const char* value) { field = xstrdup(value); }

// Gives an item a first source with `url` (or `uri` when url is NULL) and
// marks it playable.
inline void add_source(Item& it, const char* url, const char* uri = nullptr) {
  Source s;
  s.url = xstrdup(url);
  s.uri = xstrdup(uri);
  it.sources.push_back(std::move(s));
  it.playable = 1;
}

inline int32_t add_lib(const char* id, int32_t kind, const char* title, const char* path = nullptr) {
  Item e;
  e.id = xstrdup(id);
  e.kind = kind;
  e.title = xstrdup(title);
  e.path = xstrdup(path);
  s_lib.push_back(std::move(e));
  return n_lib() - 1;
}

inline WatchRec& add_watch(const char* item_id, const char* imdb = nullptr, const char* source = nullptr) {
  WatchRec w;
  w.item_id = xstrdup(item_id);
  w.imdb_id = xstrdup(imdb);
  w.source = xstrdup(source);
  s_watch.push_back(std::move(w));
  return s_watch.back();
}

// Holds `json` as the server home document.
inline void set_home(const char* json) {
  s_home_doc.reset(yyjson_read(json, std::strlen(json), 0));
  s_have_home = s_home_doc != nullptr;
}

inline int32_t find_row(const char* key) {
  for (int32_t r = 0; r < n_rows(); ++r) {
    const Text& k = s_rows[static_cast<std::size_t>(r)].key;
    if (k && std::strcmp(k.get(), key) == 0) return r;
  }
  return -1;
}

inline std::vector<std::string> row_keys() {
  std::vector<std::string> keys;
  for (const Row& r : s_rows) keys.push_back(r.key ? r.key.get() : "<null>");
  return keys;
}

// The cells of a row as readable labels: the item's id for item cells,
// "raw:" + title for raw cells.
inline std::vector<std::string> cell_labels(int32_t row) {
  std::vector<std::string> out;
  if (row < 0 || row >= n_rows()) return out;
  for (const Cell& c : s_rows[static_cast<std::size_t>(row)].cells) {
    if (c.item_index >= 0) {
      out.push_back(item(c.item_index).id.get());
    } else {
      std::string label = "raw:";
      label += c.title ? c.title.get() : "<null>";
      out.push_back(label);
    }
  }
  return out;
}

inline std::vector<std::string> cells_of(const char* key) { return cell_labels(find_row(key)); }

// The titles the candidate list holds, in order (for comparator tests made of
// raw candidates).
inline std::vector<std::string> cand_titles() {
  std::vector<std::string> out;
  for (const Cand& c : s_cand) {
    if (c.item_index >= 0 && item(c.item_index).title) {
      out.push_back(item(c.item_index).title.get());
    } else {
      out.push_back(c.title ? c.title.get() : "<null>");
    }
  }
  return out;
}

using Strings = std::vector<std::string>;

// prefix followed by the decimal digits of n (built by appending, which
// keeps some compilers' overlap warnings on string concatenation quiet).
inline std::string numbered(const char* prefix, long long n) {
  std::string s = prefix;
  s += std::to_string(n);
  return s;
}

// A playable item with a resumable entry updated at `updated`.
inline int32_t watched(const char* id, int64_t updated, int32_t kind = kMovie) {
  const int32_t i = add_item(id, kind, id);
  add_source(item(i), "http://x");
  item(i).duration_s = 3600;
  WatchRec& w = add_watch(id);
  w.position_s = 600;
  w.updated_ms = updated;
  return i;
}

// A watch entry for the resume decision alone (linked to nothing).
inline WatchRec entry(double position, double fraction, double duration = -1.0, int32_t finished = -1) {
  WatchRec w;
  w.position_s = position;
  w.fraction = fraction;
  w.duration_s = duration;
  w.finished = finished;
  return w;
}

// An item that lasts `duration_s` seconds (or its runtime in minutes).
inline Item with_duration(double duration_s, int32_t runtime_min = -1) {
  Item it;
  it.duration_s = duration_s;
  it.runtime_min = runtime_min;
  return it;
}

class RowsTest : public kavo_test::KavoTest {
 protected:
  void SetUp() override {
    kavo_test::KavoTest::SetUp();
    s_cand.clear();
  }
};

}  // namespace rows_test
