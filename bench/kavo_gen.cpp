// kavo_gen N [SEED] [--extras]: writes the generated inputs object for N
// catalogue items to standard output (the text kavo_load_inputs takes); with
// --extras the items carry credits offsets and the store dismissals.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "generate.h"

int main(int argc, char** argv) {
  const bool extras = argc > 2 && std::string(argv[argc - 1]) == "--extras";
  if (extras) --argc;
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s ITEMS [SEED] [--extras] > inputs.json\n", argv[0]);
    return 2;
  }
  char* end = nullptr;
  const long items = std::strtol(argv[1], &end, 10);
  if (end == argv[1] || *end != '\0' || items < 0 || items > 10000000) {
    std::fprintf(stderr, "%s: ITEMS must be a number from 0 to 10000000\n", argv[0]);
    return 2;
  }
  uint64_t seed = kavo_bench::kDefaultSeed;
  if (argc == 3) {
    seed = std::strtoull(argv[2], &end, 10);
    if (end == argv[2] || *end != '\0') {
      std::fprintf(stderr, "%s: SEED must be a number\n", argv[0]);
      return 2;
    }
  }
  const std::string text = extras ? kavo_bench::generate_inputs_with_extras(static_cast<int32_t>(items), seed)
                                  : kavo_bench::generate_inputs(static_cast<int32_t>(items), seed);
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
    std::perror("kavo_gen");
    return 1;
  }
  return 0;
}
