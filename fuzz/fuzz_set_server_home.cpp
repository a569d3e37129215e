// kavo_set_server_home with any text, on an empty model and over the example
// catalogue: basics fill items, "Continues" become progress entries, the
// server's lists become rows and the three side documents are written.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = fz::c_text(data, size);
  const auto messages = {"server home: not valid JSON", "server home: root not object"};
  fz::reset_library();
  int32_t rc = kavo_set_server_home(text.c_str());
  fz::check_outcome(rc, messages, {0, 1});
  fz::check_model();

  FZ_CHECK(kavo_load_inputs(fz::example_inputs().c_str()) == 0);
  rc = kavo_set_server_home(text.c_str());
  fz::check_outcome(rc, messages, {0, 1});
  fz::check_model();
  // The same home twice: its progress entries replace, never pile up.
  if (rc == 0) {
    const std::string first = kavo_result_json();
    FZ_CHECK(kavo_set_server_home(text.c_str()) == 0);
    FZ_CHECK(first == kavo_result_json());
  }
  return 0;
}
