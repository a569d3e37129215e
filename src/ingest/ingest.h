// Input ingestion: the loaders behind the input calls.
//
// Each function returns a status code and sets the last error as its exported
// call does (see kavo.h); the exported wrappers only add exception safety.
#pragma once

#include <yyjson.h>

#include <cstdint>
#include <span>
#include <vector>

#include "frame/model.h"
#include "ingest/readers.h"

namespace kavo {

// Why a reader turns an input element away; kTaken when it does not.
enum class Refusal : int32_t {
  kTaken = 0,
  kNotObject,    // the element is no JSON object
  kNoId,         // an item without an id (or with an empty one)
  kDuplicateId,  // a catalogue item whose id an earlier item has
  kNoMemory,     // an item whose genres or sources could not be copied
  kNoProgress,   // a watch entry without position, fraction or finished flag
  kNoToken,      // a favourite without a token
  kNoKey,        // a playlist without a key
  kNoImdbId,     // a basics record without an IMDb id
  kNoShare,      // a server progress entry whose "Value" is absent or below 0
};

// ---- Accepted key spellings ------------------------------------------------
// Each kind of object in the inputs with the key lists its readers look up
// (NULL-terminated, each in lookup order; members read by name alone form
// lists of their own). A member whose name matches none of them, exactly or
// ignoring ASCII case, is read by no reader.
std::span<const KeyList> inputs_key_lists() noexcept;      // the inputs object
std::span<const KeyList> item_key_lists() noexcept;        // items, library entries
std::span<const KeyList> source_key_lists() noexcept;      // their sources, "theFile"
std::span<const KeyList> watch_key_lists() noexcept;       // watch entries
std::span<const KeyList> home_key_lists() noexcept;        // the server home
std::span<const KeyList> basic_key_lists() noexcept;       // its "Basics"
std::span<const KeyList> continue_key_lists() noexcept;    // its "Continues"
std::span<const KeyList> store_key_lists() noexcept;       // the store
std::span<const KeyList> favourite_key_lists() noexcept;   // its favourites
std::span<const KeyList> playlist_key_lists() noexcept;    // its playlists
// The server home's arrays of objects that the server rows and the side
// documents read ("List", "ExtentList", "Spotlights", ...), each with the
// key lists of its elements.
struct HomeList {
  const char* member;
  std::span<const KeyList> element_keys;
};
std::span<const HomeList> home_lists() noexcept;

// ---- Items and sources -----------------------------------------------------
// Where the item loader puts what it reads: a record table and the arena of
// its texts. Catalogue records need an id that no catalogue item has yet
// (nor, with `batch_ids`, a record of the same load, whose ids go there
// instead of the catalogue's seen ids).
struct ItemTarget {
  std::vector<Item>* dest;
  TextArena* texts;
  bool unique_ids;
  Ht* batch_ids;
  // Where the indexes of the records read as unmatched go, and those of the
  // records with a path (NULL: nowhere).
  std::vector<int32_t>* unmatched = nullptr;
  std::vector<int32_t>* with_path = nullptr;

