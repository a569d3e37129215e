/*
 * libkavo: the home-screen model of a media-library player.
 *
 * The host hands the library JSON texts (the catalogue, the local library,
 * watch progress, favourites and playlists, the media server's home document,
 * the playback settings) and reads back the home rows, every item's resume
 * decision and next episode, the detail of one selected item with its ranked
 * playback sources and autoplay events, and JSON documents of all of it.
 *
 * ---------------------------------------------------------------------------
 * Model and call sequence
 * ---------------------------------------------------------------------------
 * The library holds one global model. There is no initialisation call: the
 * library is usable as soon as it is loaded (row cap 200, nothing selected,
 * empty model). A typical host:
 *
 *   1. sets the row cap and the resume and autoplay settings (optional; the
 *      row cap and the resume settings take effect at the next successful
 *      input call, the autoplay settings at the next input or selection call
 *      and at once in kavo_detail_autoplay_json);
 *   2. loads everything with kavo_load_inputs(), or piece by piece with the
 *      input calls;
 *   3. reads kavo_result_json(), or walks the rows and cells;
 *   4. selects an item (kavo_select_item) and reads its detail;
 *   5. hands over the whole watch array again whenever progress changes (the
 *      progress entries that came with the server home stay);
 *   6. calls kavo_shutdown() before unloading the library.
 *
 * Every input call (kavo_add_items, kavo_set_library, kavo_set_watch,
 * kavo_set_server_home, kavo_set_store, kavo_load_inputs) rebuilds, on
 * success, every row and cell, the stats document, the selection's detail
 * document and the result document. A selection call rebuilds the detail and
 * the result document. kavo_set_row_cap and the two settings calls rebuild
 * nothing. Everything else is a query.
 *
 * A rebuild computes only what the call's change can reach, and its results
 * are exactly those of rebuilding everything from the inputs: a progress
 * update (kavo_update_watch) costs what its entries touch, new items what
 * they add, a whole watch array that differs from the last one in a few
 * elements a comparison of the two texts and what those elements touch, any
 * other watch array a pass over its entries; rows that did not
 * change are kept, and the result document, written when it is first read
 * after a change, copies their texts from the last one. A library call, a
 * server home, a load or changed settings rebuild everything.
 *
 * Threads: none. Call the library from one thread at a time; every call runs
 * to completion on the caller's thread.
 *
 * ---------------------------------------------------------------------------
 * Status codes and errors
 * ---------------------------------------------------------------------------
 * Every fallible call returns one of these codes (enum kavo_status_code below) and
 * keeps it for kavo_last_code():
 *   0  KAVO_OK             success
 *   1  KAVO_ERR_JSON       the text is not valid JSON, or its root or a member
 *                          has the wrong type
 *   2  KAVO_ERR_ARGUMENT   a required argument is NULL, or a number is out of
 *                          range
 *   3  KAVO_ERR_MEMORY     an allocation failed, or a table is full (more than
 *                          200000 catalogue items, library entries or watch
 *                          entries; the message is the call's "out of memory"
 *                          or "oom", the same as for memory)
 *   4  KAVO_ERR_BUFFER     the caller's output buffer is too small
 *   5  KAVO_ERR_NOT_FOUND  no such item or source, or nothing selected
 * A failure also writes a fixed English message (always under 64 characters)
 * that kavo_last_error() returns; a success empties the message. Queries never
 * change the code (the one exception is kavo_detail_json); the JSON buffer
 * getters and the selection queries write a message when they fail but leave
 * the code alone.
 *
 * An input call that fails because of its argument (NULL where that is an
 * error, text that is not valid JSON, a root or member of the wrong type, more
 * elements than a table holds) changes nothing: the model, the held server
 * home, the settings, the selection, the rows and every document stay exactly
 * as they were, and every text handed out before stays valid.
 *
 * When memory runs out inside a call, the host sees no crash, no exception
 * and no leak, only one of these answers:
 *   - An input call returns 3 with its "out of memory" or "oom" message
 *     (kavo_set_server_home, kavo_set_resume_settings,
 *     kavo_set_autoplay_settings and the selection calls "out of memory" as
 *     well), or 1 with its "not valid JSON" message when the text itself
 *     could not be parsed for want of memory.
 *     Memory that runs out while the input is read changes nothing, as
 *     above.
 *   - Or it returns 0 with less in the model: an element that cannot be
 *     copied is rejected, a text left absent, a document member or a whole
 *     part of the inputs object left out, a held document kept as it was,
 *     items read as without progress. No item or selection ever points at
 *     an entry other than the one it was computed from. The next input call
 *     that succeeds rebuilds rows and documents in full.
 *   - A buffer getter returns its failure value with "oom"; kavo_stable_hash
 *     writes "0"; kavo_resume_key returns 3 "out of memory".
 * The library stays usable: the next call works as it would have.
 *
 * Input elements that cannot be used (not an object, no id, a duplicate id,
 * progress that says nothing) are skipped and counted ("rejected" in the stats
 * and result documents); the call still succeeds.
 *
 * ---------------------------------------------------------------------------
 * Ownership and lifetimes
 * ---------------------------------------------------------------------------
 * Every `const char*` returned is owned by the library; never free it.
 *   - Item texts (kavo_item_id, ...): valid until the model is cleared
 *     (kavo_clear, kavo_shutdown, a successful kavo_load_inputs).
 *   - Row and cell texts, kavo_stats_json: valid until the next rebuild (a
 *     successful input call) or clear.
 *   - kavo_result_json, kavo_detail_json and the three side documents: valid
 *     until the next rebuild of that document or clear.
 *   - The six buffer getters (kavo_item_json, kavo_row_json,
 *     kavo_row_cell_json, kavo_detail_source_json, kavo_detail_next_json,
 *     kavo_detail_autoplay_json) return the whole document in a buffer of
 *     their own, valid until the next call of the same getter.
 *   - kavo_lint_json: valid until the next kavo_lint_json call or
 *     kavo_shutdown.
 *   - kavo_version: valid for the library's lifetime.
 * No call takes over memory from the host. Texts of the model are at most
 * 8192 bytes; a longer input text is cut at a character boundary.
 *
 * All JSON written is compact UTF-8 with keys in fixed orders; absent texts
 * and absent (negative) numbers are written as null.
 */
