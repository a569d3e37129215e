// Exported item queries, and the inputs linter.
#include "frame/guard.h"
#include "frame/model.h"
#include "ingest/ingest.h"
#include "kavo.h"

using namespace kavo;

namespace {

const Item* catalogue_item(int32_t index) {
  return valid_item_index(index) ? &s_items[static_cast<std::size_t>(index)] : nullptr;
}

}  // namespace

extern "C" {

KAVO_API int32_t kavo_item_count(void) { return n_items(); }

KAVO_API int32_t kavo_item_index_of(const char* id) {
  return guard_value<int32_t>(-1, [&] { return item_index_of(id); });
}

KAVO_API const char* kavo_item_id(int32_t index) {
  const Item* item = catalogue_item(index);
  return item ? item->id.get() : nullptr;
}

KAVO_API const char* kavo_item_title(int32_t index) {
  const Item* item = catalogue_item(index);
  return item ? item->title.get() : nullptr;
}

KAVO_API const char* kavo_item_imdb(int32_t index) {
  const Item* item = catalogue_item(index);
  return item ? item->imdb_id.get() : nullptr;
}

KAVO_API const char* kavo_item_poster_url(int32_t index) {
  const Item* item = catalogue_item(index);
  return item ? item->poster_url.get() : nullptr;
}

KAVO_API int32_t kavo_item_kind(int32_t index) {
  const Item* item = catalogue_item(index);
  return item ? item->kind : -1;
}

KAVO_API int32_t kavo_item_year(int32_t index) {
  const Item* item = catalogue_item(index);
  return item ? item->year : -1;
}

KAVO_API int32_t kavo_item_season(int32_t index) {
  const Item* item = catalogue_item(index);
  return item ? item->season : -1;
}

KAVO_API int32_t kavo_item_episode(int32_t index) {
  const Item* item = catalogue_item(index);
  return item ? item->episode : -1;
}

KAVO_API int32_t kavo_item_playable(int32_t index) {
  const Item* item = catalogue_item(index);
  return item ? item->playable : 0;
}

KAVO_API int32_t kavo_item_source_count(int32_t index) {
  const Item* item = catalogue_item(index);
  return item ? item->source_count() : 0;
}

KAVO_API int32_t kavo_item_resume_action(int32_t index) {
  const Item* item = catalogue_item(index);
  return item ? item->resume_action : 0;
}

KAVO_API double kavo_item_resume_position_s(int32_t index) {
  const Item* item = catalogue_item(index);
  return item ? item->resume_position_s : -1.0;
}

KAVO_API double kavo_item_progress_fraction(int32_t index) {
  const Item* item = catalogue_item(index);
  return item ? item->progress_fraction : -1.0;
}

KAVO_API int64_t kavo_item_added_ms(int32_t index) {
  const Item* item = catalogue_item(index);
  return item ? item->added_ms : -1;
}

KAVO_API int32_t kavo_item_unmatched(int32_t index) {
  const Item* item = catalogue_item(index);
  return item ? item->unmatched : 0;
}

KAVO_API const char* kavo_item_next_id(int32_t index) {
  const Item* item = catalogue_item(index);
  if (item == nullptr || !valid_item_index(item->next_index)) return nullptr;
  return s_items[static_cast<std::size_t>(item->next_index)].id.get();
}

KAVO_API const char* kavo_lint_json(const char* inputs) {
  return guard_getter(nullptr, [&]() -> const char* {
    if (inputs == nullptr) {
      set_message("null inputs");
      return nullptr;
    }
    const char* doc = lint_json(inputs);
    if (doc == nullptr) set_message("oom");
    return doc;
  });
}

}  // extern "C"
