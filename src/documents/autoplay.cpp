// The getters of the selected item's next episode and autoplay events.
#include "documents/documents.h"
#include "documents/layouts.h"
#include "documents/writers.h"
#include "frame/status.h"

namespace kavo {

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
  const ApEvents events = base_duration(*item, &base) ? build_autoplay(base, item) : ApEvents();
  return getter_text(buffer, "[]", [&events](MutJson& out) { put_events(out, events); });
}

}  // namespace kavo
