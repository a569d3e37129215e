#include "rows/autoplay.h"

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

// How long before the end of an item of duration `d` the fixed proposal
// comes: the step for the longest running time that `d` reaches (the first
// such step among equals), else the one fixed distance.
double fixed_distance(const AutoplaySettings& ap, double d) {
  const PresentStep* best = nullptr;
  for (int32_t k = 0; k < ap.n_steps; ++k) {
    const PresentStep& step = ap.steps[k];
    if (step.min_duration_s <= d && (best == nullptr || step.min_duration_s > best->min_duration_s)) best = &step;
  }
  return best != nullptr ? best->before_s : ap.fixed_dur_s;
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

bool proposal_time(double base, const Item* item, double* out) {
  const AutoplaySettings& ap = s_settings.autoplay;
  if (ap.configured == 0) return false;
  if (ap.proposal_only_with_next != 0 && (item == nullptr || !valid_item_index(item->next_index))) return false;
  const double d = base;
  double p = 0.0;
  if (ap.present_at_credits != 0 && item != nullptr && item->credits_start_s > 0.0 && item->credits_start_s < d) {
    p = item->credits_start_s;  // over both the fixed distance and the share
  } else {
    const bool pct_ok = ap.pct != 0 && ap.pct_val > 0.0 && ap.pct_val < 1.0;
    const double before = ap.fixed != 0 ? fixed_distance(ap, d) : 0.0;
    if (ap.fixed != 0 && d > before) {
      p = d - before;
      if (pct_ok) p = ap.pct_val * d;  // the fraction wins over the fixed distance
    } else if (pct_ok) {
      p = ap.pct_val * d;
    } else {
      return false;
    }
  }
  if (!(p > 0.0 && p < d)) return false;
  *out = p;
  return true;
}

ApEvents build_autoplay(double base, const Item* item) {
  ApEvents events;
  const AutoplaySettings& ap = s_settings.autoplay;
  if (ap.configured == 0) return events;
  const double d = base;
  double p = 0.0;
  if (proposal_time(d, item, &p)) {
    const double q = p - kPrepareLeadS;
    if (q > 0.0 && q < d) push_event(events, "PrepareProposal", q, 0, 0, 1);
    push_event(events, "Proposal", p, 1, 0, 0);
  }
  if (ap.countdown != 0) {
    const double e = d - ap.countdown_s;
    if (e > 0.0 && e < d) {
      const double r = e - kPrepareLeadS;
      if (r > 0.0 && r < d) push_event(events, "PrepareEnding", r, 0, 0, 1);
      push_event(events, "Ending", e, 0, ap.autoplay, 0);
    }
  }
  return events;
}

}  // namespace kavo
