// The next episode of an item and its autoplay events.
#include "documents/documents.h"
#include "documents/writers.h"
#include "frame/status.h"

namespace kavo {

namespace {

// The distance of each prepare event before the event it prepares.
constexpr double kPrepareLeadS = 15.0;

void push_event(const char* name, double at_s, int32_t auto_dismiss, int32_t auto_play,
                int32_t is_prepare) {
  if (s_n_ap >= 4) return;
  ApEvent& e = s_ap_evts[s_n_ap++];
  e.name = name;
  e.at_s = at_s;
  e.auto_dismiss = auto_dismiss;
  e.auto_play = auto_play;
  e.is_prepare = is_prepare;
}

// An event as a JSON object.
yyjson_mut_val* json_event(yyjson_mut_doc* doc, const ApEvent& e) {
  yyjson_mut_val* obj = yyjson_mut_obj(doc);
  if (obj == nullptr) return nullptr;
  add_json_str(doc, obj, "name", e.name);
  add_json_val(doc, obj, "at_s", yyjson_mut_real(doc, e.at_s));
  add_json_int(doc, obj, "auto_dismiss", e.auto_dismiss);
  add_json_int(doc, obj, "auto_play", e.auto_play);
  add_json_int(doc, obj, "is_prepare", e.is_prepare);
  return obj;
}

}  // namespace

bool base_duration(const Item& item, double* out) {
  if (item.duration_s > 0.0) {
    *out = item.duration_s;
    return true;
  }
  if (item.runtime_min > 0) {
    *out = static_cast<double>(item.runtime_min) * 60.0;
    return true;
  }
  return false;
}

void build_autoplay(double base) {
  s_n_ap = 0;
  if (s_ap_configured == 0) return;
  const double d = base;
  const bool pct_ok = s_ap_pct != 0 && s_ap_pct_val > 0.0 && s_ap_pct_val < 1.0;
  bool have_proposal = false;
  double p = 0.0;
  if (s_ap_fixed != 0 && d > s_ap_fixed_dur_s) {
    p = d - s_ap_fixed_dur_s;
    if (pct_ok) p = s_ap_pct_val * d;  // the fraction wins over the fixed distance
    have_proposal = true;
  } else if (pct_ok) {
    p = s_ap_pct_val * d;
    have_proposal = true;
  }
  if (have_proposal && p > 0.0 && p < d) {
    const double q = p - kPrepareLeadS;
    if (q > 0.0 && q < d) push_event("PrepareProposal", q, 0, 0, 1);
    push_event("Proposal", p, 1, 0, 0);
  }
  if (s_ap_countdown != 0) {
    const double e = d - s_ap_countdown_s;
    if (e > 0.0 && e < d) {
      const double r = e - kPrepareLeadS;
      if (r > 0.0 && r < d) push_event("PrepareEnding", r, 0, 0, 1);
      push_event("Ending", e, 0, s_ap_autoplay, 0);
    }
  }
}

yyjson_mut_val* json_events(yyjson_mut_doc* doc) {
  yyjson_mut_val* events = yyjson_mut_arr(doc);
  if (events == nullptr) return nullptr;
  for (int32_t i = 0; i < s_n_ap; ++i) {
    yyjson_mut_val* e = json_event(doc, s_ap_evts[i]);
    if (e != nullptr) yyjson_mut_arr_append(events, e);
  }
  return events;
}

yyjson_mut_val* json_next(yyjson_mut_doc* doc, const Item& item) {
  yyjson_mut_val* obj = yyjson_mut_obj(doc);
  if (obj == nullptr) return nullptr;
  if (!valid_item_index(item.next_index)) {
    add_json_str(doc, obj, "item_id", nullptr);
    return obj;
  }
  const Item& next = s_items[static_cast<std::size_t>(item.next_index)];
  add_json_str(doc, obj, "item_id", next.id.get());
  add_json_str(doc, obj, "imdb_id", next.imdb_id.get());
  add_json_str(doc, obj, "title", next.title.get());
  add_json_int_or_null(doc, obj, "season", next.season);
  add_json_int_or_null(doc, obj, "episode", next.episode);
  add_json_int(doc, obj, "playable", next.playable);
  return obj;
}

const char* detail_next_json_text() {
  static GetterBuffer buffer(8192);
  const Item* item = selection_or_message();
  if (item == nullptr) return "{}";
  return getter_text(buffer, "{}", [&](yyjson_mut_doc* doc) { return json_next(doc, *item); });
}

const char* detail_autoplay_json_text() {
  static GetterBuffer buffer(8192);
  const Item* item = selection_or_message();
  if (item == nullptr) return "[]";
  // Recomputed from the current settings on every call.
  s_n_ap = 0;
  double base = 0.0;
  if (base_duration(*item, &base)) build_autoplay(base);
  return getter_text(buffer, "[]", [](yyjson_mut_doc* doc) { return json_events(doc); });
}

}  // namespace kavo
