// kavo_set_autoplay_settings with any text, then the autoplay events of every
// item of the example catalogue: any fixed duration, percentage or countdown
// must give finite event times and documents that parse.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = fz::c_text(data, size);
  fz::load_example();
  const std::string before = kavo_result_json();
  const int32_t rc = kavo_set_autoplay_settings(text.c_str());
  fz::check_outcome(rc, {"autoplay settings: not valid JSON", "autoplay settings: root not object"},
                    {0, 1});
  FZ_CHECK(before == kavo_result_json());
  FZ_CHECK(kavo_detail_autoplay_configured() == 0 || kavo_detail_autoplay_configured() == 1);
  for (int32_t i = 0; i < kavo_item_count(); ++i) {
    FZ_CHECK(kavo_select_item(kavo_item_id(i)) == 0);
    fz::check_parses(kavo_detail_json(), "detail");
    fz::Json events(kavo_detail_autoplay_json());
    FZ_CHECK(events.ok() && yyjson_is_arr(events.root()) && yyjson_arr_size(events.root()) <= 4);
  }
  fz::check_model();
  return 0;
}
