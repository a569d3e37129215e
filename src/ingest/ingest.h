// Input ingestion: the loaders behind the input calls.
//
// Each function returns a status code and sets the last error as its exported
// call does (see kavo.h); the exported wrappers only add exception safety.
#pragma once

#include <yyjson.h>

#include <cstdint>

#include "frame/model.h"
#include "ingest/readers.h"

namespace kavo {

// ---- Items and sources -----------------------------------------------------
// Loads a JSON array of items into the catalogue (library_mode false) or the
// local library (true). Does not rebuild.
int32_t load_array_json(const char* text, bool library_mode);
// The same loader over an already parsed array value.
int32_t load_array_value(yyjson_val* array, bool library_mode);
// One element of such an array: appended, or rejected and counted (kOk
// either way); the failure code with its message when the table is full or
// cannot grow.
int32_t load_item_element(yyjson_val* element, bool library_mode);
int32_t add_items(const char* json);
int32_t set_library(const char* json);
int32_t item_index_of(const char* id);

// Reads one source; 1 when `object` is no object (the source keeps defaults).
int parse_source_impl(yyjson_val* object, Source* out);
// Reads one source from the members of `the_file` followed by the members of
// `element` (both objects), as from one object holding them in that order; 1
// when either is no object.
int parse_merged_source(yyjson_val* the_file, yyjson_val* element, Source* out);
// The ranking score of a source (lower is better), computed in 64 bits and
// saturated to the 32-bit range.
int32_t source_rank(const Source& source);
// Reads, ranks and sorts the sources of the item whose members are
// `item_members` into `item` and sets its `playable`; non-zero when the source
// array cannot be allocated (the item is then to be rejected).
int read_item_sources(const MemberIndex& item_members, Item* item);
int read_item_sources(const SchemaIndex& item_members, Item* item);

// ---- Watch progress --------------------------------------------------------
int32_t set_watch(const char* json);
// One element of a watch array: appended, or turned away and counted (kOk
// either way); "out of memory" when the table is full or cannot grow.
int32_t load_watch_element(yyjson_val* element);
// 0 room for one more entry, 4 table full (200000), 3 no memory.
int watch_ensure_room() noexcept;
// Whether a text is a date-time rather than a number: its leading digits
// (after white space) are followed by "-".
bool looks_like_datetime(const char* text) noexcept;
// The update time of a watch entry under `keys`: a date-time text reads by
// parse_datetime_ms, anything else as js_ll_first reads it. 0 found, 1 not.
int read_update_ms(yyjson_val* object, KeyList keys, int64_t* out) noexcept;

// ---- Server home -----------------------------------------------------------
int32_t set_server_home(const char* json);
int32_t load_home_json(const char* json);
void reset_basics() noexcept;
void index_basics();
// Appends the server progress entries of the held document, after dropping
// the ones an earlier home appended (the host's own entries stay).
void ingest_continues();
// Drops the entries appended from a server home, keeping the others in order.
void drop_server_progress() noexcept;
void build_side_jsons();

// Time-span text ("1.02:03:04.5", "5400") to seconds; -1 when absent/invalid.
double parse_timespan_s(const char* text) noexcept;
// Date-time text ("2024-01-15T10:20:30.5+02:00") to milliseconds since 1970;
// -1 when absent or out of range. Fractional seconds are skipped, not counted.
int64_t parse_datetime_ms(const char* text) noexcept;

// ---- Store and settings ----------------------------------------------------
int32_t set_store(const char* json);
// Reads the favourites and playlists of a parsed store object into the
// (empty) tables; "oom" when a table cannot be allocated.
int32_t load_store_value(yyjson_val* root);
int32_t set_resume_settings(const char* json);
int32_t set_autoplay_settings(const char* json);

// ---- All inputs --------------------------------------------------------------
int32_t load_inputs(const char* json);
// Frees the parsing memory that load_inputs keeps from call to call.
void release_input_memory() noexcept;

}  // namespace kavo
