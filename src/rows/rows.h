// Home rows: the rebuild pipeline and the row and cell primitives.
#pragma once

#include <yyjson.h>

#include <cstdint>
#include <vector>

#include "frame/model.h"

namespace kavo {

// Recomputes everything derived from the inputs: basics merge, id maps, watch
// join and resume state, library link, every row, the stats document and the
// selection's detail document.
void rebuild_rows();

// ---- Row and cell primitives -------------------------------------------------
// Appends a row; returns its index, or -1 when the table is full (2000 rows)
// or cannot grow.
int32_t row_push(int32_t kind, const char* key, const char* title);
// Inserts a row at `position` (lowered to the row count); -1 when full.
int32_t row_insert(int32_t position, int32_t kind, const char* key, const char* title);
void cell_raw(int32_t row, const char* title, int64_t added_ms, const char* server_key);
void cell_from_item(int32_t row, int32_t item_index, int64_t added_ms);
void cand_push(int32_t item_index, const char* title, int64_t added_ms, const char* server_key);
void cand_free_mem() noexcept;
void flush_cands(int32_t row);

// Splits a comma-separated id list into trimmed, non-empty tokens in order.
std::vector<Text> split_ids(const char* text);
// Pushes one candidate per id of a string value (item candidate when the id
// is a known IMDb id, else a raw one), with `name` (or the id) as server key.
void feed_ids_from_value(yyjson_val* value, const char* name);

// ---- Comparators (negative: a first) ---------------------------------------
int cmp_continue_rank(const Cand& a, const Cand& b);
int cmp_added_desc(const Cand& a, const Cand& b);
int cmp_year_desc_title(const Cand& a, const Cand& b);
int cmp_season_episode(const Cand& a, const Cand& b);
int cmp_folder_natural(const Cand& a, const Cand& b);
// Sorts the candidate list with a three-way comparator; stable, so equal
// candidates keep push order whatever the comparator answers.
void sort_cands(int (*cmp)(const Cand&, const Cand&));

}  // namespace kavo
