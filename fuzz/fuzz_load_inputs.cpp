// kavo_load_inputs with any text: every input in one object. A second load of
// the same text must give the same documents (nothing carried over).
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = fz::c_text(data, size);
  const auto messages = {"inputs: not valid JSON", "inputs: root not object",
                         "server_home must be an object", "items must be an array",
                         "watch must be an array", "library must be an array",
                         "store must be an object", "server home: not valid JSON",
                         "server home: root not object", "not valid JSON", "expected an array",
                         "watch: not valid JSON", "watch: expected an array",
                         "store: not valid JSON", "store: root not object"};
  fz::reset_library();
  const int32_t rc = kavo_load_inputs(text.c_str());
  fz::check_outcome(rc, messages, {0, 1});
  fz::check_model();
  if (rc != 0) return 0;
  const std::string first = kavo_result_json();
  const std::string flags = kavo_server_flags_json();
  FZ_CHECK(kavo_load_inputs(text.c_str()) == 0);
  FZ_CHECK(first == kavo_result_json());
  FZ_CHECK(flags == kavo_server_flags_json());
  return 0;
}
