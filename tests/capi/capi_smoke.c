/* The C interface from a plain C99 program against the shared library: the
 * header compiles as C, the symbols are exported, and the frame, the keys and
 * the getters' answers for an empty model come back as documented. Stops at
 * the first mismatch with a message and a non-zero exit. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "kavo.h"

static int passed = 0;

static void stop(const char* what) {
  printf("capi_smoke: FAILED: %s\n", what);
  printf("capi_smoke: %d passed, 1 failed\n", passed);
  exit(1);
}

static void check_int(long long got, long long want, const char* what) {
  if (got != want) {
    printf("capi_smoke: %s: got %lld, want %lld\n", what, got, want);
    stop(what);
  }
  ++passed;
}

/* Compares texts; NULL only equals NULL. */
static void check_str(const char* got, const char* want, const char* what) {
  int same = (got == NULL || want == NULL) ? got == want : strcmp(got, want) == 0;
  if (!same) {
    printf("capi_smoke: %s: got \"%s\", want \"%s\"\n", what, got ? got : "(null)",
           want ? want : "(null)");
    stop(what);
  }
  ++passed;
}

/* The status frame after a call: its code and message. */
static void check_frame(int32_t code, const char* message, const char* what) {
  check_int(kavo_last_code(), code, what);
  check_str(kavo_last_error(), message, what);
}

static void test_frame(void) {
  check_str(kavo_version(), "1.0.0", "version before any other call");
  check_str(kavo_version(), KAVO_VERSION_STRING, "the library is of the header's version");
  check_int(KAVO_VERSION_NUMBER,
            KAVO_VERSION_MAJOR * 10000 + KAVO_VERSION_MINOR * 100 + KAVO_VERSION_PATCH,
            "version number of the header");
  check_frame(0, "", "initial status frame");
  check_int(kavo_get_row_cap(), 200, "initial row cap");

  check_int(kavo_set_row_cap(2000), 0, "row cap 2000 accepted");
  check_int(kavo_get_row_cap(), 2000, "row cap reads 2000");
  check_int(kavo_set_row_cap(2001), KAVO_ERR_ARGUMENT, "row cap 2001 refused");
  check_frame(2, "row cap out of range", "row cap 2001 message");
  check_int(kavo_set_row_cap(0), 2, "row cap 0 refused");
  check_int(kavo_set_row_cap(-5), 2, "row cap -5 refused");
  check_int(kavo_get_row_cap(), 2000, "row cap kept after refusals");

  check_int(kavo_set_row_cap(10), 0, "row cap 10 accepted");
  check_frame(0, "", "success empties the status frame");

  check_int(kavo_set_row_cap(0), 2, "failure before clear");
  check_int(kavo_clear(), 0, "clear");
  check_frame(0, "", "clear empties the status frame");
  check_int(kavo_get_row_cap(), 10, "row cap survives clear");

  check_int(kavo_set_row_cap(0), 2, "failure before shutdown");
  kavo_shutdown();
  check_frame(0, "", "shutdown empties the status frame");
  check_int(kavo_get_row_cap(), 10, "row cap survives shutdown");
  check_int(kavo_set_row_cap(200), 0, "row cap back to 200");
}

static void test_keys(void) {
  char out[32];

  check_int(kavo_stable_hash("", out, sizeof out), 0, "hash of empty text");
  check_str(out, "371857150", "hash of empty text");
  check_int(kavo_stable_hash("abc", out, sizeof out), 0, "hash of abc");
  check_str(out, "1099313834", "hash of abc");
  check_int(kavo_stable_hash("ab\xE0\x80\x80" "cd", out, sizeof out), 0, "hash ends at zero");
  check_str(out, "1093630535", "hash ends at zero");
  check_int(kavo_stable_hash("a\xC3", out, sizeof out), 0, "hash of malformed text");
  check_str(out, "0", "hash of malformed text");
  check_frame(0, "", "malformed text is no failure");

  memset(out, '#', sizeof out);
  check_int(kavo_stable_hash("abc", out, 10), KAVO_ERR_BUFFER, "hash into 10 bytes");
  check_frame(4, "buffer too small", "hash into 10 bytes");
  check_int(out[0], '#', "hash buffer untouched");
  check_int(kavo_stable_hash("abc", out, 11), 0, "hash into 11 bytes");
  check_str(out, "1099313834", "hash into 11 bytes");
  check_int(kavo_stable_hash(NULL, out, sizeof out), 2, "hash of NULL");
  check_frame(2, "null argument", "hash of NULL");
  check_int(kavo_stable_hash("abc", out, 0), 2, "hash into size 0");

  check_int(kavo_resume_key("a", "b", "c", out, 9), 0, "resume key into 9 bytes");
  check_str(out, "YQFiAWM=", "resume key of a, b, c");
  check_frame(0, "", "resume key success");
  memset(out, '#', sizeof out);
  check_int(kavo_resume_key("a", "b", "c", out, 8), 4, "resume key into 8 bytes");
  check_frame(4, "buffer too small", "resume key into 8 bytes");
  check_int(out[0], '#', "resume key buffer untouched");
  check_int(kavo_resume_key("", "", "", out, 5), 0, "resume key of empty texts");
  check_str(out, "AQE=", "resume key of empty texts");
  check_int(kavo_resume_key("a", NULL, "c", out, sizeof out), 2, "resume key with NULL");
  check_frame(2, "null argument", "resume key with NULL");

  check_int(kavo_legacy_resume_key("", out, 1), 0, "legacy key of empty text");
  check_str(out, "", "legacy key of empty text");
  check_int(kavo_legacy_resume_key("abc", out, 5), 0, "legacy key of abc");
  check_str(out, "YWJj", "legacy key of abc");
  check_int(kavo_legacy_resume_key("abc", out, 4), 4, "legacy key into 4 bytes");
  check_frame(4, "buffer too small", "legacy key into 4 bytes");
  check_int(kavo_legacy_resume_key(NULL, out, sizeof out), 2, "legacy key of NULL");
  check_frame(2, "null argument", "legacy key of NULL");
}

