// kavo: a command-line host for libkavo.
//
// It drives the shared library the way a player does: settings first, then
// one kavo_load_inputs with the whole inputs object, then the queries. It
// prints the home rows as a table, the detail of one item (resume decision,
// ranked sources, the address to play, next episode, autoplay timeline), or
// the stable hash and resume keys of its arguments.
#include <kavo.h>
#include <yyjson.h>

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#ifndef KAVO_SOURCE_EXAMPLES_DIR
#define KAVO_SOURCE_EXAMPLES_DIR "examples"
#endif

namespace {

// A failure the tool reports on stderr before it exits with status 1.
struct ToolError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Turns a failed library call into an error naming the call, the library's
// message and its status code.
void check(int32_t status, const std::string& call) {
  if (status == 0) return;
  throw ToolError(call + " failed: " + kavo_last_error() + " (code " +
                  std::to_string(kavo_last_code()) + ")");
}

// Reads a whole file into memory. The library reads no files itself: the host
// hands it texts.
std::string read_file(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) throw ToolError("cannot open " + path + ": " + std::strerror(errno));
  std::string text;
  char chunk[65536];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, got);
  const bool failed = std::ferror(f) != 0;
  const int err = errno;
  std::fclose(f);
  if (failed) throw ToolError("cannot read " + path + ": " + std::strerror(err));
  return text;
}

// The bundled examples: installed next to the tool under share/kavo/examples,
// else the source tree the tool was built from.
std::string examples_dir() {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const fs::path installed = exe.parent_path().parent_path() / "share" / "kavo" / "examples";
    if (fs::exists(installed / "inputs.json", ec)) return installed.string();
  }
  return KAVO_SOURCE_EXAMPLES_DIR;
}

// ---- Small text helpers ----------------------------------------------------

// Columns a UTF-8 text takes on a terminal, counting one per code point.
size_t columns(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

// Cuts a UTF-8 text to at most `width` columns, marking the cut with "…".
std::string fit(const std::string& s, size_t width) {
  if (columns(s) <= width) return s;
  std::string out;
  size_t n = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if ((c & 0xC0) != 0x80 && ++n > width - 1) break;
    out += s[i];
  }
  return out + "…";
}

std::string pad(const std::string& s, size_t width) {
  const size_t n = columns(s);
  return n >= width ? s : s + std::string(width - n, ' ');
}

// 1234.8 -> "20:34", 3725 -> "1:02:05".
std::string clock_time(double seconds) {
  if (!(seconds >= 0)) return "?";
  const long total = static_cast<long>(seconds);
  char buf[32];
  if (total >= 3600)
    std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  else
    std::snprintf(buf, sizeof buf, "%ld:%02ld", total / 60, total % 60);
  return buf;
}

std::string format(const char* fmt, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, v);
  return buf;
}

std::string bytes_text(int64_t size) {
  const double gb = static_cast<double>(size) / 1e9;
  if (gb >= 1) return format("%.1f GB", gb);
  return format("%.0f MB", static_cast<double>(size) / 1e6);
}

const char* row_kind_name(int32_t kind) {
  switch (kind) {
    case 0: return "continue_watching";
    case 1: return "recently_added";
    case 2: return "movies";
    case 3: return "tv_shows";
    case 4: return "folders";
    case 5: return "favourites";
    case 6: return "genre";
    case 7: return "collections";
    case 8: return "unmatched_items";
    case 9: return "server_list";
    case 10: return "spotlight";
    case 11: return "now_playing";
    case 12: return "show";
    case 14: return "audio";
    default: return "unknown";
  }
}

const char* item_kind_name(int32_t kind) {
  static const char* const names[] = {"movie", "show", "episode", "file", "folder", "unknown"};
  return kind >= 0 && kind <= 5 ? names[kind] : "unknown";
}

const char* action_name(int32_t action) {
  return action == 1 ? "resume" : action == 2 ? "finished" : "start";
}

const char* content_source_name(int64_t code) {
  static const char* const names[] = {"velora_plus", "harbor", "debrid", "local", "other", "unstated"};
  return code >= 0 && code <= 5 ? names[code] : "unstated";
}

// ---- Reading the library's JSON documents ----------------------------------

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

std::string str_of(yyjson_val* obj, const char* key) {
  const char* s = yyjson_get_str(yyjson_obj_get(obj, key));
  return s ? s : "";
}
int64_t int_of(yyjson_val* obj, const char* key, int64_t absent = -1) {
  yyjson_val* v = yyjson_obj_get(obj, key);
  return yyjson_is_int(v) ? yyjson_get_sint(v) : absent;
}
double num_of(yyjson_val* obj, const char* key, double absent = -1) {
  yyjson_val* v = yyjson_obj_get(obj, key);
  return yyjson_is_num(v) ? yyjson_get_num(v) : absent;
}

