// Placeholders until the documents land.
#include "documents/documents.h"
#include "documents/writers.h"

namespace kavo {
yyjson_mut_val* json_item(yyjson_mut_doc*, const Item&) { return nullptr; }
yyjson_mut_val* json_source(yyjson_mut_doc*, const Source&) { return nullptr; }
yyjson_mut_val* json_cell(yyjson_mut_doc*, const Cell&) { return nullptr; }
yyjson_mut_val* json_row(yyjson_mut_doc*, int32_t, int32_t*) { return nullptr; }
yyjson_mut_val* json_detail(yyjson_mut_doc*, int32_t) { return nullptr; }
yyjson_mut_val* json_next(yyjson_mut_doc*, const Item&) { return nullptr; }
bool base_duration(const Item&, double*) { return false; }
void build_autoplay(double) {}
void rebuild_result() {}
void rebuild_detail() {}
const char* item_json_text(int32_t) { return nullptr; }
const char* row_json_text(int32_t) { return nullptr; }
const char* cell_json_text(int32_t, int32_t) { return nullptr; }
const char* detail_source_json_text(int32_t) { return nullptr; }
const char* detail_next_json_text() { return "{}"; }
const char* detail_autoplay_json_text() { return "[]"; }
int32_t select_item(const char*) { return 5; }
int32_t select_imdb(const char*) { return 5; }
int32_t select_source(const char*) { return 5; }
const char* detail_json_text() { return nullptr; }
const char* detail_best_source_url() { return nullptr; }
}  // namespace kavo