/* The scalar getters on an empty model: every index is invalid, and queries
 * leave the status frame alone. */
static void test_invalid_indexes(void) {
  check_int(kavo_clear(), 0, "clear before getters");
  check_int(kavo_set_row_cap(0), 2, "failure before getters");

  check_int(kavo_item_count(), 0, "no items");
  check_str(kavo_item_id(-1), NULL, "item id of -1");
  check_str(kavo_item_id(0), NULL, "item id of 0 with no items");
  check_str(kavo_item_title(-1), NULL, "item title of -1");
  check_str(kavo_item_next_id(0), NULL, "item next id of 0");
  check_int(kavo_item_kind(-1), -1, "item kind of -1");
  check_int(kavo_item_kind(kavo_item_count()), -1, "item kind of count");
  check_int(kavo_item_year(5), -1, "item year of 5");
  check_int(kavo_item_playable(-1), 0, "item playable of -1");
  check_int(kavo_item_source_count(-1), 0, "item source count of -1");
  check_int(kavo_item_added_ms(-1), -1, "item added ms of -1");

  check_int(kavo_row_count(), 0, "no rows");
  check_int(kavo_row_kind(-1), -1, "row kind of -1");
  check_str(kavo_row_key(0), NULL, "row key of 0 with no rows");
  check_str(kavo_row_title(-1), NULL, "row title of -1");
  check_int(kavo_row_cell_count(-1), 0, "row cell count of -1");
  check_int(kavo_row_truncated(3), 0, "row truncated of 3");
  check_str(kavo_row_cell_title(0, 0), NULL, "cell title of 0, 0");
  check_str(kavo_row_cell_poster_url(-1, -1), NULL, "cell poster of -1, -1");
  check_int(kavo_row_cell_resume_action(0, 0), 0, "cell resume action of 0, 0");
  check_int(kavo_row_cell_playable(0, 0), 0, "cell playable of 0, 0");
  check_int(kavo_row_emitted(-1), 0, "row emitted of -1");
  check_int(kavo_row_emitted(0), 0, "row emitted of 0 with no rows");
  check_int(kavo_row_cell_item_index(0, 0), -1, "cell item index of 0, 0");
  check_int(kavo_row_cell_item_index(-1, -1), -1, "cell item index of -1, -1");
  check_int(kavo_item_resume_position_s(0) == -1.0, 1, "item resume position of 0");
  check_int(kavo_item_progress_fraction(-1) == -1.0, 1, "item progress of -1");

  check_int(kavo_selected_index(), -1, "nothing selected");
  check_int(kavo_detail_source_count(), 0, "no detail sources");

  check_frame(2, "row cap out of range", "queries leave the status frame");
}

/* The index of the first row of `kind`, -1 when none. */
static int32_t row_of_kind(int32_t kind) {
  int32_t r;
  for (r = 0; r < kavo_row_count(); ++r) {
    if (kavo_row_kind(r) == kind) return r;
  }
  return -1;
}

/* What a UI reads to draw cells and turn a click into a selection: the cells
 * stored, each cell's item, the item's progress. */
static void test_cells(void) {
  const char* inputs =
      "{\"items\": [{\"id\": \"a\", \"kind\": \"movie\", \"title\": \"A\", \"duration_s\": 1000},"
      "           {\"id\": \"b\", \"kind\": \"movie\"}, {\"id\": \"c\", \"kind\": \"movie\"}],"
      " \"watch\": [{\"item_id\": \"a\", \"position_s\": 250, \"fraction\": 0.25}],"
      " \"store\": {\"favourites\": [{\"token\": \"gone\", \"display_name\": \"Gone\"}]}}";
  int32_t movies, favourites, a;

  check_int(kavo_set_row_cap(2), KAVO_OK, "row cap 2");
  check_int(kavo_load_inputs(inputs), KAVO_OK, "load three movies");
  a = kavo_item_index_of("a");
  movies = row_of_kind(KAVO_ROW_MOVIES);
  check_int(kavo_row_cell_count(movies), 3, "three movies offered");
  check_int(kavo_row_emitted(movies), 2, "two stored under the cap");
  check_int(kavo_row_cell_item_index(movies, 0), a, "the first movie cell is a's");
  check_int(kavo_row_cell_item_index(movies, 2), -1, "no item beyond the stored cells");
  favourites = row_of_kind(KAVO_ROW_FAVOURITES);
  check_int(kavo_row_cell_item_index(favourites, 0), -1, "an unknown favourite is no item");
  check_str(kavo_row_cell_title(favourites, 0), "Gone", "but a text of its own");

  check_int(kavo_item_resume_action(a), KAVO_ACTION_RESUME, "a resumes");
  check_int(kavo_item_resume_position_s(a) == 250.0, 1, "a resumes at 250 s");
  check_int(kavo_item_progress_fraction(a) == 0.25, 1, "a is a quarter watched");
  check_int(kavo_item_progress_fraction(kavo_item_index_of("b")) == 0.0, 1, "b has no progress");
  check_int(kavo_set_row_cap(200), KAVO_OK, "row cap back to 200");
  check_int(kavo_clear(), KAVO_OK, "clear after the cells");
}

int main(void) {
  test_frame();
  test_keys();
  test_invalid_indexes();
  test_cells();
  kavo_shutdown();
  printf("capi_smoke: %d passed, 0 failed\n", passed);
  return 0;
}
