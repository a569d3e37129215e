// kavo_set_library with any text over the example catalogue: library entries
// link to catalogue items by id and path and feed the library rows.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = fz::c_text(data, size);
  fz::load_example();
  const int32_t rc = kavo_set_library(text.c_str());
  fz::check_outcome(rc, {"not valid JSON", "expected an array"}, {0, 1});
  fz::check_model();
  // Replacing the library again with nothing always works.
  fz::check_outcome(kavo_set_library(nullptr), {}, {0});
  fz::check_model();
  return 0;
}