// "S01E02" for an episode, " (2021)" for a dated title, else nothing.
std::string label_suffix(int64_t season, int64_t episode, int64_t year) {
  char buf[48];
  if (season > 0 && episode > 0) {
    std::snprintf(buf, sizeof buf, " S%02" PRId64 "E%02" PRId64, season, episode);
    return buf;
  }
  if (year > 0) {
    std::snprintf(buf, sizeof buf, " (%" PRId64 ")", year);
    return buf;
  }
  return "";
}

// The resume state of a cell or item, as a player would badge it.
std::string resume_badge(int32_t action, double position_s, double fraction) {
  if (action == 2) return "✓ done";
  if (action != 1) return "";
  std::string out = "resume";
  if (fraction > 0) out += " " + format("%.0f%%", fraction * 100);
  return out + " at " + clock_time(position_s);
}

// ---- Options shared by the commands that load inputs -----------------------

struct LoadOptions {
  std::string inputs;
  int32_t row_cap = 0;
  CLI::Option* row_cap_opt = nullptr;
  std::string resume_settings;
  std::string autoplay_settings;
  bool json = false;
};

void add_load_options(CLI::App* cmd, LoadOptions& o) {
  cmd->add_option("INPUTS", o.inputs,
                  "Inputs object (JSON with server_home, items, watch, library, store); "
                  "default: the bundled examples/inputs.json");
  o.row_cap_opt = cmd->add_option("--row-cap", o.row_cap,
                                  "Largest number of cells one row keeps (kavo_set_row_cap)");
  cmd->add_option("--resume-settings", o.resume_settings,
                  "Resume settings JSON file (kavo_set_resume_settings)");
  cmd->add_option("--autoplay-settings", o.autoplay_settings,
                  "Autoplay settings JSON file (kavo_set_autoplay_settings)");
  cmd->add_flag("--json", o.json, "Print the library's JSON document instead of a table");
}

// Settings first, since an input call is what applies them; then the inputs.
// Returns the inputs file that was loaded.
std::string load(const LoadOptions& o) {
  if (o.row_cap_opt->count() > 0)
    check(kavo_set_row_cap(o.row_cap), "kavo_set_row_cap(" + std::to_string(o.row_cap) + ")");
  if (!o.resume_settings.empty()) {
    const std::string text = read_file(o.resume_settings);
    check(kavo_set_resume_settings(text.c_str()),
          "kavo_set_resume_settings(" + o.resume_settings + ")");
  }
  if (!o.autoplay_settings.empty()) {
    const std::string text = read_file(o.autoplay_settings);
    check(kavo_set_autoplay_settings(text.c_str()),
          "kavo_set_autoplay_settings(" + o.autoplay_settings + ")");
  }
  const std::string path = o.inputs.empty() ? examples_dir() + "/inputs.json" : o.inputs;
  const std::string text = read_file(path);
  check(kavo_load_inputs(text.c_str()), "kavo_load_inputs(" + path + ")");
  return path;
}

// ---- kavo home -------------------------------------------------------------

void print_cell(int32_t row, int32_t cell) {
  const Json doc(kavo_row_cell_json(row, cell));
  yyjson_val* c = doc.root();
  if (!c) return;
  std::string title = str_of(c, "title");
  if (title.empty()) title = "(untitled)";
  const bool item = int_of(c, "resolved", 0) == 1;
  std::string badge;
  if (item) {
    title += label_suffix(int_of(c, "season"), int_of(c, "episode"), int_of(c, "year"));
    badge = resume_badge(static_cast<int32_t>(int_of(c, "resume_action", 0)),
                         num_of(c, "resume_position_s", 0), num_of(c, "progress_fraction", 0));
    // Shows are browsed, not played: only say so for what could be played.
    if (int_of(c, "playable", 0) == 0 && int_of(c, "kind") != 1)
      badge += badge.empty() ? "not playable" : ", not playable";
  } else {
    badge = "·";  // a text of the row's own, not a catalogue item
  }
  if (badge.empty())
    std::printf("       %s\n", fit(title, 46).c_str());
  else
    std::printf("       %s  %s\n", pad(fit(title, 46), 46).c_str(), badge.c_str());
}

