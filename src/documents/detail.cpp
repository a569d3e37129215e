// The detail document of the selected item.
#include "documents/documents.h"
#include "documents/layouts.h"
#include "documents/writers.h"
#include "frame/status.h"

namespace kavo {

yyjson_mut_val* json_detail(yyjson_mut_doc* doc, int32_t index) {
  if (!valid_item_index(index)) return nullptr;
  MutJson out(doc);
  put_detail(out, s_items[static_cast<std::size_t>(index)]);
  return out.root();
}

void rebuild_detail() {
  s_detail_json.reset();
  if (!valid_item_index(s_sel)) return;
  const MutJsonDoc doc = new_mut_doc();
  if (!doc) return;
  if (yyjson_mut_val* root = json_detail(doc.get(), s_sel)) {
    yyjson_mut_doc_set_root(doc.get(), root);
    s_detail_json = write_doc(doc.get());
  }
}

const char* detail_json_text() {
  if (s_sel < 0) {
    fail(kNotFound, "no item selected");
    return nullptr;
  }
  return s_detail_json ? s_detail_json.get() : "{}";
}

}  // namespace kavo
