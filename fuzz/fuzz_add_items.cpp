// kavo_add_items with any text, on an empty catalogue and again on top of the
// example catalogue (so duplicate ids, joins and rows meet the fuzzed items).
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = fz::c_text(data, size);
  fz::reset_library();
  int32_t rc = kavo_add_items(text.c_str());
  fz::check_outcome(rc, {"not valid JSON", "expected an array"}, {0, 1});
  fz::check_model();

  // Again over a loaded model with a selection: a failure must leave the
  // rows and documents of the last rebuild as they were.
  FZ_CHECK(kavo_load_inputs(fz::example_inputs().c_str()) == 0);
  kavo_select_item(kavo_item_id(0));
  const std::string before = kavo_result_json();
  rc = kavo_add_items(text.c_str());
  fz::check_outcome(rc, {"not valid JSON", "expected an array"}, {0, 1});
  if (rc != 0) FZ_CHECK(before == kavo_result_json());
  fz::check_model();
  return 0;
}
