// The detail document of the selected item.
#include "documents/documents.h"
#include "documents/writers.h"
#include "frame/status.h"

namespace kavo {

namespace {

const char* action_name(int32_t action) {
  if (action == kResume) return "resume";
  if (action == kFinished) return "finished";
  return "start";
}

// The watch-progress entry of an item, or NULL. A link beyond the entries in
// use (left behind by a failed watch call) reads as no entry.
const WatchRec* watch_of(const Item& item) {
  if (item.watch_index < 0 || item.watch_index >= n_watch()) return nullptr;
  return &s_watch[static_cast<std::size_t>(item.watch_index)];
}

}  // namespace

yyjson_mut_val* json_detail(yyjson_mut_doc* doc, int32_t index) {
  if (!valid_item_index(index)) return nullptr;
  const Item& item = s_items[static_cast<std::size_t>(index)];
  yyjson_mut_val* root = json_item(doc, item);
  if (root == nullptr) return nullptr;

  double base = 0.0;
  const bool have_base = base_duration(item, &base);

  yyjson_mut_val* resume = yyjson_mut_obj(doc);
  add_json_val(doc, root, "resume", resume);
  add_json_int(doc, resume, "action", item.resume_action);
  add_json_str(doc, resume, "action_name", action_name(item.resume_action));
  add_json_val(doc, resume, "position_s", yyjson_mut_real(doc, item.resume_position_s));
  add_json_val(doc, resume, "fraction", yyjson_mut_real(doc, item.progress_fraction));
  add_json_int(doc, resume, "clamped", item.resume_clamped);
  add_json_int(doc, resume, "remember_last_position", s_remember_last_position);
  add_json_int(doc, resume, "remember_audio", s_remember_audio);
  add_json_real_or_null(doc, resume, "base_duration_s", have_base ? base : -1.0);
  if (const WatchRec* w = watch_of(item); w != nullptr && resume != nullptr) {
    yyjson_mut_val* watch = yyjson_mut_obj(doc);
    add_json_val(doc, resume, "watch", watch);
    add_json_str(doc, watch, "source", w->source.get());
    add_json_str(doc, watch, "key", w->key.get());
    add_json_ll_or_null(doc, watch, "updated_ms", w->updated_ms);
    add_json_real_or_null(doc, watch, "position_s", w->position_s);
    add_json_real_or_null(doc, watch, "fraction", w->fraction);
  }

  add_json_val(doc, root, "next", json_next(doc, item));

  yyjson_mut_val* autoplay = yyjson_mut_obj(doc);
  add_json_val(doc, root, "autoplay", autoplay);
  add_json_int(doc, autoplay, "configured", s_ap_configured);
  s_n_ap = 0;
  if (have_base && s_ap_configured != 0) build_autoplay(base);
  add_json_val(doc, autoplay, "events", json_events(doc));
  return root;
}

void rebuild_detail() {
  s_detail_json.reset();
  if (!valid_item_index(s_sel)) return;
  yyjson_mut_doc* doc = yyjson_mut_doc_new(nullptr);
  if (doc == nullptr) return;
  yyjson_mut_val* root = json_detail(doc, s_sel);
  if (root != nullptr) {
    yyjson_mut_doc_set_root(doc, root);
    s_detail_json = write_doc(doc);
  }
  yyjson_mut_doc_free(doc);
}

const char* detail_json_text() {
  if (s_sel < 0) {
    fail(kNotFound, "no item selected");
    return nullptr;
  }
  return s_detail_json ? s_detail_json.get() : "{}";
}

}  // namespace kavo
