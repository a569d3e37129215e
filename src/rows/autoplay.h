// The autoplay timeline of an item: when the player prepares and shows the
// proposal of the next item, and when it counts down to the end. The resume
// decision reads the proposal time too (an item watched up to its proposal
// can count as finished), so the timeline lives with the rows.
#pragma once

#include "frame/model.h"

namespace kavo {

// The base duration of an item: duration_s when > 0, else runtime_min * 60
// when > 0; false when there is none.
bool base_duration(const Item& item, double* out);

// The time of the next-item proposal for an item of base duration `base`
// (> 0) under the current autoplay settings; false when there is none. The
// item (NULL: an item known by its duration alone) gives the start of its
// credits and its next episode.
bool proposal_time(double base, const Item* item, double* out);

// The autoplay events of an item of base duration `base` (> 0) under the
// current settings, the proposal's before the ending's; `item` as above.
ApEvents build_autoplay(double base, const Item* item = nullptr);

}  // namespace kavo
