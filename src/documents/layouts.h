// The members of every document built from the model, each list written
// once, as calls on a sink (see writers.h): the same list gives the yyjson
// document (MutJson) and the text written straight from the model
// (KeptJson). A new member is one line here and reaches both.
//
// Each put_ function writes one value. Those that answer bool answer false
// when the sink could not make the value's object (nothing was written).
#pragma once

#include <cstddef>
#include <cstdint>

#include "documents/documents.h"
#include "frame/model.h"

namespace kavo {

namespace layout {

inline const char* item_id_at(int32_t index) {
  return valid_item_index(index) ? s_items[static_cast<std::size_t>(index)].id.get() : nullptr;
}

inline const char* action_name(int32_t action) {
  if (action == kResume) return "resume";
  if (action == kFinished) return "finished";
  return "start";
}

// The watch-progress entry of an item, or NULL. A link beyond the entries in
// use (left behind by a failed watch call) reads as no entry.
inline const WatchRec* watch_of(const Item& item) {
  if (item.watch_index < 0 || item.watch_index >= n_watch()) return nullptr;
  return &s_watch[static_cast<std::size_t>(item.watch_index)];
}

}  // namespace layout

// The cell document. A cell whose item index is no catalogue index (a raw
// cell) reads as an item of unknown kind from an unknown library, with the
// cell's own title.
template <class Sink>
bool put_cell(Sink& out, const Cell& cell) {
  if (!out.begin_object()) return false;
  const Item* it = valid_item_index(cell.item_index) ? &s_items[static_cast<std::size_t>(cell.item_index)] : nullptr;
  out.key("item_id").str(it ? it->id.get() : nullptr);
  out.key("imdb_id").str(it ? it->imdb_id.get() : nullptr);
  out.key("title").str(it ? it->title.get() : cell.title.get());
  out.key("year").sint_or_null(it ? it->year : -1);
  out.key("kind").sint_or_null(it ? it->kind : kUnknownKind);
  out.key("poster_url").str(it ? it->poster_url.get() : nullptr);
  out.key("backdrop_url").str(it ? it->backdrop_url.get() : nullptr);
  out.key("season").sint_or_null(it ? it->season : -1);
  out.key("episode").sint_or_null(it ? it->episode : -1);
  out.key("playable").sint(it ? it->playable : 0);
  out.key("source_count").sint(it ? it->source_count() : 0);
  out.key("resume_action").sint(it ? it->resume_action : kStart);
  out.key("resume_position_s").real_or_null(it ? it->resume_position_s : -1.0);
  out.key("progress_fraction").real_or_null(it ? it->progress_fraction : -1.0);
  out.key("finished").sint(it && it->resume_action == kFinished ? 1 : 0);
  out.key("next_item_id").str(it ? layout::item_id_at(it->next_index) : nullptr);
  out.key("library").sint_or_null(it ? it->library : kUnstated);
  out.key("added_ms").sint_or_null(cell.added_ms);
  out.key("resolved").sint(cell.resolved);
  out.key("server_key").str(cell.server_key.get());
  out.end_object();
  return true;
}

// The row document in two parts: its opening with the index, which is all
// that depends on the row's place, and the rest (ending the object).
template <class Sink>
bool put_row_index(Sink& out, int32_t row_index) {
  if (!out.begin_object()) return false;
  out.key("index").sint(row_index);
  return true;
}

template <class Sink>
int32_t put_row_rest(Sink& out, const Row& row) {
  out.key("kind").sint(row.kind);
  out.key("key").str(row.key.get());
  out.key("title").str(row.title.get());
  out.key("cell_count").sint(row.cell_count);
  out.key("emitted").sint(row.emitted);
  out.key("truncated").sint(row.truncated);
  int32_t written = 0;
  if (out.key("cells").begin_array()) {
    const std::size_t stored = static_cast<std::size_t>(row.emitted < 0 ? 0 : row.emitted);
    for (std::size_t i = 0; i < stored && i < row.cells.size(); ++i) written += put_cell(out, row.cells[i]);
    out.end_array();
  }
  out.end_object();
  return written;
}

// The row document of the row at `row_index` (a valid index), with the
// cell document of each stored cell; answers the number of cell documents
// written.
template <class Sink>
int32_t put_row(Sink& out, int32_t row_index) {
  if (!put_row_index(out, row_index)) return 0;
  return put_row_rest(out, s_rows[static_cast<std::size_t>(row_index)]);
}

// A source object, as in the item document and the source getter.
template <class Sink>
bool put_source(Sink& out, const Source& source) {
  if (!out.begin_object()) return false;
  out.key("key").str(source.key.get());
  out.key("uri").str(source.uri.get());
  out.key("url").str(source.url.get());
  out.key("quality").str(source.quality.get());
  out.key("codec").str(source.codec.get());
  out.key("extension").str(source.extension.get());
  out.key("hdr").sint_or_null(source.hdr);
  out.key("hevc").sint_or_null(source.hevc);
  out.key("dolby").sint_or_null(source.dolby);
  out.key("audio_channels").sint_or_null(source.audio_channels);
  out.key("width").sint_or_null(source.width);
  out.key("height").sint_or_null(source.height);
  out.key("size").sint_or_null(source.size);
  out.key("active").sint_or_null(source.active);
  out.key("content_source").sint_or_null(source.content_source);
  out.key("subtitle_count").sint_or_null(source.subtitle_count);
  out.key("subtitle_languages").str(source.subtitle_languages.get());
  out.key("rank").sint(source.rank);
  out.end_object();
  return true;
}

// The members of the item document, without its braces: the detail document
// starts with the same members.
template <class Sink>
void put_item_members(Sink& out, const Item& item) {
  out.key("id").str(item.id.get());
  out.key("kind").sint_or_null(item.kind);
  out.key("title").str(item.title.get());
  out.key("year").sint_or_null(item.year);
  out.key("imdb_id").str(item.imdb_id.get());
  out.key("poster_url").str(item.poster_url.get());
  out.key("backdrop_url").str(item.backdrop_url.get());
  out.key("plot").str(item.plot.get());
  out.key("runtime_min").sint_or_null(item.runtime_min);
  out.key("rating").real_or_null(item.rating);
  out.key("season").sint_or_null(item.season);
  out.key("episode").sint_or_null(item.episode);
  out.key("air_date").str(item.air_date.get());
  out.key("size").sint_or_null(item.size);
  out.key("duration_s").real_or_null(item.duration_s);
  out.key("mtime_ms").sint_or_null(item.mtime_ms);
  out.key("added_ms").sint_or_null(item.added_ms);
  out.key("path").str(item.path.get());
  out.key("folder").str(item.folder.get());
  out.key("backend_id").str(item.backend_id.get());
  out.key("server_key").str(item.server_key.get());
  out.key("library").sint_or_null(item.library);
  out.key("matched").sint_or_null(item.matched);
  out.key("unmatched").sint(item.unmatched);
  out.key("playable").sint(item.playable);
  out.key("source_count").sint(item.source_count());
  out.key("resume_action").sint(item.resume_action);
  out.key("resume_position_s").real_or_null(item.resume_position_s);
  out.key("progress_fraction").real_or_null(item.progress_fraction);
  out.key("finished").sint(item.resume_action == kFinished ? 1 : 0);
  out.key("resume_clamped").sint(item.resume_clamped);
  out.key("is_audio_only").sint(item.is_audio_only);
  out.key("is_cue_track").sint(item.is_cue_track);
  out.key("next_item_id").str(layout::item_id_at(item.next_index));
  if (out.key("genres").begin_array()) {
    for (const Text& genre : genres_of(item)) {
      if (genre) out.str(genre.get());  // a genre without text has no element
    }
    out.end_array();
  }
  if (out.key("sources").begin_array()) {
    for (const Source& source : item.sources) put_source(out, source);
    out.end_array();
  }
}

template <class Sink>
bool put_item(Sink& out, const Item& item) {
  if (!out.begin_object()) return false;
  put_item_members(out, item);
  out.end_object();
  return true;
}

// The next-episode object of `item`: only "item_id" (null) when it has none.
template <class Sink>
bool put_next(Sink& out, const Item& item) {
  if (!out.begin_object()) return false;
  if (valid_item_index(item.next_index)) {
    const Item& next = s_items[static_cast<std::size_t>(item.next_index)];
    out.key("item_id").str(next.id.get());
    out.key("imdb_id").str(next.imdb_id.get());
    out.key("title").str(next.title.get());
    out.key("season").sint_or_null(next.season);
    out.key("episode").sint_or_null(next.episode);
    out.key("playable").sint(next.playable);
  } else {
    out.key("item_id").null();
  }
  out.end_object();
  return true;
}

// Autoplay events, in list order.
template <class Sink>
bool put_events(Sink& out, const ApEvents& events) {
  if (!out.begin_array()) return false;
  for (int32_t i = 0; i < events.count; ++i) {
    const ApEvent& e = events.list[i];
    if (!out.begin_object()) continue;
    out.key("name").str(e.name);
    out.key("at_s").real(e.at_s);
    out.key("auto_dismiss").sint(e.auto_dismiss);
    out.key("auto_play").sint(e.auto_play);
    out.key("is_prepare").sint(e.is_prepare);
    out.end_object();
  }
  out.end_array();
  return true;
}

// The detail document: the item document's members, then the resume
// decision, the next episode and the autoplay events of the current
// settings.
template <class Sink>
bool put_detail(Sink& out, const Item& item) {
  if (!out.begin_object()) return false;
  put_item_members(out, item);
  double base = 0.0;
  const bool have_base = base_duration(item, &base);
  if (out.key("resume").begin_object()) {
    out.key("action").sint(item.resume_action);
    out.key("action_name").str(layout::action_name(item.resume_action));
    out.key("position_s").real(item.resume_position_s);
    out.key("fraction").real(item.progress_fraction);
    out.key("clamped").sint(item.resume_clamped);
    out.key("remember_last_position").sint(s_remember_last_position);
    out.key("remember_audio").sint(s_remember_audio);
    out.key("base_duration_s").real_or_null(have_base ? base : -1.0);
    if (const WatchRec* w = layout::watch_of(item)) {
      if (out.key("watch").begin_object()) {
        out.key("source").str(w->source.get());
        out.key("key").str(w->key.get());
        out.key("updated_ms").sint_or_null(w->updated_ms);
        out.key("position_s").real_or_null(w->position_s);
        out.key("fraction").real_or_null(w->fraction);
        out.end_object();
      }
    }
    out.end_object();
  }
  out.key("next"), put_next(out, item);
  const ApEvents events = have_base ? build_autoplay(base, &item) : ApEvents();
  if (out.key("autoplay").begin_object()) {
    out.key("configured").sint(s_ap_configured);
    out.key("events"), put_events(out, events);
    out.end_object();
  }
  out.end_object();
  return true;
}

}  // namespace kavo
