// Exported documents and selection queries.
#include "documents/documents.h"
#include "frame/guard.h"
#include "frame/model.h"
#include "kavo.h"

using namespace kavo;

namespace {

const char* held_or_empty(const Text& text) { return text ? text.get() : "{}"; }

const Item* selected_item() {
  return valid_item_index(s_sel) ? &s_items[static_cast<std::size_t>(s_sel)] : nullptr;
}

}  // namespace

extern "C" {

KAVO_API const char* kavo_item_json(int32_t index) {
  return guard_getter(nullptr, [&] { return item_json_text(index); });
}

KAVO_API const char* kavo_row_json(int32_t row) {
  return guard_getter(nullptr, [&] { return row_json_text(row); });
}

KAVO_API const char* kavo_row_cell_json(int32_t row, int32_t cell) {
  return guard_getter(nullptr, [&] { return cell_json_text(row, cell); });
}

KAVO_API const char* kavo_result_json(void) { return result_json_text(); }
KAVO_API const char* kavo_server_flags_json(void) { return held_or_empty(s_flags_json); }
KAVO_API const char* kavo_watchlist_json(void) { return held_or_empty(s_watchlist_json); }
KAVO_API const char* kavo_browse_history_json(void) { return held_or_empty(s_bh_json); }

KAVO_API int32_t kavo_selected_index(void) { return s_sel; }

KAVO_API const char* kavo_detail_json(void) {
  return guard_value<const char*>(nullptr, [] { return detail_json_text(); });
}

KAVO_API int32_t kavo_detail_source_count(void) {
  const Item* item = selected_item();
  return item ? item->source_count() : 0;
}

KAVO_API const char* kavo_detail_source_json(int32_t index) {
  return guard_getter(nullptr, [&] { return detail_source_json_text(index); });
}

KAVO_API const char* kavo_detail_best_source_url(void) {
  return guard_value<const char*>(nullptr, [] { return detail_best_source_url(); });
}

KAVO_API int32_t kavo_detail_resume_action(void) {
  const Item* item = selected_item();
  return item ? item->resume_action : 0;
}

KAVO_API double kavo_detail_resume_position_s(void) {
  const Item* item = selected_item();
  return item ? item->resume_position_s : 0.0;
}

KAVO_API double kavo_detail_progress_fraction(void) {
  const Item* item = selected_item();
  return item ? item->progress_fraction : 0.0;
}

KAVO_API int32_t kavo_detail_resume_clamped(void) {
  const Item* item = selected_item();
  return item ? item->resume_clamped : 0;
}

KAVO_API const char* kavo_detail_next_json(void) {
  return guard_getter("{}", [] { return detail_next_json_text(); });
}

KAVO_API const char* kavo_detail_autoplay_json(void) {
  return guard_getter("[]", [] { return detail_autoplay_json_text(); });
}

KAVO_API int32_t kavo_detail_autoplay_configured(void) { return s_ap_configured != 0 ? 1 : 0; }

}  // extern "C"
