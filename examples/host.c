/*
 * A minimal host of libkavo in plain C: read an inputs object from a file,
 * load it with one call, print the home rows with each cell's progress,
 * select an item as a click on its cell would, shut the library down.
 *
 *   cc -std=c99 host.c $(pkg-config --cflags --libs kavo) -o host
 *   ./host inputs.json
 */
#include <kavo.h>

#include <stdio.h>
#include <stdlib.h>

/* Reads a whole file into a NUL-terminated heap text; NULL on failure. */
static char* read_file(const char* path) {
  FILE* f = fopen(path, "rb");
  char* text = NULL;
  size_t len = 0, cap = 0;
  if (!f) return NULL;
  for (;;) {
    size_t got;
    if (cap - len < 4096) {
      char* grown = realloc(text, cap ? cap * 2 : 65536);
      if (!grown) break;
      text = grown;
      cap = cap ? cap * 2 : 65536;
    }
    got = fread(text + len, 1, cap - len - 1, f);
    len += got;
    if (got == 0) {
      if (ferror(f)) break;
      text[len] = '\0';
      fclose(f);
      return text;
    }
  }
  free(text);
  fclose(f);
  return NULL;
}

int main(int argc, char** argv) {
  char* inputs;
  int32_t rows, r, status, resume_item = -1;

  if (argc != 2) {
    fprintf(stderr, "usage: %s INPUTS.json\n", argv[0]);
    return 2;
  }
  inputs = read_file(argv[1]);
  if (!inputs) {
    perror(argv[1]);
    return 1;
  }

  /* One call replaces the whole model; the library copies what it keeps. */
  status = kavo_load_inputs(inputs);
  free(inputs);
  if (status != KAVO_OK) {
    fprintf(stderr, "%s: kavo_load_inputs: %s (code %d)\n", argv[1], kavo_last_error(),
            (int)kavo_last_code());
    kavo_shutdown();
    return 1;
  }

  /* Row and cell texts stay valid until the next input call. */
  rows = kavo_row_count();
  printf("libkavo %s: %d rows\n", kavo_version(), (int)rows);
  for (r = 0; r < rows; ++r) {
    /* A row stores at most the row cap of cells; the others are only counted. */
    int32_t stored = kavo_row_emitted(r), c;
    printf("[%d] kind %d  %s  (%d cells", (int)r, (int)kavo_row_kind(r), kavo_row_title(r),
           (int)kavo_row_cell_count(r));
    if (kavo_row_truncated(r)) printf(", %d kept", (int)stored);
    printf(")\n");
    for (c = 0; c < stored; ++c) {
      const char* title = kavo_row_cell_title(r, c);
      int32_t item = kavo_row_cell_item_index(r, c);
      printf("    %s", title ? title : "(untitled)");
      if (item < 0) {
        printf("  (the row's own text)\n"); /* nothing to select */
        continue;
      }
      if (kavo_item_resume_action(item) == KAVO_ACTION_RESUME) {
        printf("  [resume at %.0f s", kavo_item_resume_position_s(item));
        if (kavo_item_progress_fraction(item) > 0)
          printf(", %.0f%% watched", 100 * kavo_item_progress_fraction(item));
        printf("]");
      } else if (kavo_item_resume_action(item) == KAVO_ACTION_FINISHED) {
        printf("  [watched]");
      }
      printf("\n");
      if (resume_item < 0 && kavo_row_kind(r) == KAVO_ROW_CONTINUE_WATCHING) resume_item = item;
    }
  }

  /* A click on the first cell of Continue Watching: select its item and play
   * it from its best source. */
  if (resume_item >= 0) {
    const char* url;
    if (kavo_select_item(kavo_item_id(resume_item)) != KAVO_OK) {
      fprintf(stderr, "kavo_select_item: %s\n", kavo_last_error());
      kavo_shutdown();
      return 1;
    }
    url = kavo_detail_best_source_url();
    printf("selected %s: plays %s\n", kavo_item_id(resume_item), url ? url : "(nothing playable)");
  }

  kavo_shutdown(); /* before the host unloads the library */
  return 0;
}