#ifndef KAVO_H
#define KAVO_H

#include <stddef.h>
#include <stdint.h>

#include "kavo_version.h"

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

/* ==== Codes =================================================================
 * The numbers the library answers with, by name. The functions take and
 * return them as int32_t; the enum tags only group them (they end in _code,
 * so none is spelled like a function). */

/* Status codes: what every fallible call returns and kavo_last_code() keeps. */
enum kavo_status_code {
  KAVO_OK = 0,
  KAVO_ERR_JSON = 1,      /* not valid JSON, or the wrong JSON shape */
  KAVO_ERR_ARGUMENT = 2,  /* NULL or out-of-range argument */
  KAVO_ERR_MEMORY = 3,    /* out of memory, or a table is full */
  KAVO_ERR_BUFFER = 4,    /* the caller's buffer is too small */
  KAVO_ERR_NOT_FOUND = 5  /* no such item or source, or nothing selected */
};

/* Row kinds (kavo_row_kind, "kind" of a row document). 13 is never used. */
enum kavo_row_kind_code {
  KAVO_ROW_CONTINUE_WATCHING = 0,
  KAVO_ROW_RECENTLY_ADDED = 1,
  KAVO_ROW_MOVIES = 2,
  KAVO_ROW_TV_SHOWS = 3,
  KAVO_ROW_FOLDERS = 4,
  KAVO_ROW_FAVOURITES = 5,
  KAVO_ROW_GENRE = 6,
  KAVO_ROW_COLLECTIONS = 7,
  KAVO_ROW_UNMATCHED = 8,
  KAVO_ROW_SERVER_LIST = 9, /* one list of the server home, keyed by its id */
  KAVO_ROW_SPOTLIGHT = 10,
  KAVO_ROW_NOW_PLAYING = 11,
  KAVO_ROW_SHOW = 12,       /* the episodes of one show, keyed by its IMDb id */
  KAVO_ROW_AUDIO = 14
};

/* Item kinds (kavo_item_kind, "kind" of item and cell documents). */
enum kavo_item_kind_code {
  KAVO_KIND_MOVIE = 0,
  KAVO_KIND_SHOW = 1,
  KAVO_KIND_EPISODE = 2,
  KAVO_KIND_FILE = 3,
  KAVO_KIND_FOLDER = 4,
  KAVO_KIND_UNKNOWN = 5
};

/* Resume actions (kavo_item_resume_action, kavo_row_cell_resume_action,
 * kavo_detail_resume_action, "resume_action" of the documents). */
enum kavo_resume_action_code {
  KAVO_ACTION_START = 0,   /* play from the beginning */
  KAVO_ACTION_RESUME = 1,  /* play from the resume position */
  KAVO_ACTION_FINISHED = 2 /* watched to the end; plays from the beginning */
};

