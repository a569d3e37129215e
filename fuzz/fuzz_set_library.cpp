// kavo_set_library with any text over the example catalogue: library entries
// link to catalogue items by id and path and feed the library rows.
#include "fuzz_support.h"

static std::string g_inputs;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_inputs = fz::example("inputs.json");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = fz::c_text(data, size);
  fz::reset_library();
  FZ_CHECK(kavo_load_inputs(g_inputs.c_str()) == 0);
  const int32_t rc = kavo_set_library(text.c_str());
  fz::check_outcome(rc, {"not valid JSON", "expected an array"}, {0, 1});
  fz::check_model();
  // Replacing the library again with nothing always works.
  fz::check_outcome(kavo_set_library(nullptr), {}, {0});
  fz::check_model();
  return 0;
}
