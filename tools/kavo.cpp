// kavo: a command-line host for libkavo.
//
// It drives the shared library the way a player does: settings first, then
// one kavo_load_inputs with the whole inputs object (or a recorded sequence
// of calls), then the queries. It prints the home rows as a table, as the
// result document or as an HTML page, the detail of one item (resume
// decision, ranked sources, the address to play, next episode, autoplay
// timeline), what a load of an inputs object would turn away (lint), or the
// stable hash and resume keys of its arguments.
//
// Exit status: 0 done, 1 an error of the data or a failed library call (for
// lint: inputs a load would fail on or turn something away from), 2 a wrong
// command line.
#include <kavo.h>
#include <yyjson.h>

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common.h"
#include "preview.h"

#ifndef KAVO_SOURCE_EXAMPLES_DIR
#define KAVO_SOURCE_EXAMPLES_DIR "examples"
#endif

using namespace kavo_tool;

namespace {

const char* const kUsage =
    "usage: kavo home [INPUTS] [--cells N] [--row-cap N] [--resume-settings FILE]\n"
    "                 [--autoplay-settings FILE] [--select ID] [--json [--pretty] | --html OUT.html]\n"
    "       kavo item ID [INPUTS] [the same options but --select]\n"
    "       kavo replay CALLS.jsonl [--cells N] [--json [--pretty] | --html OUT.html]\n"
    "       kavo lint INPUTS [--strict] [--json [--pretty]]\n"
    "       kavo hash TEXT | kavo key A B C | kavo legacy-key TEXT\n"
    "       kavo --help | kavo COMMAND --help | kavo --version\n";

std::string library_failure(const std::string& call) {
  return call + " failed: " + kavo_last_error() + " (code " + std::to_string(kavo_last_code()) + ")";
}

// Turns a failed library call into an error naming the call, the library's
// message and its status code.
void check(int32_t status, const std::string& call) {
  if (status != 0) throw ToolError(library_failure(call));
}

// "LABEL:LINE:COLUMN: message" when `text` is not valid JSON, else "".
// Lines and columns count from 1.
std::string json_error_at(const std::string& label, const std::string& text) {
  yyjson_read_err err;
  yyjson_doc* doc = yyjson_read_opts(const_cast<char*>(text.data()), text.size(), 0, nullptr, &err);
  if (doc != nullptr) {
    yyjson_doc_free(doc);
    return "";
  }
  size_t line = 0, col = 0, chr = 0;
  if (!yyjson_locate_pos(text.data(), text.size(), err.pos, &line, &col, &chr)) {
    return label + ": " + err.msg;
  }
  return label + ":" + std::to_string(line) + ":" + std::to_string(col) + ": " + err.msg;
}

// A library call that took `text` (read from `label`): on failure the error
// names the call, and for a text that is not valid JSON where it breaks.
void check_text_call(int32_t status, const std::string& call, const std::string& label,
                     const std::string& text) {
  if (status == KAVO_OK) return;
  std::string message = library_failure(call);
  if (status == KAVO_ERR_JSON) {
    const std::string where = json_error_at(label, text);
    if (!where.empty()) message = where + "\n" + message;
  }
  throw ToolError(message);
}

// Reads a whole file into memory. The library reads no files itself: the host
// hands it texts, which end at their first NUL, so a file holding one is
// refused rather than silently cut short.
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
  const size_t nul = text.find('\0');
  if (nul != std::string::npos) {
    size_t line = 0, col = 0, chr = 0;
    std::string where = path;
    if (yyjson_locate_pos(text.data(), text.size(), nul, &line, &col, &chr))
      where += ":" + std::to_string(line) + ":" + std::to_string(col);
    throw ToolError(where + ": embedded NUL byte (byte " + std::to_string(nul) +
                    "); a JSON text cannot hold one");
  }
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

// ---- Output options shared by the commands that show the model -------------

struct ShowOptions {
  int32_t cells = 5;
  CLI::Option* cells_opt = nullptr;
  bool json = false;
  bool pretty = false;
  std::string html;
  std::string select;
};

void add_show_options(CLI::App* cmd, ShowOptions& o, bool with_select) {
  o.cells_opt = cmd->add_option("--cells", o.cells, "Cells to list per row (the page: every cell)")
                    ->check(CLI::Range(0, 100000))
                    ->capture_default_str();
  cmd->add_flag("--json", o.json, "Print the library's JSON document instead of a table");
  cmd->add_flag("--pretty", o.pretty, "Print the JSON document indented (implies --json)");
  cmd->add_option("--html", o.html, "Write an HTML page of the home screen to this file");
  if (with_select) cmd->add_option("--select", o.select, "Select this catalogue item id after loading");
}

void check_show_options(ShowOptions& o) {
  if (o.pretty) o.json = true;
  if (o.json && !o.html.empty()) throw UsageError("--html cannot be combined with --json or --pretty");
}

// Prints a library document, indented when asked.
void print_document(const char* text, bool pretty) {
  if (text == nullptr) text = "{}";
  if (!pretty) {
    std::printf("%s\n", text);
    return;
  }
  yyjson_doc* doc = yyjson_read(text, std::strlen(text), 0);
  char* out = doc ? yyjson_write(doc, YYJSON_WRITE_PRETTY, nullptr) : nullptr;
  yyjson_doc_free(doc);
  if (out == nullptr) throw ToolError("the library's document could not be indented");
  std::printf("%s\n", out);
  std::free(out);
}

// ---- Loading ---------------------------------------------------------------

struct LoadOptions {
  std::string inputs;
  int32_t row_cap = 0;
  CLI::Option* row_cap_opt = nullptr;
  std::string resume_settings;
  std::string autoplay_settings;
};

void add_load_options(CLI::App* cmd, LoadOptions& o) {
  cmd->add_option("INPUTS", o.inputs,
                  "Inputs object (JSON with server_home, items, watch, library, store); "
                  "default: the bundled examples/inputs.json");
  o.row_cap_opt = cmd->add_option("--row-cap", o.row_cap,
                                  "Largest number of cells one row keeps, 1 to 2000 (kavo_set_row_cap)")
                      ->check(CLI::Range(1, 2000));
  cmd->add_option("--resume-settings", o.resume_settings,
                  "Resume settings JSON file (kavo_set_resume_settings)");
  cmd->add_option("--autoplay-settings", o.autoplay_settings,
                  "Autoplay settings JSON file (kavo_set_autoplay_settings)");
}

// Settings first, since an input call is what applies them; then the inputs.
// Returns the inputs file that was loaded.
std::string load(const LoadOptions& o) {
  if (o.row_cap_opt->count() > 0)
    check(kavo_set_row_cap(o.row_cap), "kavo_set_row_cap(" + std::to_string(o.row_cap) + ")");
  if (!o.resume_settings.empty()) {
    const std::string text = read_file(o.resume_settings);
    check_text_call(kavo_set_resume_settings(text.c_str()),
                    "kavo_set_resume_settings(" + o.resume_settings + ")", o.resume_settings, text);
  }
  if (!o.autoplay_settings.empty()) {
    const std::string text = read_file(o.autoplay_settings);
    check_text_call(kavo_set_autoplay_settings(text.c_str()),
                    "kavo_set_autoplay_settings(" + o.autoplay_settings + ")", o.autoplay_settings, text);
  }
  const std::string path = o.inputs.empty() ? examples_dir() + "/inputs.json" : o.inputs;
  const std::string text = read_file(path);
  check_text_call(kavo_load_inputs(text.c_str()), "kavo_load_inputs(" + path + ")", path, text);
  return path;
}

// ---- The home screen -------------------------------------------------------

void print_cell(yyjson_val* c) {
  std::string title = str_of(c, "title");
  if (title.empty()) title = "(untitled)";
  const bool item = int_of(c, "resolved", 0) == 1;
  std::string badge;
  if (item) {
    title += label_suffix(int_of(c, "season"), int_of(c, "episode"), int_of(c, "year"));
    badge = resume_badge(int_of(c, "resume_action", 0), num_of(c, "resume_position_s", 0),
                         num_of(c, "progress_fraction", 0));
    // Shows are browsed, not played: only say so for what could be played.
    if (int_of(c, "playable", 0) == 0 && int_of(c, "kind") != KAVO_KIND_SHOW)
      badge += badge.empty() ? "not playable" : ", not playable";
  } else {
    badge = "·";  // a text of the row's own, not a catalogue item
  }
  if (badge.empty())
    std::printf("       %s\n", fit(title, 46).c_str());
  else
    std::printf("       %s  %s\n", pad(fit(title, 46), 46).c_str(), badge.c_str());
}

// The rows of the result document as a table.
void print_home(yyjson_val* result, const std::string& source, int32_t shown_cells) {
  yyjson_val* rows = yyjson_obj_get(result, "rows");
  std::printf("Home screen of %s: %zu rows, %d catalogue items, row cap %d\n\n", source.c_str(),
              yyjson_arr_size(rows), kavo_item_count(), kavo_get_row_cap());
  std::printf("  %-3s  %-17s  %s  %s\n", "#", "kind", pad("title", 36).c_str(), "cells");
  size_t r, max;
  yyjson_val* row;
  yyjson_arr_foreach(rows, r, max, row) {
    const int64_t offered = int_of(row, "cell_count", 0);
    const int64_t stored = int_of(row, "emitted", 0);
    std::string count = std::to_string(offered);
    if (stored < offered) count += " (+" + std::to_string(offered - stored) + " not shown)";
    std::printf("  %-3zu  %-17s  %s  %s\n", r, row_kind_name(int_of(row, "kind")),
                pad(fit(str_of(row, "title"), 36), 36).c_str(), count.c_str());
    yyjson_val* cells = yyjson_obj_get(row, "cells");
    const size_t n = yyjson_arr_size(cells);
    const size_t listed = std::min(n, static_cast<size_t>(shown_cells));
    for (size_t c = 0; c < listed; ++c) print_cell(yyjson_arr_get(cells, c));
    if (n > listed) std::printf("       … %zu more\n", n - listed);
  }
  std::printf("\n· a cell of the row's own text, not a catalogue item\n");
}

void write_html(const ShowOptions& o, yyjson_val* result, const std::string& source) {
  PreviewOptions p;
  p.source = source;
  p.row_cap = kavo_get_row_cap();
  p.item_count = kavo_item_count();
  p.max_cells = o.cells_opt->count() > 0 ? o.cells : -1;
  if (kavo_selected_index() >= 0) {
    const char* best = kavo_detail_best_source_url();
    p.best_address = best ? best : "";
  }
  const std::string page = home_html(result, p);
  std::FILE* f = std::fopen(o.html.c_str(), "wb");
  if (!f) throw ToolError("cannot write " + o.html + ": " + std::strerror(errno));
  const bool written = std::fwrite(page.data(), 1, page.size(), f) == page.size();
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed) throw ToolError("cannot write " + o.html + ": " + std::strerror(errno));

