/*
 * libkavo: the home-screen model of a media-library player.
 *
 * The host hands the library JSON texts (catalogue, local library, watch
 * progress, favourites, the media server's home document, settings) and reads
 * back home rows, per-item resume decisions, the detail of one selected item
 * and JSON documents of all of it.
 *
 * Threading: the library keeps one global model. Call it from one thread at a
 * time; every call runs to completion on the caller's thread.
 *
 * Status codes (returned by every fallible call, and kept for kavo_last_code):
 *   0 success
 *   1 text not valid JSON, or of the wrong JSON shape
 *   2 NULL or out-of-range argument
 *   3 allocation failed, or a table is full
 *   4 the caller's buffer is too small
 *   5 no such item or source, or nothing selected
 * A failing call writes a fixed English message (under 64 characters) that
 * kavo_last_error returns; a successful fallible call empties it.
 *
 * Texts returned as `const char*` are owned by the library; the host never
 * frees them. How long each stays valid is stated per function.
 */
#ifndef KAVO_H
#define KAVO_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  if defined(KAVO_BUILDING)
#    define KAVO_API __declspec(dllexport)
#  else
#    define KAVO_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define KAVO_API __attribute__((visibility("default")))
#else
#  define KAVO_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Frame ------------------------------------------------------------ */

/* The library version, "1.0.0". Valid for the library's lifetime. */
KAVO_API const char* kavo_version(void);
/* The last error message; never NULL, "" after a success. */
KAVO_API const char* kavo_last_error(void);
/* The status code of the last fallible call (0 at load). */
KAVO_API int32_t kavo_last_code(void);
/* Largest number of cells one row keeps, 1..2000 (200 at load). Takes effect
 * at the next rebuild. Returns 0, or 2 "row cap out of range". */
KAVO_API int32_t kavo_set_row_cap(int32_t cap);
KAVO_API int32_t kavo_get_row_cap(void);
/* Empties the model; row cap and playback settings survive. Returns 0. */
KAVO_API int32_t kavo_clear(void);
/* As kavo_clear, and releases scratch memory. Call before unloading. */
KAVO_API void kavo_shutdown(void);

/* ---- Inputs (each rebuilds rows and the result document on success) --- */

/* Appends catalogue items (JSON array). 0; 1 "not valid JSON" / "expected an
 * array"; 2 "null json"; 3 "out of memory" (200000 items reached). */
KAVO_API int32_t kavo_add_items(const char* json);
/* Replaces the local library (JSON array, NULL empties it). Codes as above. */
KAVO_API int32_t kavo_set_library(const char* json);
/* Replaces the watch progress (JSON array, NULL empties it).
 * 0; 1 "watch: not valid JSON" / "watch: expected an array"; 3 "out of memory". */
KAVO_API int32_t kavo_set_watch(const char* json);
/* Loads the server home document (JSON object). 0; 1 "server home: not valid
 * JSON" / "server home: root not object"; 2 "null json". */
KAVO_API int32_t kavo_set_server_home(const char* json);
/* Replaces favourites and playlists (JSON object, NULL empties them).
 * 0; 1 "store: not valid JSON" / "store: root not object"; 3 "oom". */
KAVO_API int32_t kavo_set_store(const char* json);
/* Resume settings; rebuild nothing. 0; 1 "resume settings: ...". */
KAVO_API int32_t kavo_set_resume_settings(const char* json);
/* Autoplay settings; rebuild nothing. 0; 1 "autoplay settings: ...". */
KAVO_API int32_t kavo_set_autoplay_settings(const char* json);
/* Clears the model and loads every input from one JSON object. */
KAVO_API int32_t kavo_load_inputs(const char* json);

/* ---- Items (catalogue only; texts valid until the model is cleared) --- */

