// The stats document: counts of the model and its rows.
#include "documents/documents.h"
#include "documents/writers.h"
#include "rows/rows.h"

namespace kavo {

void write_stats() noexcept {
  int64_t cells = 0;
  for (const Row& r : s_rows) cells += r.emitted;
  try {
    // A document that cannot be created keeps the previous text.
    write_object_doc(s_stats_json, [&](yyjson_mut_doc* doc, yyjson_mut_val* root) {
      add_json_int(doc, root, "items", n_items());
      add_json_int(doc, root, "watch", n_watch());
      add_json_int(doc, root, "library", n_lib());
      add_json_int(doc, root, "rows", n_rows());
      add_json_int(doc, root, "cells", cells);
      add_json_int(doc, root, "rejected", s_rejected);
      add_json_int(doc, root, "continue_candidates", continue_candidates());
      add_json_int(doc, root, "unmatched", unmatched_count());
      add_json_int(doc, root, "basics", n_basics());
      add_json_int(doc, root, "favourites", n_favs());
      add_json_int(doc, root, "row_cap", s_row_cap);
    });
  } catch (...) {
    // memory ran out: the previous text stays
  }
}

}  // namespace kavo
