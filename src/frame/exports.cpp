// Exported frame functions: version, last outcome, row cap.
#include "frame/guard.h"
#include "frame/model.h"
#include "frame/status.h"
#include "kavo.h"

using namespace kavo;

// The names kavo.h gives the library's codes are the library's own values.
namespace {
constexpr bool same(int32_t public_value, int32_t own_value) { return public_value == own_value; }
}  // namespace
static_assert(same(KAVO_OK, kOk) && same(KAVO_ERR_JSON, kBadJson) &&
              same(KAVO_ERR_ARGUMENT, kBadArgument) && same(KAVO_ERR_MEMORY, kNoMemory) &&
              same(KAVO_ERR_BUFFER, kBufferSmall) && same(KAVO_ERR_NOT_FOUND, kNotFound));
static_assert(same(KAVO_ROW_CONTINUE_WATCHING, kContinueWatching) &&
              same(KAVO_ROW_RECENTLY_ADDED, kRecentlyAdded) && same(KAVO_ROW_MOVIES, kMovies) &&
              same(KAVO_ROW_TV_SHOWS, kTvShows) && same(KAVO_ROW_FOLDERS, kFolders) &&
              same(KAVO_ROW_FAVOURITES, kFavourites) && same(KAVO_ROW_GENRE, kGenre) &&
              same(KAVO_ROW_COLLECTIONS, kCollections) && same(KAVO_ROW_UNMATCHED, kUnmatchedItems) &&
              same(KAVO_ROW_SERVER_LIST, kServerList) && same(KAVO_ROW_SPOTLIGHT, kSpotlight) &&
              same(KAVO_ROW_NOW_PLAYING, kNowPlaying) && same(KAVO_ROW_SHOW, kShowRow) &&
              same(KAVO_ROW_AUDIO, kAudio));
static_assert(same(KAVO_KIND_MOVIE, kMovie) && same(KAVO_KIND_SHOW, kShow) &&
              same(KAVO_KIND_EPISODE, kEpisode) && same(KAVO_KIND_FILE, kFile) &&
              same(KAVO_KIND_FOLDER, kFolder) && same(KAVO_KIND_UNKNOWN, kUnknownKind));
static_assert(same(KAVO_ACTION_START, kStart) && same(KAVO_ACTION_RESUME, kResume) &&
              same(KAVO_ACTION_FINISHED, kFinished));
static_assert(same(KAVO_SOURCE_VELORA_PLUS, kVeloraPlus) && same(KAVO_SOURCE_HARBOR, kHarbor) &&
              same(KAVO_SOURCE_DEBRID, kDebrid) && same(KAVO_SOURCE_LOCAL, kLocal) &&
              same(KAVO_SOURCE_OTHER, kOtherSource) && same(KAVO_SOURCE_UNSTATED, kUnstated));

extern "C" {

KAVO_API const char* kavo_version(void) { return KAVO_VERSION_STRING; }

KAVO_API const char* kavo_last_error(void) { return s_err; }

KAVO_API int32_t kavo_last_code(void) { return s_err_code; }

KAVO_API int32_t kavo_set_row_cap(int32_t cap) {
  if (cap < 1 || cap > kMaxRowCap) return fail(kBadArgument, "row cap out of range");
  s_row_cap = cap;
  return succeed();
}

KAVO_API int32_t kavo_get_row_cap(void) { return s_row_cap; }

}  // extern "C"
