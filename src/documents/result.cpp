// The result document: every row with its cells, the selected item's detail,
// the server side documents and a block of counts.
#include <cstring>

#include "documents/documents.h"
#include "documents/writers.h"

namespace kavo {

namespace {

// A copy of a stored side document ("{}" when none is stored); none when the
// stored text is not valid JSON.
yyjson_mut_val* side_copy(yyjson_mut_doc* doc, const Text& stored) {
  const char* text = stored ? stored.get() : "{}";
  yyjson_doc* parsed = yyjson_read_opts(const_cast<char*>(text), std::strlen(text), 0, nullptr, nullptr);
  if (parsed == nullptr) return nullptr;
  yyjson_mut_val* copy = mut_from_val(doc, yyjson_doc_get_root(parsed));
  yyjson_doc_free(parsed);
  return copy;
}

}  // namespace

void rebuild_result() {
  // Made and written in memory kept from the last rebuild.
  yyjson_mut_doc* doc = kept_doc_new();
  if (doc == nullptr) return;  // the previous text stays
  struct DocGuard {
    yyjson_mut_doc* doc;
    ~DocGuard() { yyjson_mut_doc_free(doc); }
  } guard{doc};

  yyjson_mut_val* root = yyjson_mut_obj(doc);
  yyjson_mut_doc_set_root(doc, root);
  add_json_int(doc, root, "version", 1);
  add_json_int(doc, root, "status", 0);
  add_json_int(doc, root, "row_count", n_rows());

  int32_t cells = 0;
  yyjson_mut_val* rows = yyjson_mut_arr(doc);
  if (rows != nullptr) {
    for (int32_t r = 0; r < n_rows(); ++r) {
      yyjson_mut_val* row = json_row(doc, r, &cells);
      if (row != nullptr) yyjson_mut_arr_append(rows, row);
    }
    add_json_val(doc, root, "rows", rows);
  }

  if (valid_item_index(s_sel)) {
    add_json_val(doc, root, "item", json_detail(doc, s_sel));  // left out when it fails
  } else {
    add_json_val(doc, root, "item", yyjson_mut_null(doc));
  }

  add_json_val(doc, root, "server_flags", side_copy(doc, s_flags_json));
  add_json_val(doc, root, "watchlist", side_copy(doc, s_watchlist_json));
  add_json_val(doc, root, "browse_history", side_copy(doc, s_bh_json));

  int32_t continue_candidates = 0;
  for (const Row& row : s_rows) {
    if (row.kind == kContinueWatching) continue_candidates = row.cell_count;
  }
  int32_t unmatched = 0;
  for (const Item& entry : s_lib) {
    if (entry.catalogue_index < 0) ++unmatched;
  }
  for (const Item& item : s_items) {
    if (item.unmatched != 0) ++unmatched;
  }
  yyjson_mut_val* stats = yyjson_mut_obj(doc);
  add_json_val(doc, root, "stats", stats);
  add_json_int(doc, stats, "items", n_items());
  add_json_int(doc, stats, "watch", n_watch());
  add_json_int(doc, stats, "library", n_lib());
  add_json_int(doc, stats, "rows", n_rows());
  add_json_int(doc, stats, "cells", cells);
  add_json_int(doc, stats, "rejected", s_rejected);
  add_json_int(doc, stats, "continue_candidates", continue_candidates);
  add_json_int(doc, stats, "unmatched", unmatched);

  // A refused document leaves no text: the getter then reads "{}".
  s_result_json = kept_write(doc);
}

}  // namespace kavo
