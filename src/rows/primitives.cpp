// Row, cell and candidate primitives, and the id-list helpers.
//
// Nothing here reports a failure: a row the table cannot take, a cell whose
// array cannot grow or a candidate that cannot be stored is simply missing.
#include <algorithm>
#include <cstring>
#include <string>
#include <new>
#include <utility>

#include "frame/ids.h"
#include "frame/json_lookup.h"
#include "rows/rows.h"

namespace kavo {

namespace {

bool valid_row(int32_t row) { return row >= 0 && row < n_rows(); }

// Row table growth: 64 rows on first use, then doubling, never beyond 2000.
bool rows_room() noexcept {
  if (row_table_full()) return false;
  if (s_rows.size() < s_rows.capacity()) return true;
  std::size_t cap = s_rows.capacity() == 0 ? 64 : s_rows.capacity() * 2;
  if (cap > static_cast<std::size_t>(kMaxRows)) cap = kMaxRows;
  try {
    s_rows.reserve(cap);
  } catch (...) {
    note_allocation_failure();
    return false;
  }
  return true;
}

// Applies the row cap to one offered cell: true when the cell is to be
// stored, false when the cap refuses it (which is counted).
bool offer_cell(Row& r) {
  if (r.emitted >= s_row_cap) {
    r.cell_count++;
    r.truncated = 1;
    return false;
  }
  return true;
}

void store_cell(Row& r, Cell&& cell) {
  try {
    r.cells.push_back(std::move(cell));
  } catch (...) {
    note_allocation_failure();
    return;  // the cell stays missing
  }
  r.emitted++;
  r.cell_count++;
}

}  // namespace

bool row_table_full() noexcept {
  if (n_rows() < kMaxRows) return false;
  s_model.derived.rows_refused = true;
  return true;
}

int32_t row_push(int32_t kind, const char* key, const char* title) {
  if (!rows_room()) return -1;
  Row r;
  r.kind = kind;
  r.key = xstrdup(key);
  r.title = xstrdup(title);
  s_rows.push_back(std::move(r));  // capacity reserved above: cannot throw
  return n_rows() - 1;
}

int32_t row_adopt(Row&& row) {
  if (!rows_room()) {
    free_row(&row);
    return -1;
  }
  s_rows.push_back(std::move(row));  // capacity reserved above: cannot throw
  return n_rows() - 1;
}

int32_t row_insert(int32_t position, int32_t kind, const char* key, const char* title) {
  if (row_table_full()) return -1;
  if (position > n_rows()) position = n_rows();
  if (position < 0) position = 0;
  const int32_t last = row_push(kind, key, title);
  if (last < 0) return -1;
  // Move the new last row into place; the rows from `position` on shift one
  // place towards the end.
  for (int32_t i = last; i > position; --i) {
    std::swap(s_rows[static_cast<std::size_t>(i)], s_rows[static_cast<std::size_t>(i - 1)]);
  }
  return position;
}

void cell_raw(int32_t row, const char* title, int64_t added_ms, const char* server_key) {
  if (!valid_row(row)) return;
  Row& r = s_rows[static_cast<std::size_t>(row)];
  if (!offer_cell(r)) return;
  Cell cell;
  cell.item_index = -1;
  cell.title = xstrdup(title);
  cell.added_ms = added_ms;
  cell.server_key = xstrdup(server_key);
  cell.resolved = 0;
  store_cell(r, std::move(cell));
}

void cell_from_item(int32_t row, int32_t item_index, int64_t added_ms) {
  if (!valid_row(row) || item_index >= n_items() || item_index < 0) return;
  Row& r = s_rows[static_cast<std::size_t>(row)];
  if (!offer_cell(r)) return;
  Cell cell;
  cell.item_index = item_index;
  cell.added_ms = added_ms < 0 ? s_items[static_cast<std::size_t>(item_index)].added_ms : added_ms;
  cell.resolved = 1;
  store_cell(r, std::move(cell));
}

void count_rest(int32_t row, int32_t rest) {
  if (!valid_row(row) || rest <= 0) return;
  Row& r = s_rows[static_cast<std::size_t>(row)];
  r.cell_count += rest;
  r.truncated = 1;
}

namespace {

// Room for one more candidate: 128 on first use, then doubling; false (the
// failure noted) when the list cannot grow.
bool cand_room() noexcept {
  if (s_cand.size() < s_cand.capacity()) return true;
  try {
    s_cand.reserve(s_cand.capacity() == 0 ? 128 : s_cand.capacity() * 2);
  } catch (...) {
    note_allocation_failure();
    return false;
  }
  return true;
}

}  // namespace

void cell_of_cand(int32_t row, const Cand& c) {
  if (c.item_index >= 0) {
    cell_from_item(row, c.item_index, c.added_ms);
  } else {
    cell_raw(row, c.title.get(), c.added_ms, c.server_key.get());
  }
}

void cand_push(int32_t item_index, const char* title, int64_t added_ms, const char* server_key) {
  if (!cand_room()) return;
  Cand c;
  c.item_index = item_index;
  c.added_ms = added_ms;
  // A candidate's texts are read only where its item cannot stand in: the
  // title when there is no item title to compare, the server key when the
  // candidate becomes a raw cell. Copies nobody could read are not made, which
  // keeps rows over hundreds of thousands of items cheap.
  const bool item = valid_item_index(item_index);
  if (title != nullptr && !(item && s_items[static_cast<std::size_t>(item_index)].title)) {
    c.title = xstrdup(title);
  }
  if (server_key != nullptr && item_index < 0) c.server_key = xstrdup(server_key);
  s_cand.push_back(std::move(c));  // capacity reserved above: cannot throw
}

void cand_push_item(int32_t item_index, int64_t added_ms) {
  if (!cand_room()) return;
  Cand c;
  c.item_index = item_index;
  c.added_ms = added_ms;
  s_cand.push_back(std::move(c));  // capacity reserved above: cannot throw
}

namespace {

// A text kept by an arena as a Text that refers to it; any other as a copy.
Text borrowed_or_copied(const Text& text) {
  if (text.arena_kept()) return Text::in_arena(const_cast<char*>(text.get()));
  return text ? xstrdup(text.get()) : Text();
}

}  // namespace

void cand_push_entry(const Item& entry) {
  if (!cand_room()) return;
  Cand c;
  c.item_index = -1;
  c.added_ms = entry.added_ms;
  c.title = borrowed_or_copied(entry.title);
  c.server_key = borrowed_or_copied(entry.id);
  s_cand.push_back(std::move(c));  // capacity reserved above: cannot throw
}

void cand_free_mem() noexcept {
  for (Cand& c : s_cand) {
    c.title.reset();
    c.server_key.reset();
  }
}

void flush_cands(int32_t row) {
  if (valid_row(row)) {
    Row& r = s_rows[static_cast<std::size_t>(row)];
    // Room for the cells the cap will take, so the array does not creep.
    const std::size_t room = s_row_cap > r.emitted ? static_cast<std::size_t>(s_row_cap - r.emitted) : 0;
    const std::size_t want = r.cells.size() + (room < s_cand.size() ? room : s_cand.size());
    try {
      r.cells.reserve(want);
    } catch (...) {
      // cells are then added one at a time, as far as memory allows
    }
    for (const Cand& c : s_cand) cell_of_cand(row, c);
  }
  cand_free_mem();
  s_cand.clear();
}

int32_t home_item(const char* token, std::vector<uint64_t>* misses) {
  int32_t index = -1;
  if (s_by_imdb.get(token, &index) == 0 && index >= 0) return index;
  misses->push_back(text_hash64(token));
  return -1;
}

void settle_misses(std::vector<uint64_t>* misses) {
  std::sort(misses->begin(), misses->end());
  misses->erase(std::unique(misses->begin(), misses->end()), misses->end());
}

bool new_items_named(int32_t first, const std::vector<uint64_t>& misses) {
  if (misses.empty()) return false;
  for (int32_t i = first; i < n_items(); ++i) {
    const Item& it = s_items[static_cast<std::size_t>(i)];
    if (!it.imdb_id || !std::binary_search(misses.begin(), misses.end(), text_hash64(it.imdb_id.get()))) continue;
    int32_t at = -1;
    if (s_by_imdb.get(it.imdb_id.get(), &at) != 0 || at == i) return true;
  }
  return false;
}

void feed_ids_from_value(yyjson_val* value, const char* name, std::vector<uint64_t>* misses) {
  if (value == nullptr) return;
  const std::vector<std::string> tokens = split_ids(yyjson_get_str(value));
  for (const std::string& id : tokens) {
    const char* token = id.c_str();
    const int32_t index = home_item(token, misses);
    if (index >= 0) {
      cand_push(index, nullptr, valid_item_index(index) ? s_items[static_cast<std::size_t>(index)].added_ms : -1,
                name);
    } else {
      cand_push(-1, token, -1, name ? name : token);
    }
  }
}

}  // namespace kavo
