/*
 * A minimal host of libkavo in plain C: read an inputs object from a file,
 * load it with one call, print the home rows, shut the library down.
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
  int32_t rows, r, status;

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
  if (status != 0) {
    fprintf(stderr, "%s: kavo_load_inputs: %s (code %d)\n", argv[1], kavo_last_error(),
            (int)kavo_last_code());
    kavo_shutdown();
    return 1;
  }

  /* Row and cell texts stay valid until the next input call. */
  rows = kavo_row_count();
  printf("libkavo %s: %d rows\n", kavo_version(), (int)rows);
  for (r = 0; r < rows; ++r) {
    int32_t cells = kavo_row_cell_count(r), c;
    /* A row truncated by the cap stored only as many cells as the cap (set
     * before loading) allowed; the others were counted but never kept. */
    int32_t stored = kavo_row_truncated(r) ? kavo_get_row_cap() : cells;
    printf("[%d] kind %d  %s  (%d cells%s)\n", (int)r, (int)kavo_row_kind(r), kavo_row_title(r),
           (int)cells, kavo_row_truncated(r) ? ", truncated" : "");
    for (c = 0; c < stored; ++c) {
      const char* title = kavo_row_cell_title(r, c);
      printf("    %s%s\n", title ? title : "(untitled)",
             kavo_row_cell_resume_action(r, c) == 1   ? "  [resume]"
             : kavo_row_cell_resume_action(r, c) == 2 ? "  [watched]"
                                                       : "");
    }
  }

  kavo_shutdown(); /* before the host unloads the library */
  return 0;
}
