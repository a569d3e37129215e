// Playback settings: resume (remember position and audio) and autoplay (when
// to propose the next episode, the countdown, playing on by itself). Neither
// setter rebuilds; the settings take effect at the next rebuild or query.
#include <cstring>

#include "frame/status.h"
#include "ingest/ingest.h"
#include "ingest/readers.h"

namespace kavo {

namespace {

const char* const k_ap_fixed[] = {"use_fixed_present_before", "useFixedPresentBefore", nullptr};
const char* const k_ap_pct[] = {"use_percentage_present_before", "usePercentagePresentBefore",
                                nullptr};
const char* const k_ap_countdown[] = {"enable_counting_down", "EnableCountingDown", nullptr};
const char* const k_ap_autoplay[] = {"automatic_play_next", "AutomaticPlayNext", nullptr};
const char* const k_ap_fixed_dur[] = {"present_before_duration_s", "PresentBeforeEndingDuration",
                                      nullptr};
const char* const k_ap_pct_val[] = {"present_before_percentage", "PresentBeforeEndingPercentage",
                                    nullptr};
const char* const k_ap_countdown_s[] = {"countdown_duration_s", "CountdownDuration", nullptr};
const char* const k_ap_enabled[] = {"enabled", "Enabled", nullptr};

void read_flag(yyjson_val* object, KeyList keys, int32_t* setting) {
  int value = 0;
  if (js_bool_first(object, keys, &value) == 0) *setting = value ? 1 : 0;
}

void reset_autoplay() {
  s_ap_configured = s_ap_fixed = s_ap_pct = s_ap_countdown = s_ap_autoplay = 0;
  s_ap_fixed_dur_s = s_ap_pct_val = s_ap_countdown_s = 0.0;
}

}  // namespace

int32_t set_resume_settings(const char* json) {
  if (json == nullptr || json[0] == '\0') {
    s_remember_last_position = 1;
    s_remember_audio = 0;
    return succeed();
  }
  yyjson_doc* doc =
      yyjson_read_opts(const_cast<char*>(json), std::strlen(json), 0, nullptr, nullptr);
  if (doc == nullptr) return fail(kBadJson, "resume settings: not valid JSON");
  yyjson_val* root = yyjson_doc_get_root(doc);
  if (!yyjson_is_obj(root)) {
    yyjson_doc_free(doc);
    return fail(kBadJson, "resume settings: root not object");
  }
  s_remember_last_position = 1;
  s_remember_audio = 0;
  int value = 0;
  if (js_bool(root, "remember_last_position", &value) == 0) s_remember_last_position = value ? 1 : 0;
  if (js_bool(root, "remember_audio", &value) == 0) s_remember_audio = value ? 1 : 0;
  yyjson_doc_free(doc);
  return succeed();
}

int32_t set_autoplay_settings(const char* json) {
  reset_autoplay();
  if (json == nullptr || json[0] == '\0') return succeed();
  yyjson_doc* doc =
      yyjson_read_opts(const_cast<char*>(json), std::strlen(json), 0, nullptr, nullptr);
  if (doc == nullptr) return fail(kBadJson, "autoplay settings: not valid JSON");
  yyjson_val* root = yyjson_doc_get_root(doc);
  if (!yyjson_is_obj(root)) {
    yyjson_doc_free(doc);
    return fail(kBadJson, "autoplay settings: root not object");
  }
  // Autoplay switched off as a whole leaves it unconfigured.
  int enabled = 1;
  if (js_bool_first(root, k_ap_enabled, &enabled) == 0 && enabled == 0) {
    yyjson_doc_free(doc);
    return succeed();
  }
  s_ap_configured = 1;
  read_flag(root, k_ap_fixed, &s_ap_fixed);
  read_flag(root, k_ap_pct, &s_ap_pct);
  read_flag(root, k_ap_countdown, &s_ap_countdown);
  read_flag(root, k_ap_autoplay, &s_ap_autoplay);
  js_dbl_first(root, k_ap_fixed_dur, &s_ap_fixed_dur_s);
  js_dbl_first(root, k_ap_pct_val, &s_ap_pct_val);
  js_dbl_first(root, k_ap_countdown_s, &s_ap_countdown_s);
  yyjson_doc_free(doc);
  return succeed();
}

}  // namespace kavo