  size_t cells = 0;
  size_t r, max;
  yyjson_val* row;
  yyjson_val* rows = yyjson_obj_get(result, "rows");
  yyjson_arr_foreach(rows, r, max, row) cells += yyjson_arr_size(yyjson_obj_get(row, "cells"));
  std::printf("Wrote %s: %zu rows, %zu cells%s\n", o.html.c_str(), yyjson_arr_size(rows), cells,
              kavo_selected_index() >= 0 ? ", with the selected item's detail" : "");
}

void print_detail();

// The model as asked: a page, the result document, or the table (followed by
// the detail when an item is selected).
void show_home(const ShowOptions& o, const std::string& source) {
  if (o.json) {
    print_document(kavo_result_json(), o.pretty);
    return;
  }
  const Json result(kavo_result_json());
  if (!yyjson_is_obj(result.root())) throw ToolError("the library gave no result document");
  if (!o.html.empty()) {
    write_html(o, result.root(), source);
    return;
  }
  print_home(result.root(), source, o.cells);
  if (kavo_selected_index() >= 0) {
    std::printf("\n");
    print_detail();
  }
}

void select_item(const std::string& id) {
  check(kavo_select_item(id.c_str()), "kavo_select_item(" + id + ")");
}

// ---- The detail of the selected item ----------------------------------------

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

