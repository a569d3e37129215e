// kavo_set_resume_settings with any text; the settings show in the detail
// document at the next rebuild.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = fz::c_text(data, size);
  fz::load_example();
  const std::string before = kavo_result_json();
  const int32_t rc = kavo_set_resume_settings(text.c_str());
  fz::check_outcome(rc, {"resume settings: not valid JSON", "resume settings: root not object"},
                    {0, 1});
  // Settings rebuild nothing.
  FZ_CHECK(before == kavo_result_json());
  for (int32_t i = 0; i < kavo_item_count() && i < 8; ++i) {
    FZ_CHECK(kavo_select_item(kavo_item_id(i)) == 0);
    fz::check_parses(kavo_detail_json(), "detail");
  }
  fz::check_model();
  return 0;
}