/* Content sources ("library" of an item, "content_source" of a source). */
enum kavo_content_source_code {
  KAVO_SOURCE_VELORA_PLUS = 0,
  KAVO_SOURCE_HARBOR = 1,
  KAVO_SOURCE_DEBRID = 2,
  KAVO_SOURCE_LOCAL = 3,
  KAVO_SOURCE_OTHER = 4,   /* another named source */
  KAVO_SOURCE_UNSTATED = 5
};

#ifdef __cplusplus
extern "C" {
#endif

/* ==== Frame =============================================================== */

/* The version of the library loaded, KAVO_VERSION_STRING ("1.0.0") of the
 * kavo_version.h it was built with; compare it with the one a host was
 * compiled against. Valid for the library's lifetime. */
KAVO_API const char* kavo_version(void);

/* The message of the last failure: "" after a successful fallible call. Never
 * NULL. The text stays until the next call that writes or empties it. */
KAVO_API const char* kavo_last_error(void);

/* The status code of the last fallible call (0 at load). */
KAVO_API int32_t kavo_last_code(void);

/* Sets the largest number of cells one row keeps: 1..2000 (200 at load).
 * Rebuilds nothing: rows built before keep their cells until the next input
 * call. Survives kavo_clear and kavo_shutdown.
 * Returns 0, or 2 "row cap out of range" (the previous cap stays). */
KAVO_API int32_t kavo_set_row_cap(int32_t cap);

/* The current row cap. */
KAVO_API int32_t kavo_get_row_cap(void);

/* Empties the model: items, library, watch progress, server home, store,
 * rows, documents and the selection. The row cap and the resume and autoplay
 * settings survive. Every text handed out from the model becomes invalid.
 * Returns 0; cannot fail. */
KAVO_API int32_t kavo_clear(void);

/* As kavo_clear, and also releases the library's scratch memory. Call it
 * before unloading the library. The library stays usable afterwards. */
KAVO_API void kavo_shutdown(void);

/* ==== Inputs ==============================================================
 * Each input call takes NUL-terminated UTF-8 JSON (strict: no comments, no
 * trailing commas). Field names are matched exactly first, then ignoring
 * ASCII case; numbers may come as text and texts as numbers. On success the
 * call rebuilds rows, stats, detail and result documents and returns 0. */

/* Appends catalogue items from a JSON array of item objects. Items are never
 * removed (except by a clear); an id already accepted since the last clear is
 * rejected, so the same array given twice adds nothing the second time. At
 * most 200000 catalogue items.
 * Besides the fields the documents show, an item may carry
 *   "credits_start_s" (number of seconds, also "creditsStartS" or
 *   "outro_start_s"; default -1, none): where its closing credits begin. Only
 *   the autoplay setting "present_at_credits" reads it; no document shows it.
 *   Example: {"id": "e1", "duration_s": 3000, "credits_start_s": 2710}.
 * Returns 0; 1 "not valid JSON" or "expected an array"; 2 "null json";
 * 3 "out of memory" when the catalogue would pass 200000 items (elements
 * turned away do not count) or memory runs out. On failure none of the
 * array's items is added and nothing is rebuilt. */
KAVO_API int32_t kavo_add_items(const char* json);

/* Replaces the local library with a JSON array of entries (files, folders,
 * audio); NULL empties it (and succeeds). At most 200000 entries.
 * Returns 0; 1 "not valid JSON" or "expected an array"; 3 "out of memory"
 * when the array holds more than 200000 usable entries or memory runs out.
 * On failure the library stays as it was. */
KAVO_API int32_t kavo_set_library(const char* json);

/* Replaces the host's watch progress with the entries of a JSON array; NULL
 * removes it (and succeeds). The progress entries that came with the held
 * server home's "Continues" stay, after the host's entries, so handing the
 * same array over again changes nothing; a server home without "Continues"
 * removes them. At most 200000 entries, the host's and the server's together.
 * Returns 0; 1 "watch: not valid JSON" or "watch: expected an array";
 * 3 "out of memory" when the host's entries and the server's would pass
 * 200000 (elements turned away do not count) or memory runs out. On failure
 * the watch progress stays as it was. */
KAVO_API int32_t kavo_set_watch(const char* json);

/* Updates the host's watch progress with the entries of a JSON array, one
 * after another, as a player reports progress: each entry replaces, in its
 * place, the host entry it matches, or follows the host's entries when none
 * matches. An entry with a "key" matches only the first host entry with that
 * key; one without a key the first with its item id; one with neither the
 * first with its IMDb id, season and episode; an entry with none of these
 * matches nothing. A later entry may match one an earlier entry of the same
 * call added. Afterwards the model is the one kavo_set_watch would make of
 * the host's entries so updated (the server's progress entries stay).
 * Elements kavo_set_watch would turn away are skipped and counted as
 * "rejected". NULL changes nothing and returns 0.
 * Example: [{"key":"hl-102","item_id":"harbor-s01e02","position_s":1300}].
 * Returns 0; 1 "watch: not valid JSON" or "watch: expected an array";
 * 3 "out of memory" when the host's and the server's entries would pass
 * 200000 or memory runs out. On failure the watch progress stays as it
 * was. */
KAVO_API int32_t kavo_update_watch(const char* json);

/* Loads the media server's home document (a JSON object): its basics
 * complete catalogue items, its "Continues" become server progress entries
 * (replacing those of the previous home document; the host's own entries are
 * kept), its lists become rows, and the server flags, watchlist and browse
 * history documents are rebuilt.
 * Returns 0; 1 "server home: not valid JSON" or "server home: root not
 * object"; 2 "null json". A failed call keeps the document held before and
 * everything made from it. */
KAVO_API int32_t kavo_set_server_home(const char* json);

/* Replaces favourites, playlists and dismissals with those of a JSON store
 * object; NULL empties them all (and succeeds). Like the favourites, the
 * dismissals are the user's data, which the host keeps and hands over again:
 *   "dismissed" (object, default empty): item id -> time of the dismissal in
 *   milliseconds since 1970 (a number or numeric text, read as a 64-bit
 *   integer). The item stays out of Continue Watching while its progress is
 *   not newer than that time (progress without a time never is), so newer
 *   progress brings it back. Ids match byte for byte, letter case included;
 *   for a name given twice the first member counts, also when its value is no
 *   time (the name then dismisses nothing); at most 200000 names count, later
 *   ones are ignored; a "dismissed" that is not an object means none.
 *   Example: {"favourites": [], "dismissed": {"night-freight": 1718100000000}}.
 * Returns 0; 1 "store: not valid JSON" or "store: root not object";
 * 3 "oom". On failure the store stays as it was. */
KAVO_API int32_t kavo_set_store(const char* json);

/* Resume and home settings: how progress becomes a resume decision, and what
 * Continue Watching, the next episodes and the library rows show. An object
 * replaces them all (members it lacks take their defaults); NULL or ""
 * restores every default. Rebuilds nothing: the rows, decisions and
 * documents follow them from the next successful input call. Survive clears.
 * Every member has one spelling (matched exactly, else ignoring ASCII case);
 * booleans and numbers are read as everywhere (numbers may come as text); a
 * member of the wrong type or out of its range counts as not given. With
 * every member at its default the library behaves as without the member.
 *
 *   "remember_last_position" (bool, default true): false starts every item
 *     from the beginning (finished items stay finished).
 *   "remember_audio" (bool, default false): false starts audio-only items
 *     from the beginning.
 *
 * When a position (of an item with a running time D) counts as finished, to
 * resume, or to start over:
 *   "finished_fraction" (number, 0 < v < 1; default 0, off): a position past
 *     v x D is finished. {"finished_fraction": 0.9}: 3300 s of a 3600 s
 *     movie is finished, 3240 s resumes.
 *   "resume_min_s" (number >= 0; default 5): a position at or before it
 *     starts over (also for items without any running time).
 *     {"resume_min_s": 180}: 150 s starts over, 181 s resumes.
 *   "resume_min_fraction" (number, 0 < v < 1; default 0, off): a position at
 *     or before v x D starts over. {"resume_min_fraction": 0.05}: 4 % watched
 *     starts over.
 *   "short_item_s" (number > 0; default 0, off): in an item shorter than
 *     this, a position that would resume is finished instead.
 *     {"short_item_s": 300}: 100 s of a 240 s clip is finished.
 *   "finished_at_proposal" (bool, default false): a position at or after
 *     the item's next-item proposal (the "Proposal" autoplay event of its own
 *     running time, under the autoplay settings in force at the rebuild) is
 *     finished; an item without a proposal is not affected. With a 60 s
 *     fixed proposal time, 2950 s of a 3000 s episode is finished.
 *   "keep_finished_on_replay" (bool, default false): when the item's chosen
 *     progress entry starts over while another of its entries finished it,
 *     the latest finishing entry (the earliest among equal times) becomes the
 *     item's entry, with its decision. Finished at 100 ms, then 3 s into a
 *     replay at 200 ms: still finished, the detail's "watch" the 100 ms entry.
 *
 * Continue Watching:
 *   "continue_skip_finished" (bool, default false): only items to resume;
 *     finished items are left out (and return to Movies or TV Shows).
 *   "continue_next_up" (bool, default false): the episodes (kind episode, or
 *     file with an episode number) of one IMDb id with a season and episode
 *     above 0 give one cell: the one the row would rank first (the anchor),
 *     or, when that one is finished and its next episode is playable, the
 *     next episode, placed by the anchor's progress. A shown anchor must be
 *     playable; only a shown anchor is left out as finished; a dismissal
 *     names the shown item and is compared with the anchor's time. Episode 1
 *     finished at 100 and episode 2 finished at 300: one cell, episode 3,
 *     ranked at 300. A cell whose resume action is start is such a cell.
 *     An item a show's cell shows has no cell of its own.
 *
 * Next episodes:
 *   "next_episode_following" (bool, default false): the next episode is the
 *     item at the smallest (season, episode) after the item's own among the
 *     items of the same IMDb id (or both without one) with both numbers above
 *     0: across a gap and from the last episode of a season into the next,
 *     never into or out of season 0. Among several items there, the one with
 *     the same first source address, else the first. S1E3 -> S2E1.
 *
 * Library rows:
 *   "title_sort" (text, "bytes" or "natural"; default "bytes"): "natural"
 *     (any letter case) orders the titles of Movies, TV Shows and a show's
 *     row without a leading article, digit runs as numbers, letters ignoring
 *     ASCII case, bytes of 0x80 and above after ASCII, the shorter first;
 *     titles alike that way in byte order. Any other text is "bytes".
 *     "The Abyss", "alien", "Aliens", "10 Cloverfield Lane", "2 Fast 2
 *     Furious" -> 2 Fast 2 Furious, 10 Cloverfield Lane, The Abyss, alien,
 *     Aliens.
 *   "title_articles" (array of texts; default ["the", "a", "an"]): the
 *     leading words natural order skips: the first one that begins the title,
 *     ignoring ASCII case, followed by a space and at least one more byte.
 *     Elements that are no text or empty are skipped, the first 16 count; []
 *     skips none; anything but an array keeps the default.
 *     {"title_sort": "natural", "title_articles": ["the", "la"]}.
 *   "catalogue_by_year" (bool, default true): false orders Movies and TV
 *     Shows by title alone, not by year first.
 *   "recent_group_shows" (bool, default false): in Recently Added, the dated
 *     catalogue episodes and show items of one IMDb id give one cell where the
 *     first of them stands: the catalogue's first show item of that id (dated
 *     or not), else the newest of the episodes; its "added_ms" is the newest
 *     of them. 87 new episodes of a show: one cell. Server lists and library
 *     entries are not grouped.
 *   "recent_skip_finished" (bool, default false): Recently Added leaves
 *     finished catalogue items out.
 *   "show_rows_max" (integer >= 0; default none): at most this many per-show
 *     rows, the first ones; 0 makes none; the rows after them move up. Read
 *     as a 32-bit integer (true is 1, a number outside the 32-bit range 0);
 *     a negative value counts as not given. {"show_rows_max": 20}.
 *
 * Example: {"finished_fraction": 0.9, "continue_next_up": true,
 *           "next_episode_following": true, "title_sort": "natural"}.
 * Returns 0; 1 "resume settings: not valid JSON" or "resume settings: root
 * not object"; 3 "out of memory" (the settings stay as they were). */
KAVO_API int32_t kavo_set_resume_settings(const char* json);

/* Autoplay settings: when to propose the next item and count down to it. An
 * object replaces every autoplay setting (members it lacks take their
 * defaults); NULL, "" or an object whose "enabled" is false leave autoplay
 * unconfigured; any other object configures it. Rebuilds nothing: the detail
 * document follows them from the next input or selection call, and
 * kavo_detail_autoplay_json reads them at every call (the resume setting
 * "finished_at_proposal" reads them at each rebuild). Survive clears.
 * Members (docs/inputs.md lists their other spellings):
 *   "use_fixed_present_before" with "present_before_duration_s": propose the
 *     next item that many seconds before the end; "use_percentage_present_
 *     before" with "present_before_percentage" (0 < v < 1): at that share of
 *     the running time, over the fixed time; "enable_counting_down" with
 *     "countdown_duration_s": count down to the end; "automatic_play_next".
 *   "present_before_steps" (array of [min_duration_s, before_s] pairs of
 *     numbers >= 0; default none): with the fixed time on, an item gets the
 *     before_s of the step with the greatest min_duration_s not above its
 *     running time (the first among equals) instead of the fixed time; no
 *     such step: the fixed time. Elements that are not arrays starting with
 *     two such numbers are skipped (further elements are ignored), the first
 *     16 count. [[0,15],[600,30],[2400,50]]: 50 s before the end of a 3000 s
 *     episode, 15 s before the end of a 300 s one.
 *   "present_at_credits" (bool, default false): an item whose
 *     "credits_start_s" lies between 0 and its running time (both excluded)
 *     gets the proposal there, over the fixed time and the share.
 *   "proposal_only_with_next" (bool, default false): an item without a next
 *     episode gets no proposal events; its ending events stay.
 * Example: {"use_fixed_present_before": true, "present_before_duration_s": 30,
 *   "present_before_steps": [[0,15],[600,30],[3600,60]], "present_at_credits":
 *   true, "enable_counting_down": true, "countdown_duration_s": 20}.
 * Returns 0; 1 "autoplay settings: not valid JSON" or "autoplay settings:
 * root not object" (the settings stay as they were). */
KAVO_API int32_t kavo_set_autoplay_settings(const char* json);

/* Replaces the whole model with the inputs of one JSON object with the
 * optional members "server_home" (object), "items", "watch", "library"
 * (arrays) and "store" (object), loaded in that order into an empty model,
 * then rebuilds. Server progress entries follow the host's watch entries.
 * Loading the same object twice gives the same model. The settings and the
 * row cap stay; the selection is dropped.
 * Returns 0; 2 "null inputs"; 1 "inputs: not valid JSON", "inputs: root not
 * object", "server_home must be an object", "items must be an array", "watch
 * must be an array", "library must be an array", "store must be an object"
 * (checked in that order); 3 "oom"; or the code and message of the first
 * part whose loader fails (3 "out of memory" for a part that passes its
 * table's 200000 entries). On failure the model from before the call stays
 * whole, with every text handed out from it. */
KAVO_API int32_t kavo_load_inputs(const char* json);

/* Checks an inputs object (the argument of kavo_load_inputs) without loading
 * it: the model, the settings and the status code stay as they are. Returns
 * a JSON document (docs/outputs.md) of what a load of these inputs would
 * turn away and why:
 *   - "status", "message": what kavo_load_inputs would return (0 and "", or
 *     the code and message of its first failure), and "errors" every
 *     failure found: the text is not valid JSON ("syntax_error" then gives
 *     its line and column, from 1, its byte offset and the parser's
 *     message), the root is no object, a part has the wrong JSON type
 *     ("items must be an array"), a table would pass 200000 entries;
 *   - "turned_away": each element a load skips, with its part, its index
 *     (from 0) and JSON pointer, its id when it has one and the reason ("not
 *     an object", "no id", "duplicate id", "progress that says nothing",
 *     ...); "rejected" counts those a load adds to the stats' "rejected";
 *   - "unknown_members": each member name that no reader looks up, per kind
 *     of object, with its count, where it first appears and the nearest
 *     accepted spelling when one is close.
 * The two lists hold at most 1000 entries each; "turned_away_count" and
 * "unknown_member_count" count them all.
 * The document is valid JSON for any text. It stays valid until the next
 * kavo_lint_json call or kavo_shutdown. NULL with "null inputs" when inputs
 * is NULL, or "oom" when memory runs out (the message is written, the
 * status code is not changed). */
KAVO_API const char* kavo_lint_json(const char* inputs);

/* ==== Items ===============================================================
 * Queries on the catalogue (never the local library) by index
 * 0..kavo_item_count()-1. They never touch the status frame. Texts are valid
 * until the model is cleared; an invalid index gives NULL, -1 or 0 as
 * stated. The resume answers and the next episode are those of the last
 * rebuild. */

KAVO_API int32_t kavo_item_count(void);
/* The index of the item with this id: exact match first, then the first item
 * whose id matches ignoring ASCII case; -1 when none or id is NULL. */
KAVO_API int32_t     kavo_item_index_of(const char* id);
KAVO_API const char* kavo_item_id(int32_t index);          /* NULL if invalid */
KAVO_API const char* kavo_item_title(int32_t index);       /* may be NULL */
KAVO_API const char* kavo_item_imdb(int32_t index);        /* may be NULL */
KAVO_API const char* kavo_item_poster_url(int32_t index);  /* may be NULL */
/* An item kind (KAVO_KIND_MOVIE ...); -1 if invalid. */
KAVO_API int32_t     kavo_item_kind(int32_t index);
KAVO_API int32_t     kavo_item_year(int32_t index);     /* -1 absent/invalid */
KAVO_API int32_t     kavo_item_season(int32_t index);   /* -1 absent/invalid */
KAVO_API int32_t     kavo_item_episode(int32_t index);  /* -1 absent/invalid */
/* 1 when a source has an address; 0 otherwise or invalid. */
KAVO_API int32_t     kavo_item_playable(int32_t index);
KAVO_API int32_t     kavo_item_source_count(int32_t index);  /* 0 if invalid */
/* A resume action (KAVO_ACTION_START if invalid). */
KAVO_API int32_t     kavo_item_resume_action(int32_t index);
/* Where playback resumes, in seconds: 0.0 unless the action is
 * KAVO_ACTION_RESUME; -1.0 if invalid. */
KAVO_API double      kavo_item_resume_position_s(int32_t index);
/* The share watched, 0.0 to 1.0, for a progress bar: the one the deciding
 * watch entry gave (1.0 for an entry marked finished), 0.0 without one;
 * -1.0 if invalid. */
KAVO_API double      kavo_item_progress_fraction(int32_t index);
/* Milliseconds since 1970; -1 absent/invalid. */
KAVO_API int64_t     kavo_item_added_ms(int32_t index);
KAVO_API int32_t     kavo_item_unmatched(int32_t index);  /* 0 if invalid */
/* The id of the item's next episode; NULL when none or invalid. */
KAVO_API const char* kavo_item_next_id(int32_t index);
/* The item document with all fields and sources (best first). The whole text
 * is in a library buffer valid until the next kavo_item_json call. NULL with
 * "item index out of range" or "oom"; the status code is never changed. */
KAVO_API const char* kavo_item_json(int32_t index);

/* ==== Rows and cells ======================================================
 * Rows 0..kavo_row_count()-1; cells 0..kavo_row_emitted(row)-1 of their row
 * (a row keeps at most the row cap of cells; kavo_row_cell_count also counts
 * the ones the cap refused). Scalar queries never touch the status frame; texts are valid
 * until the next rebuild. Row kinds are the KAVO_ROW_ codes above. */

KAVO_API int32_t     kavo_row_count(void);
KAVO_API int32_t     kavo_row_kind(int32_t row);        /* -1 if invalid */
KAVO_API const char* kavo_row_key(int32_t row);         /* NULL if invalid */
KAVO_API const char* kavo_row_title(int32_t row);       /* NULL if invalid */
/* Cells offered to the row, stored or refused by the cap (0 if invalid). */
KAVO_API int32_t     kavo_row_cell_count(int32_t row);
/* Cells stored: the valid cell indexes are 0..kavo_row_emitted(row)-1. At
 * most the row cap in force when the row was built (0 if invalid). */
KAVO_API int32_t     kavo_row_emitted(int32_t row);
/* 1 when the cap refused cells (0 if invalid). */
KAVO_API int32_t     kavo_row_truncated(int32_t row);
/* The catalogue index of an item cell, for the kavo_item_ queries and
 * kavo_select_item(kavo_item_id(index)); -1 for a cell of the row's own text
 * (a server id, token or name that is no catalogue item) or invalid. */
KAVO_API int32_t     kavo_row_cell_item_index(int32_t row, int32_t cell);
/* The item's title for an item cell, else the cell's own text; NULL when
 * none or invalid. */
KAVO_API const char* kavo_row_cell_title(int32_t row, int32_t cell);
/* The item's poster for an item cell; NULL for a text cell or invalid. */
KAVO_API const char* kavo_row_cell_poster_url(int32_t row, int32_t cell);
KAVO_API int32_t     kavo_row_cell_resume_action(int32_t row, int32_t cell); /* 0 */
KAVO_API int32_t     kavo_row_cell_playable(int32_t row, int32_t cell);      /* 0 */
/* The row document with all its stored cells, whole, in a library buffer
 * valid until the next kavo_row_json call. NULL with "row index out of range"
 * or "oom"; the status code is never changed. */
KAVO_API const char* kavo_row_json(int32_t row);
/* One cell document, whole, in a library buffer valid until the next
 * kavo_row_cell_json call. NULL with "row index out of range", "cell index
 * out of range" or "oom"; the status code is never changed. */
KAVO_API const char* kavo_row_cell_json(int32_t row, int32_t cell);
/* Counts of the model ("items", "watch", "library", "rows", "cells",
 * "rejected", "continue_candidates", "unmatched", "basics", "favourites",
 * "row_cap"); "{}" before the first rebuild. Valid until the next rebuild. */
KAVO_API const char* kavo_stats_json(void);

/* ==== Documents ===========================================================
 * Library-held documents: "{}" while none is built. Valid until the next
 * rebuild of the document or clear. They never touch the status frame. */

/* Every row with its cells, the selected item's detail ("item", null when
 * nothing is selected), the three side documents and counts. Rebuilt by
 * every input and selection call. */
KAVO_API const char* kavo_result_json(void);
/* From the server home: {"high_speed_ids", "velora_plus_ids",
 * "chromecast_ids", "level30_ids", "feature_flags"}. */
KAVO_API const char* kavo_server_flags_json(void);
/* From the server home's "MyWatchlist": {"key", "ids"}. */
KAVO_API const char* kavo_watchlist_json(void);
/* From the server home's "BrowseHistory": {"key", "ids"}. */
KAVO_API const char* kavo_browse_history_json(void);

/* ==== Selection ===========================================================
 * One catalogue item can be selected. The selection survives input calls
 * (items are only appended) and is dropped by clears. */

/* Selects the item with this id (as kavo_item_index_of finds it) and rebuilds
 * the detail and result documents. Returns 0; 2 "null item id"; 5 "no such
 * item" (the selection stays as it was). */
KAVO_API int32_t kavo_select_item(const char* item_id);
/* Selects the first item whose IMDb id matches ignoring ASCII case.
 * Returns 0; 2 "null imdb id"; 5 "no such item". */
KAVO_API int32_t kavo_select_imdb(const char* imdb_id);
/* Selects the first item with a source of exactly this key.
 * Returns 0; 2 "null source key"; 5 "no such item". */
KAVO_API int32_t kavo_select_source(const char* source_key);
/* The selected catalogue index, -1 when nothing is selected. */
KAVO_API int32_t kavo_selected_index(void);
/* The detail document of the selected item (its item document plus "resume",
 * "next" and "autoplay"), valid until the next rebuild or clear; "{}" when it
 * could not be written. With nothing selected: NULL, and this query stores
 * status 5 with "no item selected". */
KAVO_API const char* kavo_detail_json(void);
/* The selected item's number of sources (0 with nothing selected). */
KAVO_API int32_t     kavo_detail_source_count(void);
/* One source of the selected item (0 = best), whole, in a library buffer
 * valid until the next call. NULL with "no item selected", "source index out
 * of range" or "oom"; the status code is never changed. */
KAVO_API const char* kavo_detail_source_json(int32_t index);
/* The address to play: the best active source's url (or uri), else the best
 * url, else the best uri. Points into the model (valid until it is cleared).
 * NULL when there is none; with nothing selected NULL and "no item
 * selected". */
KAVO_API const char* kavo_detail_best_source_url(void);
/* The selected item's resume decision; 0 / 0.0 with nothing selected. */
KAVO_API int32_t     kavo_detail_resume_action(void);
KAVO_API double      kavo_detail_resume_position_s(void);
KAVO_API double      kavo_detail_progress_fraction(void);
KAVO_API int32_t     kavo_detail_resume_clamped(void);
/* The selected item's next episode ({"item_id":null} when none), whole, in a
 * library buffer valid until the next call. "{}" with "no item selected" or
 * "oom". The status code is never changed. */
KAVO_API const char* kavo_detail_next_json(void);
/* The selected item's autoplay events from the current settings, as a JSON
 * array, whole, in a library buffer valid until the next call. "[]" with
 * "no item selected" or "oom", or when autoplay is unconfigured. The status
 * code is never changed. */
KAVO_API const char* kavo_detail_autoplay_json(void);
/* 1 when autoplay settings are in force, else 0. */
KAVO_API int32_t     kavo_detail_autoplay_configured(void);

/* ==== Keys and hashes =====================================================
 * Pure functions: they read no model and write into the caller's buffer. */

/* A stable 32-bit hash of a UTF-8 text (computed over its UTF-16 code units),
 * written as decimal digits; undecodable text hashes as "0". 11 bytes always
 * suffice. Returns 0; 2 "null argument" (NULL text or buffer, or size 0);
 * 4 "buffer too small" (the buffer is left untouched). */
KAVO_API int32_t kavo_stable_hash(const char* text, char* out, size_t out_size);
/* The base64 of a, 0x01, b, 0x01, c. Needs 4*((n+4)/3)+1 bytes, n being the
 * three texts' total length. Returns 0; 2 "null argument"; 3 "out of
 * memory"; 4 "buffer too small" (the buffer is left untouched). */
KAVO_API int32_t kavo_resume_key(const char* a, const char* b, const char* c,
                                 char* out, size_t out_size);
/* The base64 of the text itself. Needs 4*((n+2)/3)+1 bytes.
 * Returns 0; 2 "null argument"; 4 "buffer too small". */
KAVO_API int32_t kavo_legacy_resume_key(const char* text, char* out, size_t out_size);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* KAVO_H */
