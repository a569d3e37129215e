// Playback settings: resume (remember position and audio) and autoplay (when
// to propose the next episode, the countdown, playing on by itself). Neither
// setter rebuilds; the settings take effect at the next rebuild or query.
#include <cstring>
#include <utility>

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

// Parses a settings object; the failure's status and message ("<what>: not
// valid JSON", "<what>: root not object") when it is no JSON object.
int32_t parse_settings(const char* json, const char* bad_json, const char* not_object, JsonDoc* out) {
  JsonDoc doc = read_json(json, std::strlen(json));
  if (!doc) return fail(kBadJson, bad_json);
  if (!yyjson_is_obj(yyjson_doc_get_root(doc.get()))) return fail(kBadJson, not_object);
  *out = std::move(doc);
  return kOk;
}

}  // namespace

int32_t set_resume_settings(const char* json) {
  ResumeSettings settings;  // the defaults
  if (json != nullptr && json[0] != '\0') {
    JsonDoc doc;
    const int32_t rc =
        parse_settings(json, "resume settings: not valid JSON", "resume settings: root not object", &doc);
    if (rc != kOk) return rc;
    yyjson_val* root = yyjson_doc_get_root(doc.get());
    int value = 0;
    if (js_bool(root, "remember_last_position", &value) == 0) settings.remember_last_position = value ? 1 : 0;
    if (js_bool(root, "remember_audio", &value) == 0) settings.remember_audio = value ? 1 : 0;
  }
  s_settings.resume = settings;
  return succeed();
}

int32_t set_autoplay_settings(const char* json) {
  AutoplaySettings settings;  // unconfigured
  if (json != nullptr && json[0] != '\0') {
    JsonDoc doc;
    const int32_t rc = parse_settings(json, "autoplay settings: not valid JSON",
                                      "autoplay settings: root not object", &doc);
    if (rc != kOk) return rc;
    yyjson_val* root = yyjson_doc_get_root(doc.get());
    // Autoplay switched off as a whole leaves it unconfigured.
    int enabled = 1;
    if (!(js_bool_first(root, k_ap_enabled, &enabled) == 0 && enabled == 0)) {
      settings.configured = 1;
      read_flag(root, k_ap_fixed, &settings.fixed);
      read_flag(root, k_ap_pct, &settings.pct);
      read_flag(root, k_ap_countdown, &settings.countdown);
      read_flag(root, k_ap_autoplay, &settings.autoplay);
      js_dbl_first(root, k_ap_fixed_dur, &settings.fixed_dur_s);
      js_dbl_first(root, k_ap_pct_val, &settings.pct_val);
      js_dbl_first(root, k_ap_countdown_s, &settings.countdown_s);
    }
  }
  s_settings.autoplay = settings;
  return succeed();
}

}  // namespace kavo
