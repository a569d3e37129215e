// Exported row and cell queries.
#include "frame/model.h"
#include "kavo.h"

using namespace kavo;

namespace {

const Row* row_at(int32_t row) {
  return (row >= 0 && row < n_rows()) ? &s_rows[static_cast<std::size_t>(row)] : nullptr;
}

const Cell* cell_at(int32_t row, int32_t cell) {
  const Row* r = row_at(row);
  if (r == nullptr || cell < 0 || cell >= r->emitted) return nullptr;
  return &r->cells[static_cast<std::size_t>(cell)];
}

// The catalogue item of an item cell, NULL for a raw cell.
const Item* cell_item(const Cell* cell) {
  if (cell == nullptr || !valid_item_index(cell->item_index)) return nullptr;
  return &s_items[static_cast<std::size_t>(cell->item_index)];
}

}  // namespace

extern "C" {

KAVO_API int32_t kavo_row_count(void) { return n_rows(); }

KAVO_API int32_t kavo_row_kind(int32_t row) {
  const Row* r = row_at(row);
  return r ? r->kind : -1;
}

KAVO_API const char* kavo_row_key(int32_t row) {
  const Row* r = row_at(row);
  return r ? r->key.get() : nullptr;
}

KAVO_API const char* kavo_row_title(int32_t row) {
  const Row* r = row_at(row);
  return r ? r->title.get() : nullptr;
}

KAVO_API int32_t kavo_row_cell_count(int32_t row) {
  const Row* r = row_at(row);
  return r ? r->cell_count : 0;
}

KAVO_API int32_t kavo_row_emitted(int32_t row) {
  const Row* r = row_at(row);
  return r ? r->emitted : 0;
}

KAVO_API int32_t kavo_row_truncated(int32_t row) {
  const Row* r = row_at(row);
  return r ? r->truncated : 0;
}

KAVO_API int32_t kavo_row_cell_item_index(int32_t row, int32_t cell) {
  const Cell* c = cell_at(row, cell);
  return c != nullptr && cell_item(c) != nullptr ? c->item_index : -1;
}

KAVO_API const char* kavo_row_cell_title(int32_t row, int32_t cell) {
  const Cell* c = cell_at(row, cell);
  if (c == nullptr) return nullptr;
  const Item* item = cell_item(c);
  if (item != nullptr && item->title) return item->title.get();
  return c->title.get();
}

KAVO_API const char* kavo_row_cell_poster_url(int32_t row, int32_t cell) {
  const Item* item = cell_item(cell_at(row, cell));
  return item ? item->poster_url.get() : nullptr;
}

KAVO_API int32_t kavo_row_cell_resume_action(int32_t row, int32_t cell) {
  const Item* item = cell_item(cell_at(row, cell));
  return item ? item->resume_action : 0;
}

KAVO_API int32_t kavo_row_cell_playable(int32_t row, int32_t cell) {
  const Item* item = cell_item(cell_at(row, cell));
  return item ? item->playable : 0;
}

KAVO_API const char* kavo_stats_json(void) {
  return s_stats_json ? s_stats_json.get() : "{}";
}

}  // extern "C"
