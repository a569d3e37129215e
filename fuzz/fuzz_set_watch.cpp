// kavo_set_watch with any text over the example catalogue: entries join items
// by id, IMDb id, season and episode, and decide resume state, Continue
// Watching and the next episode. The selection's detail follows.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = fz::c_text(data, size);
  fz::load_example();
  // Settings take effect at the next selection or input call.
  static const std::string autoplay = fz::example("autoplay_settings.json");
  FZ_CHECK(kavo_set_autoplay_settings(autoplay.c_str()) == 0);
  // Select an episode when there is one, so that the detail carries resume,
  // next episode and autoplay events.
  for (int32_t i = 0; i < kavo_item_count(); ++i) {
    if (kavo_item_kind(i) == 2) {
      kavo_select_item(kavo_item_id(i));
      break;
    }
  }
  const int32_t rc = kavo_set_watch(text.c_str());
  fz::check_outcome(rc, {"watch: not valid JSON", "watch: expected an array"}, {0, 1});
  fz::check_model();
  if (kavo_selected_index() >= 0) fz::check_parses(kavo_detail_json(), "detail");
  return 0;
}