KAVO_API int32_t     kavo_item_count(void);
KAVO_API int32_t     kavo_item_index_of(const char* id);
KAVO_API const char* kavo_item_id(int32_t index);
KAVO_API const char* kavo_item_title(int32_t index);
KAVO_API const char* kavo_item_imdb(int32_t index);
KAVO_API const char* kavo_item_poster_url(int32_t index);
KAVO_API int32_t     kavo_item_kind(int32_t index);
KAVO_API int32_t     kavo_item_year(int32_t index);
KAVO_API int32_t     kavo_item_season(int32_t index);
KAVO_API int32_t     kavo_item_episode(int32_t index);
KAVO_API int32_t     kavo_item_playable(int32_t index);
KAVO_API int32_t     kavo_item_source_count(int32_t index);
KAVO_API int32_t     kavo_item_resume_action(int32_t index);
KAVO_API int64_t     kavo_item_added_ms(int32_t index);
KAVO_API int32_t     kavo_item_unmatched(int32_t index);
KAVO_API const char* kavo_item_next_id(int32_t index);
/* The item document. Valid until the next kavo_item_json call; NULL with
 * "item index out of range" or "oom" (status code untouched). */
KAVO_API const char* kavo_item_json(int32_t index);

/* ---- Rows and cells (valid until the next rebuild) --------------------- */

KAVO_API int32_t     kavo_row_count(void);
KAVO_API int32_t     kavo_row_kind(int32_t row);
KAVO_API const char* kavo_row_key(int32_t row);
KAVO_API const char* kavo_row_title(int32_t row);
KAVO_API int32_t     kavo_row_cell_count(int32_t row);
KAVO_API int32_t     kavo_row_truncated(int32_t row);
KAVO_API const char* kavo_row_cell_title(int32_t row, int32_t cell);
KAVO_API const char* kavo_row_cell_poster_url(int32_t row, int32_t cell);
KAVO_API int32_t     kavo_row_cell_resume_action(int32_t row, int32_t cell);
KAVO_API int32_t     kavo_row_cell_playable(int32_t row, int32_t cell);
/* Row and cell documents, valid until the next call of the same getter. */
KAVO_API const char* kavo_row_json(int32_t row);
KAVO_API const char* kavo_row_cell_json(int32_t row, int32_t cell);
KAVO_API const char* kavo_stats_json(void);

/* ---- Documents (valid until the next rebuild or clear) ---------------- */

KAVO_API const char* kavo_result_json(void);
KAVO_API const char* kavo_server_flags_json(void);
KAVO_API const char* kavo_watchlist_json(void);
KAVO_API const char* kavo_browse_history_json(void);

/* ---- Selection ---------------------------------------------------------- */

KAVO_API int32_t     kavo_select_item(const char* item_id);
KAVO_API int32_t     kavo_select_imdb(const char* imdb_id);
KAVO_API int32_t     kavo_select_source(const char* source_key);
KAVO_API int32_t     kavo_selected_index(void);
KAVO_API const char* kavo_detail_json(void);
KAVO_API int32_t     kavo_detail_source_count(void);
KAVO_API const char* kavo_detail_source_json(int32_t index);
KAVO_API const char* kavo_detail_best_source_url(void);
KAVO_API int32_t     kavo_detail_resume_action(void);
KAVO_API double      kavo_detail_resume_position_s(void);
KAVO_API double      kavo_detail_progress_fraction(void);
KAVO_API int32_t     kavo_detail_resume_clamped(void);
KAVO_API const char* kavo_detail_next_json(void);
KAVO_API const char* kavo_detail_autoplay_json(void);
KAVO_API int32_t     kavo_detail_autoplay_configured(void);

/* ---- Keys and hashes (write into the caller's buffer) ------------------ */

KAVO_API int32_t kavo_stable_hash(const char* text, char* out, size_t out_size);
KAVO_API int32_t kavo_resume_key(const char* a, const char* b, const char* c,
                                 char* out, size_t out_size);
KAVO_API int32_t kavo_legacy_resume_key(const char* text, char* out, size_t out_size);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* KAVO_H */