void print_detail() {
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
  if (action == KAVO_ACTION_RESUME)
    resume += " at " + clock_time(position) + " (" + format("%.1f", position) + " s)";
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

void run_item(const LoadOptions& lo, const ShowOptions& so, const std::string& id) {
  const std::string source = load(lo);
  select_item(id);
  if (so.json) {
    const char* detail = kavo_detail_json();
    if (!detail) check(kavo_last_code(), "kavo_detail_json");
    print_document(detail, so.pretty);
    return;
  }
  if (!so.html.empty()) {
    show_home(so, source);
    return;
  }
  print_detail();
}

void run_home(const LoadOptions& lo, const ShowOptions& so) {
  const std::string source = load(lo);
  if (!so.select.empty()) select_item(so.select);
  show_home(so, source);
}

// ---- kavo replay -------------------------------------------------------------
//
// A recording is one JSON object per line, each a call the host made:
//   {"call": "kavo_set_watch", "arg": [...]}
//   {"call": "kavo_load_inputs", "file": "inputs.json"}
//   {"call": "kavo_select_item", "arg": "harbor-s01e02"}
//   {"call": "kavo_set_store", "arg": "{not json", "status": 1}
// "arg" of an input or settings call is the JSON value the host passed (a
// string is taken as the text itself, null as a NULL pointer); "file" names a
// file holding the text instead, relative to the recording. "status", when
// given, is the status the call must return; without it any failure stops
// the replay. Blank lines are skipped.

enum class ArgKind { kText, kInt, kId, kNone };

struct ReplayCall {
  const char* name;
  ArgKind arg;
  std::function<int32_t(const char* text, int32_t number)> run;
};

const std::vector<ReplayCall>& replay_calls() {
  static const std::vector<ReplayCall> calls = {
      {"kavo_load_inputs", ArgKind::kText, [](const char* t, int32_t) { return kavo_load_inputs(t); }},
      {"kavo_add_items", ArgKind::kText, [](const char* t, int32_t) { return kavo_add_items(t); }},
      {"kavo_set_library", ArgKind::kText, [](const char* t, int32_t) { return kavo_set_library(t); }},
      {"kavo_set_watch", ArgKind::kText, [](const char* t, int32_t) { return kavo_set_watch(t); }},
      {"kavo_update_watch", ArgKind::kText, [](const char* t, int32_t) { return kavo_update_watch(t); }},
      {"kavo_set_server_home", ArgKind::kText,
       [](const char* t, int32_t) { return kavo_set_server_home(t); }},
      {"kavo_set_store", ArgKind::kText, [](const char* t, int32_t) { return kavo_set_store(t); }},
      {"kavo_set_resume_settings", ArgKind::kText,
       [](const char* t, int32_t) { return kavo_set_resume_settings(t); }},
      {"kavo_set_autoplay_settings", ArgKind::kText,
       [](const char* t, int32_t) { return kavo_set_autoplay_settings(t); }},
      {"kavo_set_row_cap", ArgKind::kInt, [](const char*, int32_t n) { return kavo_set_row_cap(n); }},
      {"kavo_select_item", ArgKind::kId, [](const char* t, int32_t) { return kavo_select_item(t); }},
      {"kavo_select_imdb", ArgKind::kId, [](const char* t, int32_t) { return kavo_select_imdb(t); }},
      {"kavo_select_source", ArgKind::kId, [](const char* t, int32_t) { return kavo_select_source(t); }},
      {"kavo_clear", ArgKind::kNone, [](const char*, int32_t) { return kavo_clear(); }},
      {"kavo_shutdown", ArgKind::kNone,
       [](const char*, int32_t) {
         kavo_shutdown();
         return 0;
       }},
  };
  return calls;
}

struct DocFree {
  void operator()(yyjson_doc* d) const { yyjson_doc_free(d); }
};

// Applies one line of a recording; errors name the line.
void replay_line(const std::string& where, const std::string& line, const std::string& base_dir) {
  yyjson_read_err err;
  std::unique_ptr<yyjson_doc, DocFree> doc(
      yyjson_read_opts(const_cast<char*>(line.data()), line.size(), 0, nullptr, &err));
  if (!doc) {
    size_t l = 0, col = 0, chr = 0;
    std::string at = where;
    if (yyjson_locate_pos(line.data(), line.size(), err.pos, &l, &col, &chr)) at += ":" + std::to_string(col);
    throw ToolError(at + ": " + err.msg);
  }
  yyjson_val* obj = yyjson_doc_get_root(doc.get());
  if (!yyjson_is_obj(obj)) throw ToolError(where + ": a call must be a JSON object");

  yyjson_val *call = nullptr, *arg = nullptr, *file = nullptr, *status = nullptr;
  size_t idx, max;
  yyjson_val *k, *v;
  yyjson_obj_foreach(obj, idx, max, k, v) {
    const std::string key = yyjson_get_str(k);
    yyjson_val** slot = key == "call" ? &call : key == "arg" ? &arg : key == "file" ? &file
                        : key == "status" ? &status : nullptr;
    if (slot == nullptr)
      throw ToolError(where + ": unknown member \"" + key + "\" (a call has \"call\", \"arg\", \"file\", \"status\")");
    if (*slot != nullptr) throw ToolError(where + ": member \"" + key + "\" given twice");
    *slot = v;
  }
  if (!yyjson_is_str(call)) throw ToolError(where + ": \"call\" must name the call, e.g. \"kavo_set_watch\"");
  const std::string name = yyjson_get_str(call);
  const auto& calls = replay_calls();
  const auto entry = std::find_if(calls.begin(), calls.end(), [&](const ReplayCall& c) { return name == c.name; });
  if (entry == calls.end()) throw ToolError(where + ": unknown call \"" + name + "\"");
  if (status != nullptr && !yyjson_is_int(status))
    throw ToolError(where + ": \"status\" must be an integer");
  if (file != nullptr && entry->arg != ArgKind::kText)
    throw ToolError(where + ": " + name + " takes no \"file\"");
  if (file != nullptr && arg != nullptr) throw ToolError(where + ": give \"arg\" or \"file\", not both");

  std::string text;  // the text handed over
  std::string text_label;
  bool null_text = false;
  int32_t number = 0;
  switch (entry->arg) {
    case ArgKind::kText:
      if (file != nullptr) {
        if (!yyjson_is_str(file)) throw ToolError(where + ": \"file\" must be a path");
        std::filesystem::path path = yyjson_get_str(file);
        if (path.is_relative()) path = std::filesystem::path(base_dir) / path;
        text_label = path.string();
        text = read_file(text_label);
      } else if (arg == nullptr || yyjson_is_null(arg)) {
        null_text = true;
      } else if (yyjson_is_str(arg)) {
        text.assign(yyjson_get_str(arg), yyjson_get_len(arg));
        if (text.find('\0') != std::string::npos)
          throw ToolError(where + ": the text of \"arg\" holds a NUL character, which ends a text");
        text_label = where + ": the text of \"arg\"";
      } else {
        size_t len = 0;
        char* written = yyjson_val_write(arg, 0, &len);
        if (written == nullptr) throw ToolError(where + ": \"arg\" could not be written as JSON");
        text.assign(written, len);
        std::free(written);
        text_label = where + ": \"arg\"";
      }
      break;
    case ArgKind::kInt:
      if (!yyjson_is_int(arg) || yyjson_get_sint(arg) < INT32_MIN || yyjson_get_sint(arg) > INT32_MAX ||
          (yyjson_is_uint(arg) && yyjson_get_uint(arg) > INT32_MAX))
        throw ToolError(where + ": " + name + " takes a 32-bit integer \"arg\"");
      number = static_cast<int32_t>(yyjson_get_sint(arg));
      break;
    case ArgKind::kId:
      if (arg == nullptr || yyjson_is_null(arg)) {
        null_text = true;
      } else if (yyjson_is_str(arg)) {
        text.assign(yyjson_get_str(arg), yyjson_get_len(arg));
      } else {
        throw ToolError(where + ": " + name + " takes a text \"arg\" (or null)");
      }
      break;
    case ArgKind::kNone:
      if (arg != nullptr && !yyjson_is_null(arg)) throw ToolError(where + ": " + name + " takes no \"arg\"");
      break;
  }

  const int32_t got = entry->run(null_text ? nullptr : text.c_str(), number);
  if (status != nullptr) {
    if (got != yyjson_get_sint(status)) {
      throw ToolError(where + ": " + name + " returned " + std::to_string(got) +
                      (got != 0 ? std::string(" (") + kavo_last_error() + ")" : "") + ", the recording says " +
                      std::to_string(yyjson_get_sint(status)));
    }
    return;
  }
  if (got == KAVO_OK) return;
  std::string message = where + ": " + library_failure(name);
  if (got == KAVO_ERR_JSON && !null_text && entry->arg == ArgKind::kText) {
    const std::string at = json_error_at(text_label, text);
    if (!at.empty()) message = at + "\n" + message;
  }
  throw ToolError(message);
}

void run_replay(const std::string& path, const ShowOptions& so) {
  const std::string text = read_file(path);
  const std::string base_dir = std::filesystem::path(path).parent_path().string();
  size_t calls = 0, line_no = 0, start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    ++line_no;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    replay_line(path + ":" + std::to_string(line_no), line, base_dir.empty() ? "." : base_dir);
    ++calls;
  }
  if (!so.json && so.html.empty()) std::printf("Replayed %zu call%s from %s\n\n", calls, calls == 1 ? "" : "s", path.c_str());
  show_home(so, path);
}

