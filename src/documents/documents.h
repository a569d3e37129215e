// Documents out: item, cell, detail, next-episode, autoplay and result
// documents.
#pragma once

#include <yyjson.h>

#include <cstdint>

#include "frame/model.h"

namespace kavo {

// The item document of `item` as a new object, or NULL when the object
// itself cannot be allocated.
yyjson_mut_val* json_item(yyjson_mut_doc* doc, const Item& item);
// The source object of a source (as in the item document and
// kavo_detail_source_json).
yyjson_mut_val* json_source(yyjson_mut_doc* doc, const Source& source);
// The cell document of a stored cell.
yyjson_mut_val* json_cell(yyjson_mut_doc* doc, const Cell& cell);
// The row object of row `row_index` (the row getter's document and each entry
// of the result document's "rows"), or NULL for an invalid index or a failed
// allocation. The number of cell documents written is added to
// *cells_written when that is not NULL.
yyjson_mut_val* json_row(yyjson_mut_doc* doc, int32_t row_index, int32_t* cells_written);
// The cell document of a stored cell, and the row object of a valid row
// index, written as text (the same text the documents above give); the row
// writer returns the number of cell documents it wrote.
class KeptJson;
void write_cell(KeptJson& out, const Cell& cell);
int32_t write_row(KeptJson& out, int32_t row_index);
// The detail document of catalogue item `index`, or NULL.
yyjson_mut_val* json_detail(yyjson_mut_doc* doc, int32_t index);
// The next-episode object of `item`.
yyjson_mut_val* json_next(yyjson_mut_doc* doc, const Item& item);
// An array of the event objects of the shared autoplay list, in list order.
yyjson_mut_val* json_events(yyjson_mut_doc* doc);

// The base duration of an item: duration_s when > 0, else runtime_min * 60
// when > 0; false when there is none.
bool base_duration(const Item& item, double* out);
// Fills s_ap_evts / s_n_ap for a base duration > 0 from the current settings.
void build_autoplay(double base);

void rebuild_result();
void rebuild_detail();

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
// Selection calls (status codes as the exported calls).
// The selected item, or NULL with the message "no item selected" (the status
// code is left alone).
const Item* selection_or_message();

int32_t select_item(const char* item_id);
int32_t select_imdb(const char* imdb_id);
int32_t select_source(const char* source_key);
// kavo_detail_json: NULL with status 5 when nothing is selected.
const char* detail_json_text();
const char* detail_best_source_url();

}  // namespace kavo
