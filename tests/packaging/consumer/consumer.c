/* A consumer of the installed library: prints the version and one hash, and
 * fails when the installed header and the installed library disagree on the
 * version. */
#include <kavo.h>

#include <stdio.h>
#include <string.h>

#if !defined(KAVO_VERSION_NUMBER) || KAVO_VERSION_NUMBER < 10000
#error "kavo.h gives no version macros"
#endif

int main(void) {
  char hash[16];
  if (strcmp(kavo_version(), KAVO_VERSION_STRING) != 0) {
    fprintf(stderr, "kavo.h is of version %s, the library of %s\n", KAVO_VERSION_STRING, kavo_version());
    return 1;
  }
  if (kavo_stable_hash("abc", hash, sizeof hash) != KAVO_OK) {
    fprintf(stderr, "kavo_stable_hash: %s\n", kavo_last_error());
    return 1;
  }
  printf("kavo %s hash %s\n", kavo_version(), hash);
  kavo_shutdown();
  return 0;
}
