// kavo_set_store with any text over the example catalogue: favourites feed
// the Favourites row, playlists are kept.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = fz::c_text(data, size);
  fz::load_example();
  const int32_t rc = kavo_set_store(text.c_str());
  fz::check_outcome(rc, {"store: not valid JSON", "store: root not object"}, {0, 1});
  fz::check_model();
  return 0;
}