void run_home(const LoadOptions& o, int32_t shown_cells) {
  const std::string path = load(o);
  if (o.json) {
    const char* result = kavo_result_json();
    std::printf("%s\n", result ? result : "{}");
    return;
  }
  const int32_t rows = kavo_row_count();
  std::printf("Home screen of %s: %d rows, %d catalogue items, row cap %d\n\n", path.c_str(),
              rows, kavo_item_count(), kavo_get_row_cap());
  std::printf("  %-3s  %-17s  %s  %s\n", "#", "kind", pad("title", 36).c_str(), "cells");
  for (int32_t r = 0; r < rows; ++r) {
    const char* title = kavo_row_title(r);
    const int32_t offered = kavo_row_cell_count(r);
    // A truncated row stores as many cells as the cap allowed at its rebuild,
    // which is the cap set before loading.
    const int32_t stored =
        kavo_row_truncated(r) ? std::min(offered, kavo_get_row_cap()) : offered;
    std::string count = std::to_string(offered);
    if (stored < offered) count += " (+" + std::to_string(offered - stored) + " not shown)";
    std::printf("  %-3d  %-17s  %s  %s\n", r, row_kind_name(kavo_row_kind(r)),
                pad(fit(title ? title : "", 36), 36).c_str(), count.c_str());
    const int32_t listed = std::min(stored, shown_cells);
    for (int32_t c = 0; c < listed; ++c) print_cell(r, c);
    if (stored > listed) std::printf("       … %d more\n", stored - listed);
  }
  std::printf("\n· a cell of the row's own text, not a catalogue item\n");
}

// ---- kavo item -------------------------------------------------------------

void print_source(int32_t index) {
  const Json doc(kavo_detail_source_json(index));
  yyjson_val* s = doc.root();
  if (!s) throw ToolError(std::string("kavo_detail_source_json failed: ") + kavo_last_error());
  std::string address = str_of(s, "url");
  if (address.empty()) address = str_of(s, "uri");
  if (address.empty()) address = "(no address)";
  std::vector<std::string> facts;
  const int64_t w = int_of(s, "width"), h = int_of(s, "height");
  if (w > 0 && h > 0) facts.push_back(std::to_string(w) + "x" + std::to_string(h));
  if (!str_of(s, "quality").empty()) facts.push_back(str_of(s, "quality"));
  if (int_of(s, "hdr") == 1) facts.push_back("HDR");
  if (int_of(s, "dolby") == 1) facts.push_back("Atmos");
  if (int_of(s, "hevc") == 1) facts.push_back("HEVC");
  if (int_of(s, "size") > 0) facts.push_back(bytes_text(int_of(s, "size")));
  if (int_of(s, "content_source") >= 0) facts.push_back(content_source_name(int_of(s, "content_source")));
  if (int_of(s, "active") == 0) facts.push_back("inactive");
  if (!str_of(s, "key").empty()) facts.push_back("key " + str_of(s, "key"));
  std::string joined;
  for (const std::string& f : facts) joined += (joined.empty() ? "" : ", ") + f;
  std::printf("  %d. rank %-8" PRId64 " %s\n       %s\n", index + 1, int_of(s, "rank", 0),
              address.c_str(), joined.c_str());
}

void print_next() {
  const Json doc(kavo_detail_next_json());
  yyjson_val* n = doc.root();
  const std::string id = str_of(n, "item_id");
  if (id.empty()) {
    std::printf("Next:      none\n");
    return;
  }
  std::string title = str_of(n, "title");
  if (title.empty()) title = "(untitled)";
  title += label_suffix(int_of(n, "season"), int_of(n, "episode"), -1);
  std::printf("Next:      %s  %s%s\n", id.c_str(), title.c_str(),
              int_of(n, "playable", 0) ? "" : "  (not playable)");
}

void print_autoplay() {
  if (!kavo_detail_autoplay_configured()) {
    std::printf("Autoplay:  not configured (pass --autoplay-settings FILE)\n");
    return;
  }
  const Json doc(kavo_detail_autoplay_json());
  yyjson_val* events = doc.root();
  const size_t n = yyjson_is_arr(events) ? yyjson_arr_size(events) : 0;
  std::printf("Autoplay:  %zu event%s\n", n, n == 1 ? "" : "s");
  size_t i, max;
  yyjson_val* e;
  yyjson_arr_foreach(events, i, max, e) {
    std::string notes;
    if (int_of(e, "auto_dismiss", 0)) notes += "  auto-dismiss";
    if (int_of(e, "auto_play", 0)) notes += "  plays next automatically";
    const double at = num_of(e, "at_s");
    std::printf("  %-16s at %s (%s s)%s\n", str_of(e, "name").c_str(), clock_time(at).c_str(),
                format("%.1f", at).c_str(), notes.c_str());
  }
}

