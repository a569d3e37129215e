/* A consumer of the installed library: prints the version and one hash. */
#include <kavo.h>

#include <stdio.h>

int main(void) {
  char hash[16];
  if (kavo_stable_hash("abc", hash, sizeof hash) != 0) {
    fprintf(stderr, "kavo_stable_hash: %s\n", kavo_last_error());
    return 1;
  }
  printf("kavo %s hash %s\n", kavo_version(), hash);
  kavo_shutdown();
  return 0;
}