// ---- kavo lint -----------------------------------------------------------------

// A text of the inputs (a member name, an id, a pointer) as a JSON string
// literal, so that quotes, control characters and spaces show.
std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (const unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7f) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// A pointer into the inputs, quoted only when it holds something that would
// not show plainly.
std::string shown_pointer(const std::string& pointer) {
  const bool plain = std::all_of(pointer.begin(), pointer.end(), [](char c) {
    return static_cast<unsigned char>(c) > 0x20 && c != 0x7f && c != '"' && c != '\\';
  });
  return plain ? pointer : quoted(pointer);
}

struct LintOptions {
  bool json = false;
  bool pretty = false;
  bool strict = false;
};

// The lint document as a report.
void print_lint(const std::string& path, yyjson_val* doc) {
  bool printed = false;  // a blank line goes between the parts of the report
  auto part = [&printed](const char* heading) {
    std::printf("%s%s", printed ? "\n" : "", heading);
    printed = true;
  };
  yyjson_val* syntax = yyjson_obj_get(doc, "syntax_error");
  if (yyjson_is_obj(syntax)) {
    std::string where = path;
    if (yyjson_is_int(yyjson_obj_get(syntax, "line")))
      where += ":" + std::to_string(int_of(syntax, "line")) + ":" + std::to_string(int_of(syntax, "column"));
    std::printf("%s: %s (byte %" PRId64 ")\n", where.c_str(), str_of(syntax, "message").c_str(),
                int_of(syntax, "byte"));
    printed = true;
  }
  yyjson_val* errors = yyjson_obj_get(doc, "errors");
  size_t i, max;
  yyjson_val* e;
  yyjson_arr_foreach(errors, i, max, e) {
    const int64_t code = int_of(e, "code");
    std::string why;
    if (code == KAVO_ERR_MEMORY) why = ": " + str_of(e, "input") + " holds more than 200000 usable elements";
    std::printf("%s: %s %s (code %" PRId64 ")%s\n", path.c_str(), i == 0 ? "a load fails:" : "also:",
                str_of(e, "message").c_str(), code, why.c_str());
    printed = true;
  }

  yyjson_val* turned = yyjson_obj_get(doc, "turned_away");
  const size_t n_turned = static_cast<size_t>(int_of(doc, "turned_away_count", 0));
  if (n_turned > 0) {
    part("Turned away:\n");
    size_t width = 0;
    yyjson_arr_foreach(turned, i, max, e) width = std::max(width, columns(shown_pointer(str_of(e, "pointer"))));
    yyjson_arr_foreach(turned, i, max, e) {
      std::string line = "  " + pad(shown_pointer(str_of(e, "pointer")), width) + "  " + str_of(e, "reason");
      yyjson_val* id = yyjson_obj_get(e, "id");
      if (yyjson_is_str(id)) line += ", id " + quoted(yyjson_get_str(id));
      std::printf("%s\n", line.c_str());
    }
    if (n_turned > yyjson_arr_size(turned)) std::printf("  … %zu more\n", n_turned - yyjson_arr_size(turned));
  }

  yyjson_val* unknown = yyjson_obj_get(doc, "unknown_members");
  const size_t n_unknown = static_cast<size_t>(int_of(doc, "unknown_member_count", 0));
  if (n_unknown > 0) {
    part("Members no reader knows (ignored):\n");
    size_t input_width = 0, member_width = 0;
    yyjson_arr_foreach(unknown, i, max, e) {
      input_width = std::max(input_width, columns(str_of(e, "input")));
      member_width = std::max(member_width, columns(quoted(str_of(e, "member"))));
    }
    yyjson_arr_foreach(unknown, i, max, e) {
      const int64_t count = int_of(e, "count");
      std::string line = "  " + pad(str_of(e, "input"), input_width) + "  " +
                         pad(quoted(str_of(e, "member")), member_width) + "  ";
      line += count == 1 ? "at " + shown_pointer(str_of(e, "pointer"))
                         : std::to_string(count) + " times, first at " + shown_pointer(str_of(e, "pointer"));
      yyjson_val* nearest = yyjson_obj_get(e, "nearest");
      if (yyjson_is_str(nearest)) line += "; did you mean " + quoted(yyjson_get_str(nearest)) + "?";
      std::printf("%s\n", line.c_str());
    }
    if (n_unknown > yyjson_arr_size(unknown)) std::printf("  … %zu more\n", n_unknown - yyjson_arr_size(unknown));
  }

  const int64_t status = int_of(doc, "status", 0);
  const int64_t rejected = int_of(doc, "rejected", 0);
  std::string summary;
  if (status == KAVO_OK && n_turned == 0 && n_unknown == 0) {
    summary = "clean: a load takes every element and reads every member";
  } else {
    summary = status == KAVO_OK ? "a load succeeds" : "a load fails";
    if (n_turned > 0) {
      summary += ", " + std::to_string(n_turned) + (n_turned == 1 ? " element" : " elements") + " turned away";
      if (rejected > 0) summary += " (" + std::to_string(rejected) + " counted as rejected)";
    }
    if (n_unknown > 0) {
      summary += ", " + std::to_string(n_unknown) + (n_unknown == 1 ? " member name" : " member names") +
                 " no reader knows";
    }
  }
  // A failed load with nothing else to count was said above.
  if (status == KAVO_OK || n_turned + n_unknown > 0) {
    if (n_turned + n_unknown > 0) part("");
    std::printf("%s: %s\n", path.c_str(), summary.c_str());
  }
}

