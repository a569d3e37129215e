// The result document: every row with its cells, the selected item's detail,
// the server side documents and a block of counts.
#include <cstring>
#include <utility>

#include "documents/documents.h"
#include "documents/layouts.h"
#include "documents/writers.h"
#include "frame/json_doc.h"
#include "rows/rows.h"

namespace kavo {

namespace {

// A stored side document ("{}" when none is stored) as the result document
// holds it: the parsed text written out again. Nothing when the stored text
// is not valid JSON (the member is left out); false when memory ran out.
template <std::size_t N>
bool write_side(KeptJson& out, const char (&key)[N], const Text& stored) {
  const char* text = stored ? stored.get() : "{}";
  std::size_t len = 0;
  Text written;
  {
    const JsonDoc parsed = read_json(text, std::strlen(text));
    if (!parsed) return true;
    written = Text::adopt(yyjson_write_opts(parsed.get(), 0, nullptr, &len, nullptr));
  }
  if (!written) return false;
  out.key(key).json(written.get(), len);
  return true;
}

// The kept buffer holding the last result text; the next one is written in
// the other, copying from this one the rows that did not change.
int s_result_slot = 0;

// Whether a stored cell of `row` shows an item whose cells read differently
// since the last result text.
bool shows_changed_item(const Row& row) {
  const ChangedItems& changed = s_model.changed_items;
  if (changed.list.empty()) return false;
  const std::size_t stored = static_cast<std::size_t>(row.emitted < 0 ? 0 : row.emitted);
  for (std::size_t i = 0; i < stored && i < row.cells.size(); ++i) {
    const int32_t index = row.cells[i].item_index;
    if (index >= 0 && static_cast<std::size_t>(index) < changed.marked.size() &&
        changed.marked[static_cast<std::size_t>(index)] != 0) {
      return true;
    }
  }
  return false;
}

// Writes the row at `r`: copied from the last result text when it holds the
// row as it is, else from the model; answers the cell documents written.
int32_t put_row_kept(KeptJson& out, int32_t r, const char* last, uint64_t last_generation) {
  Row& row = s_rows[static_cast<std::size_t>(r)];
  const bool unchanged = last != nullptr && last_generation != 0 && row.written.generation == last_generation &&
                         !s_model.changed_items.all && !shows_changed_item(row);
  put_row_index(out, r);
  const std::size_t at = out.size();
  int32_t cells = 0;
  if (unchanged) {
    out.object_rest(last + row.written.at, row.written.len);
    cells = row.written.cells;
  } else {
    cells = put_row_rest(out, row);
  }
  row.written = Row::Written{at, out.size() - at, out.generation(), cells};
  return cells;
}

}  // namespace

void result_changed() noexcept {
  s_model.result_stale = true;
  s_model.result_settings = s_settings;
}

const char* result_json_text() {
  if (s_model.result_stale) {
    s_model.result_stale = false;
    // Written under the settings of the change; the current ones come back
    // whatever happens.
    std::swap(s_settings, s_model.result_settings);
    struct Restore {
      ~Restore() { std::swap(s_settings, s_model.result_settings); }
    } restore;
    try {
      write_result();
    } catch (...) {
      // memory ran out: the previous text stays, as a rebuild would leave it
    }
  }
  return s_result_json ? s_result_json.get() : "{}";
}

void rebuild_result() {
  refile_item_lists();
  mark_all_items_changed();
  s_model.derived.unmatched = count_unmatched();
  write_result();
}

void write_result() {
  // The detail of the selected item is made as a document of its own; when
  // even that cannot be made the previous text stays.
  MutJsonDoc detail_doc;
  if (valid_item_index(s_sel)) {
    detail_doc = kept_doc_new();
    if (!detail_doc) return;
  }

  // The rest is written as text straight from the model, into memory kept
  // from the last rebuild: the same text as writing the whole document.
  const int last_slot = s_result_slot;
  const char* last = kept_text(last_slot);
  const uint64_t last_generation = kept_generation(last_slot);
  KeptJson out(1 - last_slot);
  out.begin_object();
  out.key("version").sint(1);
  out.key("status").sint(0);
  out.key("row_count").sint(n_rows());
  int32_t cells = 0;
  out.key("rows").begin_array();
  for (int32_t r = 0; r < n_rows(); ++r) cells += put_row_kept(out, r, last, last_generation);
  out.end_array();

  if (detail_doc) {
    if (yyjson_mut_val* detail = json_detail(detail_doc.get(), s_sel)) {  // left out when it fails
      out.key("item").value(detail);
    }
  } else {
    out.key("item").null();
  }

  bool ok = write_side(out, "server_flags", s_flags_json);
  ok = ok && write_side(out, "watchlist", s_watchlist_json);
  ok = ok && write_side(out, "browse_history", s_bh_json);
  if (!ok) {
    s_result_json = Text();
    return;
  }

  out.key("stats").begin_object();
  out.key("items").sint(n_items());
  out.key("watch").sint(n_watch());
  out.key("library").sint(n_lib());
  out.key("rows").sint(n_rows());
  out.key("cells").sint(cells);
  out.key("rejected").sint(s_rejected);
  out.key("continue_candidates").sint(continue_candidates());
  out.key("unmatched").sint(unmatched_count());
  out.end_object();
  out.end_object();

  // A refused document leaves no text: the getter then reads "{}".
  s_result_json = out.finish();
  if (s_result_json) s_result_slot = 1 - last_slot;
  forget_item_changes();
}

}  // namespace kavo
