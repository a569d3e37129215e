// The next episode of an item and its autoplay events.
#include "documents/documents.h"
#include "documents/layouts.h"
#include "documents/writers.h"
#include "frame/status.h"

namespace kavo {

namespace {

// The distance of each prepare event before the event it prepares.
constexpr double kPrepareLeadS = 15.0;

void push_event(ApEvents& events, const char* name, double at_s, int32_t auto_dismiss, int32_t auto_play,
                int32_t is_prepare) {
  if (events.count >= 4) return;
  ApEvent& e = events.list[events.count++];
  e.name = name;
  e.at_s = at_s;
  e.auto_dismiss = auto_dismiss;
  e.auto_play = auto_play;
  e.is_prepare = is_prepare;
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

ApEvents build_autoplay(double base) {
  ApEvents events;
  if (s_ap_configured == 0) return events;
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
    if (q > 0.0 && q < d) push_event(events, "PrepareProposal", q, 0, 0, 1);
    push_event(events, "Proposal", p, 1, 0, 0);
  }
  if (s_ap_countdown != 0) {
    const double e = d - s_ap_countdown_s;
    if (e > 0.0 && e < d) {
      const double r = e - kPrepareLeadS;
      if (r > 0.0 && r < d) push_event(events, "PrepareEnding", r, 0, 0, 1);
      push_event(events, "Ending", e, 0, s_ap_autoplay, 0);
    }
  }
  return events;
}

const char* detail_next_json_text() {
  static GetterBuffer buffer(8192);
  const Item* item = selection_or_message();
  if (item == nullptr) return "{}";
  return getter_text(buffer, "{}", [&](MutJson& out) { put_next(out, *item); });
}

const char* detail_autoplay_json_text() {
  static GetterBuffer buffer(8192);
  const Item* item = selection_or_message();
  if (item == nullptr) return "[]";
  // Recomputed from the current settings on every call.
  double base = 0.0;
  const ApEvents events = base_duration(*item, &base) ? build_autoplay(base) : ApEvents();
  return getter_text(buffer, "[]", [&events](MutJson& out) { put_events(out, events); });
}

}  // namespace kavo