// Returns the exit status: 0 clean, 1 when a load fails or turns something
// away (with --strict also when a member name is unknown).
int run_lint(const std::string& path, const LintOptions& o) {
  const std::string text = read_file(path);
  const char* doc_text = kavo_lint_json(text.c_str());
  if (doc_text == nullptr) throw ToolError(std::string("kavo_lint_json failed: ") + kavo_last_error());
  const Json doc(doc_text);
  if (!yyjson_is_obj(doc.root())) throw ToolError("the library gave no lint document");
  if (o.json) {
    print_document(doc_text, o.pretty);
  } else {
    print_lint(path, doc.root());
  }
  const bool clean = int_of(doc.root(), "status", 0) == KAVO_OK && int_of(doc.root(), "turned_away_count", 0) == 0 &&
                     (!o.strict || int_of(doc.root(), "unknown_member_count", 0) == 0);
  return clean ? 0 : 1;
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

// Writes each line of a message with the tool's prefix.
void report(const char* message) {
  std::fflush(stdout);
  const std::string text = message;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::fprintf(stderr, "kavo: %s\n", text.substr(start, end - start).c_str());
    start = end + 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Drive libkavo the way a host does: load inputs or replay recorded calls, show the "
               "home rows, a page of them or the detail of one item, compute hashes and resume keys.",
               "kavo"};
  app.set_version_flag("--version", std::string("libkavo ") + kavo_version());
  app.require_subcommand(1);

  LoadOptions home_load;
  ShowOptions home_show;
  CLI::App* home = app.add_subcommand("home", "Load the inputs and show the home rows");
  add_load_options(home, home_load);
  add_show_options(home, home_show, true);

  LoadOptions item_load;
  ShowOptions item_show;
  std::string item_id;
  CLI::App* item = app.add_subcommand(
      "item", "Load the inputs, select one item and print its detail: resume decision, "
              "ranked sources, address to play, next episode, autoplay timeline");
  item->add_option("ID", item_id, "Catalogue item id")->required();
  add_load_options(item, item_load);
  add_show_options(item, item_show, false);

  ShowOptions replay_show;
  std::string replay_path;
  CLI::App* replay = app.add_subcommand(
      "replay", "Apply a recorded sequence of calls (one JSON object per line: "
                "{\"call\": NAME, \"arg\": VALUE}) and show the home rows after it");
  replay->add_option("CALLS", replay_path, "Recording, JSON lines")->required();
  add_show_options(replay, replay_show, false);

  LintOptions lint_options;
  std::string lint_path;
  CLI::App* lint = app.add_subcommand(
      "lint", "Check an inputs object without loading it: what a load would turn away and why, "
              "member names no reader knows; exit 1 when a load fails or turns something away");
  lint->add_option("INPUTS", lint_path, "Inputs object (the JSON kavo_load_inputs takes)")->required();
  lint->add_flag("--strict", lint_options.strict, "Exit 1 also for member names no reader knows");
  lint->add_flag("--json", lint_options.json, "Print the library's lint document instead of a report");
  lint->add_flag("--pretty", lint_options.pretty, "Print the lint document indented (implies --json)");

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
    try {
      app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
      if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
      throw UsageError(e.what());
    }
    if (*home) {
      check_show_options(home_show);
      run_home(home_load, home_show);
    }
    if (*item) {
      check_show_options(item_show);
      run_item(item_load, item_show, item_id);
    }
    if (*replay) {
      check_show_options(replay_show);
      run_replay(replay_path, replay_show);
    }
    if (*lint) {
      if (lint_options.pretty) lint_options.json = true;
      status = run_lint(lint_path, lint_options);
    }
    if (*hash) run_hash(hash_text);
    if (*key) run_key(key_a, key_b, key_c);
    if (*legacy) run_legacy_key(legacy_text);
  } catch (const UsageError& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "kavo: %s\n%s", e.what(), kUsage);
    status = 2;
  } catch (const ToolError& e) {
    report(e.what());
    status = 1;
  } catch (const std::bad_alloc&) {
    report("out of memory");
    status = 1;
  }
  kavo_shutdown();
  return status;
}