void run_item(const LoadOptions& o, const std::string& id) {
  load(o);
  check(kavo_select_item(id.c_str()), "kavo_select_item(" + id + ")");
  if (o.json) {
    const char* detail = kavo_detail_json();
    if (!detail) check(kavo_last_code(), "kavo_detail_json");
    std::printf("%s\n", detail ? detail : "{}");
    return;
  }
  const int32_t index = kavo_selected_index();
  const char* title = kavo_item_title(index);
  const char* imdb = kavo_item_imdb(index);
  std::printf("Item %s: %s%s (%s%s%s)\n", kavo_item_id(index), title ? title : "(untitled)",
              label_suffix(kavo_item_season(index), kavo_item_episode(index), kavo_item_year(index))
                  .c_str(),
              item_kind_name(kavo_item_kind(index)), imdb ? ", " : "", imdb ? imdb : "");

  const int32_t action = kavo_detail_resume_action();
  const double position = kavo_detail_resume_position_s();
  const double fraction = kavo_detail_progress_fraction();
  std::string resume = action_name(action);
  if (action == 1) resume += " at " + clock_time(position) + " (" + format("%.1f", position) + " s)";
  if (fraction > 0) resume += ", " + format("%.1f%%", fraction * 100) + " watched";
  if (kavo_detail_resume_clamped()) resume += ", clamped";
  std::printf("Resume:    %s\n", resume.c_str());

  const int32_t sources = kavo_detail_source_count();
  std::printf("Sources:   %d, best first\n", sources);
  for (int32_t s = 0; s < sources; ++s) print_source(s);
  const char* best = kavo_detail_best_source_url();
  std::printf("Play:      %s\n", best ? best : "(nothing playable)");
  print_next();
  print_autoplay();
}

// ---- kavo hash / key / legacy-key -------------------------------------------

void run_hash(const std::string& text) {
  char out[16];  // eleven bytes always suffice
  check(kavo_stable_hash(text.c_str(), out, sizeof out), "kavo_stable_hash");
  std::printf("%s\n", out);
}

void run_key(const std::string& a, const std::string& b, const std::string& c) {
  // Base64 of the three texts joined by two separator bytes, with its NUL.
  std::vector<char> out(4 * ((a.size() + b.size() + c.size() + 4) / 3) + 1);
  check(kavo_resume_key(a.c_str(), b.c_str(), c.c_str(), out.data(), out.size()),
        "kavo_resume_key");
  std::printf("%s\n", out.data());
}

void run_legacy_key(const std::string& text) {
  std::vector<char> out(4 * ((text.size() + 2) / 3) + 1);
  check(kavo_legacy_resume_key(text.c_str(), out.data(), out.size()), "kavo_legacy_resume_key");
  std::printf("%s\n", out.data());
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Drive libkavo the way a host does: load inputs, show the home rows or the "
               "detail of one item, compute hashes and resume keys.",
               "kavo"};
  app.set_version_flag("--version", std::string("libkavo ") + kavo_version());
  app.require_subcommand(1);

  LoadOptions home_opts;
  int32_t shown_cells = 5;
  CLI::App* home = app.add_subcommand("home", "Load the inputs and print the home rows");
  add_load_options(home, home_opts);
  home->add_option("--cells", shown_cells, "Cells to list per row")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();

  LoadOptions item_opts;
  std::string item_id;
  CLI::App* item = app.add_subcommand(
      "item", "Load the inputs, select one item and print its detail: resume decision, "
              "ranked sources, address to play, next episode, autoplay timeline");
  item->add_option("ID", item_id, "Catalogue item id")->required();
  add_load_options(item, item_opts);

  std::string hash_text;
  CLI::App* hash = app.add_subcommand("hash", "Print the stable 32-bit hash of a text");
  hash->add_option("TEXT", hash_text, "Text to hash")->required();

  std::string key_a, key_b, key_c;
  CLI::App* key = app.add_subcommand("key", "Print the resume key of three texts");
  key->add_option("A", key_a, "First text")->required();
  key->add_option("B", key_b, "Second text")->required();
  key->add_option("C", key_c, "Third text")->required();

  std::string legacy_text;
  CLI::App* legacy = app.add_subcommand("legacy-key", "Print the legacy resume key of a text");
  legacy->add_option("TEXT", legacy_text, "Text to encode")->required();

  int status = 0;
  try {
    app.parse(argc, argv);
    if (*home) run_home(home_opts, shown_cells);
    if (*item) run_item(item_opts, item_id);
    if (*hash) run_hash(hash_text);
    if (*key) run_key(key_a, key_b, key_c);
    if (*legacy) run_legacy_key(legacy_text);
  } catch (const CLI::ParseError& e) {
    status = app.exit(e);
  } catch (const ToolError& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "kavo: %s\n", e.what());
    status = 1;
  }
  kavo_shutdown();
  return status;
}
