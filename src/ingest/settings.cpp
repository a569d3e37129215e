// Playback settings: resume and home (remember position and audio, the
// thresholds of the resume decision, what Continue Watching, the next
// episodes and the library rows show) and autoplay (when to propose the next
// episode, the countdown, playing on by itself). Neither setter rebuilds; the
// settings take effect at the next rebuild or query. Each call reads its
// whole object into a value of its own and assigns it only at the end, so a
// call that fails leaves every setting as it was.
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

// Members of the resume and home settings, one spelling each.
const char* const k_finished_fraction[] = {"finished_fraction", nullptr};
const char* const k_resume_min_s[] = {"resume_min_s", nullptr};
const char* const k_resume_min_fraction[] = {"resume_min_fraction", nullptr};
const char* const k_short_item_s[] = {"short_item_s", nullptr};
const char* const k_finished_at_proposal[] = {"finished_at_proposal", nullptr};
const char* const k_keep_finished[] = {"keep_finished_on_replay", nullptr};
const char* const k_continue_skip_finished[] = {"continue_skip_finished", nullptr};
const char* const k_continue_next_up[] = {"continue_next_up", nullptr};
const char* const k_next_following[] = {"next_episode_following", nullptr};
const char* const k_catalogue_by_year[] = {"catalogue_by_year", nullptr};
const char* const k_recent_group_shows[] = {"recent_group_shows", nullptr};
const char* const k_recent_skip_finished[] = {"recent_skip_finished", nullptr};
const char* const k_show_rows_max[] = {"show_rows_max", nullptr};
// Members of the autoplay settings beyond the lists above.
const char* const k_ap_at_credits[] = {"present_at_credits", nullptr};
const char* const k_ap_only_with_next[] = {"proposal_only_with_next", nullptr};

// A switch: true, false or any value the boolean reader takes.
void read_flag(yyjson_val* object, KeyList keys, int32_t* setting) {
  int value = 0;
  if (js_bool_first(object, keys, &value) == 0) *setting = value ? 1 : 0;
}

// A number under one name, taken only inside its range; outside it the
// setting keeps its default.
template <class InRange>
void read_number(yyjson_val* object, KeyList key, double* setting, InRange in_range) {
  double value = 0.0;
  if (js_dbl_first(object, key, &value) == 0 && in_range(value)) *setting = value;
}

bool share(double v) { return v > 0.0 && v < 1.0; }

// "title_sort": "natural", or "bytes" (any other value).
int32_t read_title_sort(yyjson_val* object) {
  Text word;
  if (val_str(obj_get(object, "title_sort"), &word) != 0 || !word) return 0;
  return ci_cmp(word.get(), "natural") == 0 ? 1 : 0;
}

// "title_articles": the non-empty texts of an array, the first
// kMaxTitleArticles of them; anything but an array keeps the default.
void read_title_articles(yyjson_val* object, TitleArticles* out) {
  yyjson_val* array = obj_get(object, "title_articles");
  if (!yyjson_is_arr(array)) return;
  TitleArticles articles;
  articles.count = 0;
  std::size_t idx = 0, max = 0;
  yyjson_val* element = nullptr;
  yyjson_arr_foreach(array, idx, max, element) {
    if (articles.count == kMaxTitleArticles) break;
    if (!yyjson_is_str(element) || yyjson_get_str(element)[0] == '\0') continue;
    articles.words[articles.count++] = yyjson_get_str(element);
  }
  *out = std::move(articles);
}

// "present_before_steps": [min_duration_s, before_s] pairs of numbers of at
// least 0, the first kMaxPresentSteps of them; other elements are skipped.
void read_present_steps(yyjson_val* object, AutoplaySettings* out) {
  yyjson_val* array = obj_get(object, "present_before_steps");
  if (!yyjson_is_arr(array)) return;
  std::size_t idx = 0, max = 0;
  yyjson_val* element = nullptr;
  yyjson_arr_foreach(array, idx, max, element) {
    if (out->n_steps == kMaxPresentSteps) break;
    PresentStep step;
    if (!yyjson_is_arr(element) || val_dbl(yyjson_arr_get(element, 0), &step.min_duration_s) != 0 ||
        val_dbl(yyjson_arr_get(element, 1), &step.before_s) != 0 || !(step.min_duration_s >= 0.0) ||
        !(step.before_s >= 0.0)) {
      continue;
    }
    out->steps[out->n_steps++] = step;
  }
}

// The members beyond the two remember switches.
void read_home_settings(yyjson_val* root, ResumeSettings* s) {
  read_number(root, k_finished_fraction, &s->finished_fraction, share);
  read_number(root, k_resume_min_s, &s->resume_min_s, [](double v) { return v >= 0.0; });
  read_number(root, k_resume_min_fraction, &s->resume_min_fraction, share);
  read_number(root, k_short_item_s, &s->short_item_s, [](double v) { return v > 0.0; });
  read_flag(root, k_finished_at_proposal, &s->finished_at_proposal);
  read_flag(root, k_keep_finished, &s->keep_finished_on_replay);
  read_flag(root, k_continue_skip_finished, &s->continue_skip_finished);
  read_flag(root, k_continue_next_up, &s->continue_next_up);
  read_flag(root, k_next_following, &s->next_episode_following);
  s->title_sort_natural = read_title_sort(root);
  read_title_articles(root, &s->title_articles);
  read_flag(root, k_catalogue_by_year, &s->catalogue_by_year);
  read_flag(root, k_recent_group_shows, &s->recent_group_shows);
  read_flag(root, k_recent_skip_finished, &s->recent_skip_finished);
  int32_t rows = -1;
  if (js_int_first(root, k_show_rows_max, &rows) == 0 && rows >= 0) s->show_rows_max = rows;
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
    read_home_settings(root, &settings);
  }
  s_settings.resume = std::move(settings);
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
      read_present_steps(root, &settings);
      read_flag(root, k_ap_at_credits, &settings.present_at_credits);
      read_flag(root, k_ap_only_with_next, &settings.proposal_only_with_next);
    }
  }
  s_settings.autoplay = settings;
  return succeed();
}

}  // namespace kavo
