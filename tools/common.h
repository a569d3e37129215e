// Helpers shared by the kavo tool's commands: reading the library's JSON
// documents, the names of its number codes, and small text formatting.
#pragma once

#include <kavo.h>
#include <yyjson.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

namespace kavo_tool {

// A failure of the data or of a library call: reported on stderr, exit 1.
struct ToolError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A wrong command line: reported with the usage, exit 2.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// ---- Names of the library's number codes ---------------------------------

inline const char* row_kind_name(int64_t kind) {
  switch (kind) {
    case KAVO_ROW_CONTINUE_WATCHING: return "continue_watching";
    case KAVO_ROW_RECENTLY_ADDED: return "recently_added";
    case KAVO_ROW_MOVIES: return "movies";
    case KAVO_ROW_TV_SHOWS: return "tv_shows";
    case KAVO_ROW_FOLDERS: return "folders";
    case KAVO_ROW_FAVOURITES: return "favourites";
    case KAVO_ROW_GENRE: return "genre";
    case KAVO_ROW_COLLECTIONS: return "collections";
    case KAVO_ROW_UNMATCHED: return "unmatched_items";
    case KAVO_ROW_SERVER_LIST: return "server_list";
    case KAVO_ROW_SPOTLIGHT: return "spotlight";
    case KAVO_ROW_NOW_PLAYING: return "now_playing";
    case KAVO_ROW_SHOW: return "show";
    case KAVO_ROW_AUDIO: return "audio";
    default: return "unknown";
  }
}

inline const char* item_kind_name(int64_t kind) {
  switch (kind) {
    case KAVO_KIND_MOVIE: return "movie";
    case KAVO_KIND_SHOW: return "show";
    case KAVO_KIND_EPISODE: return "episode";
    case KAVO_KIND_FILE: return "file";
    case KAVO_KIND_FOLDER: return "folder";
    default: return "unknown";
  }
}

inline const char* action_name(int64_t action) {
  switch (action) {
    case KAVO_ACTION_RESUME: return "resume";
    case KAVO_ACTION_FINISHED: return "finished";
    default: return "start";
  }
}

inline const char* content_source_name(int64_t code) {
  switch (code) {
    case KAVO_SOURCE_VELORA_PLUS: return "velora_plus";
    case KAVO_SOURCE_HARBOR: return "harbor";
    case KAVO_SOURCE_DEBRID: return "debrid";
    case KAVO_SOURCE_LOCAL: return "local";
    case KAVO_SOURCE_OTHER: return "other";
    default: return "unstated";
  }
}

// ---- Reading the library's JSON documents --------------------------------

// An owned parse of one document the library handed out. The library's texts
// live only until its next call of the same getter, so each is parsed at once.
class Json {
 public:
  explicit Json(const char* text)
      : doc_(text ? yyjson_read(text, std::strlen(text), 0) : nullptr) {}
  ~Json() { yyjson_doc_free(doc_); }
  Json(const Json&) = delete;
  Json& operator=(const Json&) = delete;
  yyjson_val* root() const { return doc_ ? yyjson_doc_get_root(doc_) : nullptr; }

 private:
  yyjson_doc* doc_;
};

inline std::string str_of(yyjson_val* obj, const char* key) {
  const char* s = yyjson_get_str(yyjson_obj_get(obj, key));
  return s ? s : "";
}
inline int64_t int_of(yyjson_val* obj, const char* key, int64_t absent = -1) {
  yyjson_val* v = yyjson_obj_get(obj, key);
  return yyjson_is_int(v) ? yyjson_get_sint(v) : absent;
}
inline double num_of(yyjson_val* obj, const char* key, double absent = -1) {
  yyjson_val* v = yyjson_obj_get(obj, key);
  return yyjson_is_num(v) ? yyjson_get_num(v) : absent;
}

// ---- Text formatting -------------------------------------------------------

inline std::string format(const char* fmt, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, v);
  return buf;
}

// 1234.8 -> "20:34", 3725 -> "1:02:05".
inline std::string clock_time(double seconds) {
  if (!(seconds >= 0) || seconds > 1e12) return "?";
  const long long total = static_cast<long long>(seconds);
  char buf[48];
  if (total >= 3600)
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
  else
    std::snprintf(buf, sizeof buf, "%lld:%02lld", total / 60, total % 60);
  return buf;
}

inline std::string bytes_text(int64_t size) {
  const double gb = static_cast<double>(size) / 1e9;
  if (gb >= 1) return format("%.1f GB", gb);
  return format("%.0f MB", static_cast<double>(size) / 1e6);
}

// "S01E02" for an episode, " (2021)" for a dated title, else nothing.
inline std::string label_suffix(int64_t season, int64_t episode, int64_t year) {
  char buf[64];
  if (season > 0 && episode > 0) {
    std::snprintf(buf, sizeof buf, " S%02lldE%02lld", static_cast<long long>(season),
                  static_cast<long long>(episode));
    return buf;
  }
  if (year > 0) {
    std::snprintf(buf, sizeof buf, " (%lld)", static_cast<long long>(year));
    return buf;
  }
  return "";
}

// The resume state of a cell or item, as a player would badge it.
inline std::string resume_badge(int64_t action, double position_s, double fraction) {
  if (action == KAVO_ACTION_FINISHED) return "✓ done";
  if (action != KAVO_ACTION_RESUME) return "";
  std::string out = "resume";
  if (fraction > 0) out += " " + format("%.0f%%", fraction * 100);
  return out + " at " + clock_time(position_s);
}

}  // namespace kavo_tool
