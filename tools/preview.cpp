// The HTML preview of the home screen. Everything comes from the result
// document; every text of it is escaped, and only image addresses of known
// schemes reach an src attribute. The page needs nothing but itself: styles
// are inline, and a poster that is missing or does not load leaves a title
// card in its place.
#include "preview.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "common.h"

namespace kavo_tool {

std::string html_escape(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 16);
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

namespace {

const char* const kStyle = R"css(
:root { color-scheme: dark; }
* { box-sizing: border-box; }
body { margin: 0; background: #0f1318; color: #e6e9ee;
       font: 14px/1.35 "DejaVu Sans", system-ui, sans-serif; }
header.page { padding: 18px 28px 6px; }
header.page h1 { margin: 0; font-size: 22px; font-weight: 600; }
header.page p { margin: 4px 0 0; color: #8c96a3; font-size: 13px; }
.layout { display: flex; align-items: flex-start; gap: 24px; padding: 0 28px 28px; }
main { flex: 1; min-width: 0; }
.shelf { margin-top: 18px; }
.shelf > header { display: flex; align-items: baseline; gap: 10px; margin-bottom: 8px; }
.shelf h2 { margin: 0; font-size: 17px; font-weight: 600; }
.tag { font-size: 11px; color: #8c96a3; border: 1px solid #2c343f; border-radius: 9px;
       padding: 0 7px; }
.tag.truncated { color: #f0b429; border-color: #6b5212; }
.cells { display: flex; gap: 12px; margin: 0 -5px; padding: 5px 5px 6px; list-style: none; overflow-x: auto; }
.cell { flex: none; width: 120px; }
.poster { position: relative; aspect-ratio: 2 / 3; border-radius: 8px; overflow: hidden;
          background: linear-gradient(160deg, hsl(var(--hue) 48% 34%), hsl(var(--hue) 52% 14%));
          box-shadow: 0 1px 3px #0008; }
.poster img { position: absolute; inset: 0; width: 100%; height: 100%; object-fit: cover; }
.card { position: absolute; inset: 0; display: flex; align-items: center; justify-content: center;
        padding: 8px; text-align: center; font-weight: 600; font-size: 13px; color: #fff;
        text-shadow: 0 1px 2px #0009; overflow-wrap: break-word; }
.cell.raw .poster { background: #1b2129; border: 1px dashed #3a4452; box-shadow: none; }
.cell.raw .card { color: #aab3bf; font-weight: 500; font-size: 12px; text-shadow: none; }
.cell.selected .poster { outline: 3px solid #4da3ff; outline-offset: 2px; }
.done { position: absolute; top: 6px; right: 6px; width: 22px; height: 22px; border-radius: 50%;
        background: #2ea043; color: #fff; font-size: 13px; line-height: 22px; text-align: center; }
.progress { position: absolute; left: 0; right: 0; bottom: 0; height: 5px; background: #ffffff40; }
.progress > span { display: block; height: 100%; background: #e5484d; }
.caption { margin-top: 6px; }
.caption .title { display: block; font-size: 13px; white-space: nowrap; overflow: hidden;
                  text-overflow: ellipsis; }
.caption .sub { display: block; font-size: 11px; color: #8c96a3; white-space: nowrap; overflow: hidden;
                text-overflow: ellipsis; }
.more .poster { background: #161b22; border: 1px solid #2c343f; box-shadow: none; }
.more .card { color: #8c96a3; font-weight: 500; font-size: 13px; text-shadow: none; }
.empty { color: #8c96a3; font-size: 12px; margin: 0; }
aside.detail { position: sticky; top: 12px; flex: none; width: 400px; margin-top: 18px; padding: 16px;
               background: #161b22; border: 1px solid #2c343f; border-radius: 10px; }
.detail .hero { display: flex; gap: 14px; }
.detail .hero .cell { width: 96px; }
.detail h2 { margin: 0 0 4px; font-size: 18px; }
.detail h3 { margin: 16px 0 6px; font-size: 13px; text-transform: uppercase; letter-spacing: .04em;
             color: #8c96a3; }
.detail .meta { color: #8c96a3; font-size: 12px; }
.detail .plot { font-size: 12px; color: #c3c9d1; margin: 8px 0 0; }
.meter { height: 6px; border-radius: 3px; background: #2c343f; overflow: hidden; margin-top: 6px; }
.meter > span { display: block; height: 100%; background: #e5484d; }
.sources { margin: 0; padding: 0; list-style: none; }
.source { padding: 6px 8px; border-radius: 6px; margin-bottom: 4px; background: #1b2129;
          border: 1px solid transparent; }
.source.best { border-color: #2ea043; background: #13251a; }
.source .rank { font-size: 11px; color: #8c96a3; }
.source .badge { float: right; font-size: 11px; color: #3fb950; font-weight: 600; }
.source .addr { display: block; font-family: "DejaVu Sans Mono", monospace; font-size: 11px;
                overflow-wrap: anywhere; }
.source .facts { display: block; font-size: 11px; color: #aab3bf; }
.next { font-size: 13px; }
.timeline { position: relative; height: 34px; margin: 8px 4px 4px; }
.timeline .track { position: absolute; left: 0; right: 0; top: 14px; height: 4px; border-radius: 2px;
                   background: #2c343f; }
.timeline .mark { position: absolute; top: 6px; width: 3px; height: 20px; margin-left: -1px;
                  border-radius: 1px; background: #4da3ff; }
.timeline .mark.prepare { background: #8c96a3; height: 12px; top: 10px; }
.timeline .mark.ending { background: #f0b429; }
.timeline .end { position: absolute; right: 0; top: 22px; font-size: 10px; color: #8c96a3; }
.timeline .start { position: absolute; left: 0; top: 22px; font-size: 10px; color: #8c96a3; }
.events { margin: 4px 0 0; padding: 0; list-style: none; font-size: 12px; }
.events li { display: flex; justify-content: space-between; gap: 8px; }
.events .note { color: #8c96a3; }
)css";

// Image addresses that may go into an src attribute: plain web and file
// addresses and inline images. Anything else draws the title card only.
bool usable_image_address(const std::string& url) {
  std::string head = url.substr(0, 11);
  std::transform(head.begin(), head.end(), head.begin(),
                 [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
  return head.rfind("http://", 0) == 0 || head.rfind("https://", 0) == 0 ||
         head.rfind("file:", 0) == 0 || head.rfind("data:image/", 0) == 0;
}

// A stable hue for a title card.
int hue_of(const std::string& text) {
  uint32_t h = 2166136261u;
  for (unsigned char c : text) h = (h ^ c) * 16777619u;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  return static_cast<int>(h % 360);
}

std::string percent(double fraction) {
  return format("%.1f%%", std::clamp(fraction, 0.0, 1.0) * 100);
}

// The poster box: a title card, the poster over it when there is one (gone
// again when it does not load), the finished mark and the progress bar.
std::string poster(const std::string& title, const std::string& url, int64_t action, double fraction) {
  std::string out = "<div class=\"poster\" style=\"--hue:" + std::to_string(hue_of(title)) + "\">";
  out += "<div class=\"card\"><span>" + html_escape(title) + "</span></div>";
  if (!url.empty() && usable_image_address(url)) {
    out += "<img src=\"" + html_escape(url) +
           "\" alt=\"\" decoding=\"async\" referrerpolicy=\"no-referrer\" onerror=\"this.remove()\">";
  }
  if (action == KAVO_ACTION_FINISHED) out += "<span class=\"done\" title=\"Watched\">✓</span>";
  if (action == KAVO_ACTION_RESUME && fraction > 0) {
    out += "<div class=\"progress\" role=\"progressbar\" aria-valuemin=\"0\" aria-valuemax=\"100\" "
           "aria-valuenow=\"" + format("%.0f", std::clamp(fraction, 0.0, 1.0) * 100) +
           "\"><span style=\"width:" + percent(fraction) + "\"></span></div>";
  }
  return out + "</div>";
}

std::string cell_html(yyjson_val* c, const std::string& selected_id) {
  const bool item = int_of(c, "resolved", 0) == 1;
  std::string title = str_of(c, "title");
  if (title.empty()) title = item ? "(untitled)" : "—";
  const std::string id = str_of(c, "item_id");
  const int64_t action = int_of(c, "resume_action", 0);
  const double fraction = num_of(c, "progress_fraction", 0);

  std::string cls = "cell";
  if (!item) cls += " raw";
  if (item && !selected_id.empty() && id == selected_id) cls += " selected";
  std::string out = "<li class=\"" + cls + "\"";
  if (item) out += " data-item-id=\"" + html_escape(id) + "\"";
  out += ">";
  out += poster(title, item ? str_of(c, "poster_url") : "", item ? action : 0, fraction);

  std::string sub;
  if (item) {
    std::string label = label_suffix(int_of(c, "season"), int_of(c, "episode"), int_of(c, "year"));
    if (!label.empty()) label.erase(0, 1);
    if (label.size() > 2 && label[0] == '(') label = label.substr(1, label.size() - 2);
    sub = label;
    std::string state;
    if (action == KAVO_ACTION_RESUME) {
      state = "resume at " + clock_time(num_of(c, "resume_position_s", 0));
    } else if (action == KAVO_ACTION_FINISHED) {
      state = "watched";
    } else if (int_of(c, "playable", 0) == 0 && int_of(c, "kind") != KAVO_KIND_SHOW) {
      state = "not playable";
    }
    if (!state.empty()) sub += (sub.empty() ? "" : " · ") + state;
  } else {
    const std::string from = str_of(c, "server_key");
    sub = from.empty() || from == title ? "not in the catalogue" : "from " + from;
  }
  out += "<div class=\"caption\"><span class=\"title\" title=\"" + html_escape(title) + "\">" +
         html_escape(title) + "</span><span class=\"sub\">" + html_escape(sub) + "</span></div>";
  return out + "</li>";
}

std::string more_card(const std::string& text) {
  return "<li class=\"cell more\"><div class=\"poster\"><div class=\"card\"><span>" + html_escape(text) +
         "</span></div></div></li>";
}

std::string shelf_html(yyjson_val* row, const PreviewOptions& o, const std::string& selected_id) {
  const int64_t kind = int_of(row, "kind", -1);
  const int64_t offered = int_of(row, "cell_count", 0);
  const int64_t stored = int_of(row, "emitted", 0);
  const bool truncated = int_of(row, "truncated", 0) != 0;
  std::string title = str_of(row, "title");
  if (title.empty()) title = str_of(row, "key");

  std::string out = "<section class=\"shelf\" data-kind=\"" + std::string(row_kind_name(kind)) +
                    "\" data-key=\"" + html_escape(str_of(row, "key")) + "\">";
  out += "<header><h2>" + html_escape(title) + "</h2><span class=\"tag\">" + row_kind_name(kind) +
         "</span><span class=\"tag\">" + std::to_string(offered) + (offered == 1 ? " cell" : " cells") +
         "</span>";
  if (truncated) {
    out += "<span class=\"tag truncated\">truncated: " + std::to_string(stored) + " of " +
           std::to_string(offered) + " kept</span>";
  }
  out += "</header>";

  yyjson_val* cells = yyjson_obj_get(row, "cells");
  const size_t n = yyjson_arr_size(cells);
  if (n == 0 && !truncated) return out + "<p class=\"empty\">No cells.</p></section>";
  out += "<ol class=\"cells\">";
  const size_t shown = o.max_cells < 0 ? n : std::min(n, static_cast<size_t>(o.max_cells));
  for (size_t i = 0; i < shown; ++i) out += cell_html(yyjson_arr_get(cells, i), selected_id);
  if (shown < n) out += more_card("+" + std::to_string(n - shown) + " more");
  if (truncated) {
    out += more_card("+" + std::to_string(offered - stored) + " not kept (row cap " +
                     std::to_string(o.row_cap) + ")");
  }
  return out + "</ol></section>";
}

std::string source_facts(yyjson_val* s) {
  std::string facts;
  auto add = [&facts](const std::string& f) { facts += (facts.empty() ? "" : " · ") + f; };
  const int64_t w = int_of(s, "width"), h = int_of(s, "height");
  if (w > 0 && h > 0) add(std::to_string(w) + "×" + std::to_string(h));
  if (!str_of(s, "quality").empty()) add(str_of(s, "quality"));
  if (int_of(s, "hdr") == 1) add("HDR");
  if (int_of(s, "dolby") == 1) add("Atmos");
  if (int_of(s, "hevc") == 1) add("HEVC");
  if (int_of(s, "size") > 0) add(bytes_text(int_of(s, "size")));
  if (int_of(s, "content_source") >= 0) add(content_source_name(int_of(s, "content_source")));
  if (int_of(s, "active") == 0) add("inactive");
  if (!str_of(s, "key").empty()) add("key " + str_of(s, "key"));
  return facts;
}

std::string sources_html(yyjson_val* item, const std::string& best) {
  yyjson_val* sources = yyjson_obj_get(item, "sources");
  const size_t n = yyjson_arr_size(sources);
  std::string out = "<h3>Sources <span class=\"tag\">" + std::to_string(n) + ", best first</span></h3>";
  if (n == 0) return out + "<p class=\"empty\">No playback sources.</p>";
  out += "<ol class=\"sources\">";
  bool marked = false;
  size_t i, max;
  yyjson_val* s;
  yyjson_arr_foreach(sources, i, max, s) {
    const std::string url = str_of(s, "url"), uri = str_of(s, "uri");
    // The address to play is one source's url or uri: the first source that
    // has it is the one the player opens.
    const bool is_best = !marked && !best.empty() && (url == best || uri == best);
    marked = marked || is_best;
    std::string address = !url.empty() ? url : uri;
    if (is_best) address = best;
    out += std::string("<li class=\"source") + (is_best ? " best" : "") + "\">";
    if (is_best) out += "<span class=\"badge\">▶ plays</span>";
    out += "<span class=\"rank\">#" + std::to_string(i + 1) + " · rank " +
           std::to_string(int_of(s, "rank", 0)) + "</span>";
    out += "<span class=\"addr\">" + html_escape(address.empty() ? "(no address)" : address) + "</span>";
    const std::string facts = source_facts(s);
    if (!facts.empty()) out += "<span class=\"facts\">" + html_escape(facts) + "</span>";
    out += "</li>";
  }
  return out + "</ol>";
}

std::string autoplay_html(yyjson_val* item) {
  std::string out = "<h3>Autoplay</h3>";
  yyjson_val* autoplay = yyjson_obj_get(item, "autoplay");
  if (int_of(autoplay, "configured", 0) == 0) {
    return out + "<p class=\"empty\">Not configured: no autoplay settings were given.</p>";
  }
  const double base = num_of(yyjson_obj_get(item, "resume"), "base_duration_s", -1);
  yyjson_val* events = yyjson_obj_get(autoplay, "events");
  if (!(base > 0)) return out + "<p class=\"empty\">No running time, so no events.</p>";
  if (yyjson_arr_size(events) == 0) return out + "<p class=\"empty\">No events for this running time.</p>";

  // The timeline shows the stretch from a little before the first event to
  // the end, where the events usually crowd together.
  size_t i, max;
  yyjson_val* e;
  double first = base;
  yyjson_arr_foreach(events, i, max, e) first = std::min(first, num_of(e, "at_s", 0));
  const double from = std::max(0.0, first - std::max(30.0, (base - first) * 0.25));
  const double span = base - from;
  out += "<div class=\"timeline\"><div class=\"track\"></div>";
  yyjson_arr_foreach(events, i, max, e) {
    const std::string name = str_of(e, "name");
    std::string cls = "mark";
    if (int_of(e, "is_prepare", 0)) cls += " prepare";
    if (name.find("Ending") != std::string::npos) cls += " ending";
    out += "<span class=\"" + cls + "\" style=\"left:" + percent((num_of(e, "at_s", 0) - from) / span) +
           "\" title=\"" + html_escape(name) + "\"></span>";
  }
  out += "<span class=\"start\">" + clock_time(from) + "</span><span class=\"end\">" + clock_time(base) +
         " (end)</span></div>";
  out += "<ol class=\"events\">";
  yyjson_arr_foreach(events, i, max, e) {
    std::string note;
    if (int_of(e, "auto_dismiss", 0)) note = "dismisses itself";
    if (int_of(e, "auto_play", 0)) note = "plays the next item";
    out += "<li class=\"event\"><span>" + html_escape(str_of(e, "name")) + " at " +
           clock_time(num_of(e, "at_s", 0)) + "</span><span class=\"note\">" + note + "</span></li>";
  }
  return out + "</ol>";
}

std::string detail_html(yyjson_val* item, const std::string& best) {
  const std::string id = str_of(item, "id");
  std::string title = str_of(item, "title");
  if (title.empty()) title = "(untitled)";
  yyjson_val* resume = yyjson_obj_get(item, "resume");
  const int64_t action = int_of(resume, "action", 0);
  const double fraction = num_of(resume, "fraction", 0);

  std::string out = "<aside class=\"detail\" id=\"detail\" data-item-id=\"" + html_escape(id) + "\">";
  out += "<div class=\"hero\"><div class=\"cell\">" +
         poster(title, str_of(item, "poster_url"), action, fraction) + "</div><div>";
  out += "<h2>" + html_escape(title + label_suffix(int_of(item, "season"), int_of(item, "episode"), -1)) +
         "</h2>";
  std::string meta = item_kind_name(int_of(item, "kind", KAVO_KIND_UNKNOWN));
  if (int_of(item, "year") > 0) meta += " · " + std::to_string(int_of(item, "year"));
  if (int_of(item, "runtime_min") > 0) meta += " · " + std::to_string(int_of(item, "runtime_min")) + " min";
  if (!str_of(item, "imdb_id").empty()) meta += " · " + str_of(item, "imdb_id");
  if (num_of(item, "rating") >= 0) meta += " · ★ " + format("%.1f", num_of(item, "rating"));
  out += "<div class=\"meta\">" + html_escape(meta) + "</div>";
  out += "<div class=\"meta\">id " + html_escape(id) + "</div>";
  if (!str_of(item, "plot").empty()) out += "<p class=\"plot\">" + html_escape(str_of(item, "plot")) + "</p>";
  out += "</div></div>";

  out += "<h3>Resume</h3><div class=\"resume\">";
  std::string decision = action == KAVO_ACTION_RESUME
                             ? "Resume at " + clock_time(num_of(resume, "position_s", 0))
                             : action == KAVO_ACTION_FINISHED ? "Finished: starts over" : "Starts from the beginning";
  if (fraction > 0) decision += " · " + format("%.0f%%", std::min(fraction, 1.0) * 100) + " watched";
  if (int_of(resume, "clamped", 0)) decision += " · clamped";
  out += html_escape(decision);
  if (fraction > 0) out += "<div class=\"meter\"><span style=\"width:" + percent(fraction) + "\"></span></div>";
  out += "</div>";

  out += sources_html(item, best);

  out += "<h3>Next episode</h3>";
  yyjson_val* next = yyjson_obj_get(item, "next");
  if (str_of(next, "item_id").empty()) {
    out += "<p class=\"empty\">None.</p>";
  } else {
    std::string next_title = str_of(next, "title");
    if (next_title.empty()) next_title = "(untitled)";
    next_title += label_suffix(int_of(next, "season"), int_of(next, "episode"), -1);
    out += "<div class=\"next\" data-item-id=\"" + html_escape(str_of(next, "item_id")) + "\">" +
           html_escape(next_title) + (int_of(next, "playable", 0) ? "" : " (not playable)") + "</div>";
  }
  out += autoplay_html(item);
  return out + "</aside>";
}

}  // namespace

std::string home_html(yyjson_val* result, const PreviewOptions& o) {
  yyjson_val* rows = yyjson_obj_get(result, "rows");
  yyjson_val* item = yyjson_obj_get(result, "item");
  const bool selected = yyjson_is_obj(item);
  const std::string selected_id = selected ? str_of(item, "id") : "";
  const size_t n_rows = yyjson_arr_size(rows);

  std::string out =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
      "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; img-src * data: file:; "
      "style-src 'unsafe-inline'; script-src 'unsafe-inline'\">"
      "<title>Home screen preview</title><style>";
  out += kStyle;
  out += "</style></head>\n<body><header class=\"page\"><h1>Home screen</h1><p>" +
         html_escape(o.source) + " · " + std::to_string(n_rows) + (n_rows == 1 ? " row" : " rows") + " · " +
         std::to_string(o.item_count) + " catalogue items · row cap " + std::to_string(o.row_cap) +
         "</p></header>\n<div class=\"layout\"><main>";
  if (n_rows == 0) out += "<p class=\"empty\">No rows: the inputs hold nothing to show.</p>";
  size_t i, max;
  yyjson_val* row;
  yyjson_arr_foreach(rows, i, max, row) {
    out += shelf_html(row, o, selected_id);
    out += "\n";
  }
  out += "</main>";
  if (selected) out += detail_html(item, o.best_address);
  out += "</div></body></html>\n";
  return out;
}

}  // namespace kavo_tool
