// The result document: every row with its cells, the selected item's detail,
// the server side documents and a block of counts.
#include <cstdlib>
#include <cstring>

#include "documents/documents.h"
#include "documents/writers.h"
#include "rows/rows.h"

namespace kavo {

namespace {

// A stored side document ("{}" when none is stored) as the result document
// holds it: the parsed text written out again. Nothing when the stored text
// is not valid JSON (the member is left out); false when memory ran out.
bool write_side(KeptJson& out, const char* key, const Text& stored) {
  const char* text = stored ? stored.get() : "{}";
  yyjson_doc* parsed = yyjson_read_opts(const_cast<char*>(text), std::strlen(text), 0, nullptr, nullptr);
  if (parsed == nullptr) return true;
  std::size_t len = 0;
  char* written = yyjson_write_opts(parsed, 0, nullptr, &len, nullptr);
  yyjson_doc_free(parsed);
  if (written == nullptr) return false;
  out.lit(",\"");
  out.raw(key);
  out.lit("\":");
  out.raw(written, len);
  std::free(written);
  return true;
}

}  // namespace

void rebuild_result() {
  // The detail of the selected item is made as a document of its own; when
  // even that cannot be made the previous text stays.
  yyjson_mut_doc* doc = nullptr;
  if (valid_item_index(s_sel)) {
    doc = kept_doc_new();
    if (doc == nullptr) return;
  }
  struct DocGuard {
    yyjson_mut_doc* doc;
    ~DocGuard() { yyjson_mut_doc_free(doc); }
  } guard{doc};

  // The rest is written as text straight from the model, into memory kept
  // from the last rebuild: the same text as writing the whole document.
  KeptJson out;
  out.lit("{\"version\":1,\"status\":0,\"row_count\":");
  out.sint(n_rows());
  out.lit(",\"rows\":[");
  int32_t cells = 0;
  for (int32_t r = 0; r < n_rows(); ++r) {
    if (r > 0) out.lit(",");
    cells += write_row(out, r);
  }
  out.lit("]");

  if (doc != nullptr) {
    if (yyjson_mut_val* detail = json_detail(doc, s_sel)) {  // left out when it fails
      out.lit(",\"item\":");
      out.value(detail);
    }
  } else {
    out.lit(",\"item\":null");
  }

  bool ok = write_side(out, "server_flags", s_flags_json);
  ok = ok && write_side(out, "watchlist", s_watchlist_json);
  ok = ok && write_side(out, "browse_history", s_bh_json);
  if (!ok) {
    s_result_json = Text();
    return;
  }

  out.lit(",\"stats\":{\"items\":");
  out.sint(n_items());
  out.lit(",\"watch\":");
  out.sint(n_watch());
  out.lit(",\"library\":");
  out.sint(n_lib());
  out.lit(",\"rows\":");
  out.sint(n_rows());
  out.lit(",\"cells\":");
  out.sint(cells);
  out.lit(",\"rejected\":");
  out.sint(s_rejected);
  out.lit(",\"continue_candidates\":");
  out.sint(continue_candidates());
  out.lit(",\"unmatched\":");
  out.sint(unmatched_count());
  out.lit("}}");

  // A refused document leaves no text: the getter then reads "{}".
  s_result_json = out.finish();
}

}  // namespace kavo
