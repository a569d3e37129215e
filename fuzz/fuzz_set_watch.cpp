// kavo_set_watch with any text over the example catalogue: entries join items
// by id, IMDb id, season and episode, and decide resume state, Continue
// Watching and the next episode. The selection's detail follows.
#include "fuzz_support.h"

static std::string g_inputs;
static std::string g_autoplay;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_inputs = fz::example("inputs.json");
  g_autoplay = fz::example("autoplay_settings.json");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = fz::c_text(data, size);
  fz::reset_library();
  FZ_CHECK(kavo_set_autoplay_settings(g_autoplay.c_str()) == 0);
  FZ_CHECK(kavo_load_inputs(g_inputs.c_str()) == 0);
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