  static ItemTarget catalogue();
  static ItemTarget library();
};
// Loads a JSON array of items into the catalogue (library_mode false) or the
// local library (true), appending. Does not rebuild.
int32_t load_array_json(const char* text, bool library_mode);
// The same loader over an already parsed array value.
int32_t load_array_value(yyjson_val* array, const ItemTarget& target);
// One element of such an array: appended, or rejected and counted (kOk
// either way); the failure code with its message when the table is full or
// cannot grow.
int32_t load_item_element(yyjson_val* element, const ItemTarget& target);
// Reads one element of an item array into `item` (fresh, all defaults), its
// texts where xstrdup puts them; why it is turned away, before any id check.
Refusal read_item(yyjson_val* element, Item* item);
// The input calls' reading, without the rebuild: on failure (status and
// message set) the catalogue, the library and the rejected count are as they
// were.
int32_t read_new_items(const char* json);
int32_t read_library(const char* json);
// Frees the memory read_library keeps from call to call.
void release_staged_library() noexcept;

// The list of sources of an item through any member lookup: "sources", or
// "entries" only when there is no "sources" at all. An item whose list is no
// array has no sources.
template <class Lookup>
yyjson_val* find_source_list(const Lookup& item_members) noexcept {
  yyjson_val* list = item_members("sources");
  return list != nullptr ? list : item_members("entries");
}
// The "theFile" object of a source element, whose members are read as if they
// came first in the element itself; NULL when there is none.
yyjson_val* source_the_file(yyjson_val* element) noexcept;
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
int read_item_sources(const SchemaIndex& item_members, Item* item);
// The same for the item's list of sources as found (NULL for none).
int read_source_list(yyjson_val* list, Item* item);

// ---- Watch progress --------------------------------------------------------
// Replaces the host's entries of the watch table with those of a watch array
// (none for NULL), keeping the server progress entries after them; without
// rebuilding. On failure (status and message set) nothing has changed.
int32_t read_host_watch(const char* json);
// The same for kavo_set_watch: with `compare`, an array that differs from
// the text the host's entries were last read from only in a few elements
// that leave every entry where it is, or only add entries after them,
// changes those entries in their places and appends the new ones, as
// progress updates would (*whole false, `replaced` listing the entries
// replaced as they were, in table order, `appended` the ones appended); any
// other array is read whole (*whole true), and its text kept for the next
// comparison.
int32_t read_host_watch(const char* json, bool compare, std::vector<ReplacedEntry>* replaced, Appended* appended,
                        bool* whole);
// Applies a progress update, an array of host watch entries: each replaces
// the host entry it matches (the first with its key when it has one, else
// with its item id, else with its IMDb id, season and episode) in its place,
// or follows the host's entries when none matches. Elements the watch call
// would turn away are counted and skipped. NULL changes nothing. Without
// rebuilding; on failure (status and message set) nothing has changed.
int32_t read_watch_update(const char* json);
// The same, telling in `replaced` which host entries were replaced in their
// places and what they were before (the first time in the update for an
// entry replaced twice), and in `appended` the entries appended.
int32_t read_watch_update(const char* json, std::vector<ReplacedEntry>* replaced, Appended* appended);
// Frees the memory read_host_watch keeps from call to call.
void release_staged_watch() noexcept;
// The item id of a watch element as the entry would have it; none when it
// has none. Its text goes where xstrdup puts it.
Text watch_item_id(yyjson_val* element);
// Reads one element of a watch array into `rec`, its texts into `texts`;
// why it is turned away (with `rec` and `texts` as they were): no object, or
// nothing about progress.
Refusal read_watch_element(yyjson_val* element, TextArena& texts, WatchRec* rec);
// One element of a watch array appended to the table, or turned away and
// counted (kOk either way); "out of memory" when the table is full or cannot
// grow.
int32_t load_watch_element(yyjson_val* element);
// 0 room for one more entry, 4 table full (200000), 3 no memory.
int watch_ensure_room() noexcept;
// Whether a text is a date-time rather than a number: its leading digits
// (after white space) are followed by "-".
bool looks_like_datetime(const char* text) noexcept;

// ---- Server home -----------------------------------------------------------
// The server home call's work without the rebuild: holds the document and
// makes the basics and the server progress entries. On
// failure (status and message set) the home held before stays, with all it
// gave.
int32_t read_server_home(const char* json);
// Parses a server home document into *out; the failure's status and message
// when it is NULL, not valid JSON or no object.
int32_t parse_home(const char* json, JsonDoc* out);
// Holds the document of parse_home in place of the one held before.
int32_t load_home_json(const char* json);
void reset_basics() noexcept;
// The "Basics" and "Continues" arrays of a server home document; NULL when
// absent or no array.
yyjson_val* home_basics(yyjson_val* home) noexcept;
yyjson_val* home_continues(yyjson_val* home) noexcept;
// One element of "Basics" or "Continues" read into a fresh record, its texts
// where xstrdup puts them; why it is skipped.
Refusal read_basic(yyjson_val* element, BasicRec* out);
Refusal read_continue(yyjson_val* element, WatchRec* out);
void index_basics();
// Appends the server progress entries of the held document, after dropping
// the ones an earlier home appended (the host's own entries stay).
void ingest_continues();
// Drops the entries appended from a server home, keeping the others in order.
void drop_server_progress() noexcept;

// Time-span text ("1.02:03:04.5", "5400") to seconds; -1 when absent/invalid.
double parse_timespan_s(const char* text) noexcept;
// Date-time text ("2024-01-15T10:20:30.5+02:00") to milliseconds since 1970;
// -1 when absent or out of range. Fractional seconds are skipped, not counted.
int64_t parse_datetime_ms(const char* text) noexcept;

// ---- Store and settings ----------------------------------------------------
// The store call's reading without the rebuild: on failure (status and
// message set) the store is as it was.
int32_t read_store(const char* json);
// Reads the favourites and playlists of a parsed store object into *out
// (empty); "oom" when a table cannot be allocated.
int32_t load_store_value(yyjson_val* root, Store* out);
// The favourites and playlists arrays of a store object ("favorites" only
// when there is no "favourites" at all); NULL when absent or no array.
yyjson_val* store_favourites(yyjson_val* store) noexcept;
yyjson_val* store_playlists(yyjson_val* store) noexcept;
// One element of either read into a fresh record; why it is skipped.
Refusal read_favourite(yyjson_val* element, FavRec* out);
Refusal read_playlist(yyjson_val* element, PlaylistRec* out);
int32_t set_resume_settings(const char* json);
int32_t set_autoplay_settings(const char* json);

// ---- All inputs --------------------------------------------------------------
// The parts of an inputs object, in the order a load reads them.
enum InputPart : int32_t { kPartHome, kPartItems, kPartWatch, kPartLibrary, kPartStore, kPartCount };
inline constexpr char kInputsNotJson[] = "inputs: not valid JSON";
inline constexpr char kInputsNotObject[] = "inputs: root not object";
// Its member name ("server_home", "items", ...).
const char* input_part_name(InputPart part) noexcept;
// The part as a load finds it in an inputs object; NULL when absent.
yyjson_val* input_part(yyjson_val* inputs, InputPart part) noexcept;
// The load's message for a part of the wrong JSON type ("items must be an
// array"); NULL when it has the right one or is absent.
const char* part_shape_error(InputPart part, yyjson_val* value) noexcept;

// Reads every part of an inputs object into the model, which must be empty,
// then the basics and server progress of its server home; no rows, no
// documents. The status and message of the first failure, after which the
// model holds some of the parts (the caller puts its old model back).
int32_t read_inputs(const char* json);
// Frees the parsing memory that load_inputs keeps from call to call.
void release_input_memory() noexcept;

// ---- The inputs linter -------------------------------------------------------
// The lint document of an inputs text (kavo_lint_json), held until the next
// call or release_lint_document; NULL when memory runs out (the document
// held before stays).
const char* lint_json(const char* inputs);
void release_lint_document() noexcept;

}  // namespace kavo
