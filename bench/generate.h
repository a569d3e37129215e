// Deterministic inputs for the benchmarks and the kavo_gen tool.
//
// Everything is sized by the number of catalogue items and derived from a
// seed with a generator of our own, so the same arguments give the same
// bytes on every machine and every run.
#pragma once

#include <cstdint>
#include <string>

namespace kavo_bench {

inline constexpr uint64_t kDefaultSeed = 20240501;

// The inputs object of kavo_load_inputs for `items` catalogue items:
// {"server_home":{...},"items":[...],"watch":[...],"library":[...],"store":{...}}.
// Movies, shows with seasons of episodes and a few loose files, several
// sources per item (some through "theFile"), part of them in other producers'
// key spellings; watch entries by item id and by IMDb id with season and
// episode from local and server sources; a library with linked, path-linked
// and unlinked files, folders and audio; a server home with basics,
// continues, a dozen lists, genres, feature flags, spotlights, collections
// and Level30s; a store with favourites and playlists. Compact JSON.
std::string generate_inputs(int32_t items, uint64_t seed = kDefaultSeed);

// The same inputs with the members the optional behaviours bring along:
// every episode has a credits offset (90 s before its end; only the autoplay
// setting present_at_credits reads it) and the store dismisses every 40th
// catalogue item from Continue Watching.
std::string generate_inputs_with_extras(int32_t items, uint64_t seed = kDefaultSeed);

// Resume and autoplay settings objects that switch every optional behaviour
// on (the resume object also thresholds, next-episode, title and row members).
extern const char* const kAllOnResumeSettings;
extern const char* const kAllOnAutoplaySettings;

// A watch array for the same catalogue (same `items`, same catalogue seed)
// as another host would send after progress changed: the entries of
// generate_inputs advanced by `round` steps of viewing.
std::string generate_watch(int32_t items, uint64_t seed = kDefaultSeed, uint32_t round = 1);

// An array of `count` new catalogue items whose ids start with `id_prefix`
// (so batches with different prefixes never collide with each other or with
// the catalogue of generate_inputs).
std::string generate_item_batch(const std::string& id_prefix, int32_t count,
                                 uint64_t seed = kDefaultSeed);

// The id of the `n`-th episode item of the catalogue (wrapping around), for
// selections; empty when the catalogue has no episodes.
std::string episode_id(int32_t items, int32_t n, uint64_t seed = kDefaultSeed);

}  // namespace kavo_bench
