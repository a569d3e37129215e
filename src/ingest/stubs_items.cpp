// Placeholders until the readers, sources and item loader land.
#include "ingest/ingest.h"
#include "ingest/readers.h"

namespace kavo {
int ci_cmp(const char*, const char*) noexcept { return 0; }
yyjson_val* obj_get(yyjson_val*, const char*) noexcept { return nullptr; }
int js_dbl_first(yyjson_val*, KeyList, double*) noexcept { return 1; }
int js_int_first(yyjson_val*, KeyList, int32_t*) noexcept { return 1; }
int js_ll_first(yyjson_val*, KeyList, int64_t*) noexcept { return 1; }
int js_bool(yyjson_val*, const char*, int*) noexcept { return 1; }
int js_opt_str(yyjson_val*, const char*, Text*) noexcept { return 1; }
int js_str_array(yyjson_val*, const char*, std::vector<Text>*) noexcept { return 1; }
int js_str_first(yyjson_val*, KeyList, Text*) noexcept { return 1; }
int js_bool_first(yyjson_val*, KeyList, int*) noexcept { return 1; }
Text number_text(yyjson_val*) noexcept { return Text(); }
int32_t load_array_json(const char*, bool) { return 0; }
int32_t load_array_value(yyjson_val*, bool) { return 0; }
int32_t add_items(const char*) { return 0; }
int32_t set_library(const char*) { return 0; }
int32_t item_index_of(const char*) { return -1; }
int parse_source_impl(yyjson_val*, Source*) { return 1; }
int32_t source_rank(const Source&) { return 0; }
}  // namespace kavo
