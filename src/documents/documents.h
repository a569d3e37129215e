// Documents out: item, cell, detail, next-episode, autoplay and result
// documents.
#pragma once

#include <yyjson.h>

#include <cstdint>

#include "frame/model.h"
#include "rows/autoplay.h"

namespace kavo {

// The members of each document are listed in documents/layouts.h.

// The detail document of catalogue item `index` as a new value of `doc`, or
// NULL for an invalid index or when its object cannot be allocated.
yyjson_mut_val* json_detail(yyjson_mut_doc* doc, int32_t index);

// Writes the result document now, from the model and the current settings,
// every row from scratch.
void rebuild_result();
// The same, copying from the last result text every row that the rebuilds
// since kept as it was and whose items' cells read as they did.
void write_result();
// The model changed: the result document is written when it is next read,
// with the settings in force now.
void result_changed() noexcept;
// kavo_result_json: the result document, written first when it is stale;
// "{}" while there is none.
const char* result_json_text();
void rebuild_detail();
// The stats document (s_stats_json) of the rows built last.
void write_stats() noexcept;
// The server flags, watchlist and browse history documents of the held
// server home (none without one).
void build_side_jsons();

// ---- Bodies of the exported getters and selection calls ------------------
// Buffer getters: the whole document in the getter's own buffer (valid until
// the getter's next call), or the failure value with a message; the status
// code is never changed.
const char* item_json_text(int32_t index);
const char* row_json_text(int32_t row);
const char* cell_json_text(int32_t row, int32_t cell);
const char* detail_source_json_text(int32_t index);
const char* detail_next_json_text();
const char* detail_autoplay_json_text();
// The selected item, or NULL with the message "no item selected" (the status
// code is left alone).
const Item* selection_or_message();

// Selection: change the selection, without rebuilding; on failure the status
// and message of the exported call, the selection unchanged.
int32_t select_item(const char* item_id);
int32_t select_imdb(const char* imdb_id);
int32_t select_source(const char* source_key);
// kavo_detail_json: NULL with status 5 when nothing is selected.
const char* detail_json_text();
const char* detail_best_source_url();

}  // namespace kavo
