// The item document: every field of one catalogue item with its sources.
#include "documents/documents.h"
#include "documents/writers.h"
#include "frame/status.h"

namespace kavo {

yyjson_mut_val* json_source(yyjson_mut_doc* doc, const Source& source) {
  yyjson_mut_val* obj = yyjson_mut_obj(doc);
  if (obj == nullptr) return nullptr;
  add_json_str(doc, obj, "key", source.key.get());
  add_json_str(doc, obj, "uri", source.uri.get());
  add_json_str(doc, obj, "url", source.url.get());
  add_json_str(doc, obj, "quality", source.quality.get());
  add_json_str(doc, obj, "codec", source.codec.get());
  add_json_str(doc, obj, "extension", source.extension.get());
  add_json_int_or_null(doc, obj, "hdr", source.hdr);
  add_json_int_or_null(doc, obj, "hevc", source.hevc);
  add_json_int_or_null(doc, obj, "dolby", source.dolby);
  add_json_int_or_null(doc, obj, "audio_channels", source.audio_channels);
  add_json_int_or_null(doc, obj, "width", source.width);
  add_json_int_or_null(doc, obj, "height", source.height);
  add_json_ll_or_null(doc, obj, "size", source.size);
  add_json_int_or_null(doc, obj, "active", source.active);
  add_json_int_or_null(doc, obj, "content_source", source.content_source);
  add_json_int_or_null(doc, obj, "subtitle_count", source.subtitle_count);
  add_json_str(doc, obj, "subtitle_languages", source.subtitle_languages.get());
  add_json_int(doc, obj, "rank", source.rank);
  return obj;
}

yyjson_mut_val* json_item(yyjson_mut_doc* doc, const Item& item) {
  yyjson_mut_val* obj = yyjson_mut_obj(doc);
  if (obj == nullptr) return nullptr;
  add_json_str(doc, obj, "id", item.id.get());
  add_json_int_or_null(doc, obj, "kind", item.kind);
  add_json_str(doc, obj, "title", item.title.get());
  add_json_int_or_null(doc, obj, "year", item.year);
  add_json_str(doc, obj, "imdb_id", item.imdb_id.get());
  add_json_str(doc, obj, "poster_url", item.poster_url.get());
  add_json_str(doc, obj, "backdrop_url", item.backdrop_url.get());
  add_json_str(doc, obj, "plot", item.plot.get());
  add_json_int_or_null(doc, obj, "runtime_min", item.runtime_min);
  add_json_real_or_null(doc, obj, "rating", item.rating);
  add_json_int_or_null(doc, obj, "season", item.season);
  add_json_int_or_null(doc, obj, "episode", item.episode);
  add_json_str(doc, obj, "air_date", item.air_date.get());
  add_json_ll_or_null(doc, obj, "size", item.size);
  add_json_real_or_null(doc, obj, "duration_s", item.duration_s);
  add_json_ll_or_null(doc, obj, "mtime_ms", item.mtime_ms);
  add_json_ll_or_null(doc, obj, "added_ms", item.added_ms);
  add_json_str(doc, obj, "path", item.path.get());
  add_json_str(doc, obj, "folder", item.folder.get());
  add_json_str(doc, obj, "backend_id", item.backend_id.get());
  add_json_str(doc, obj, "server_key", item.server_key.get());
  add_json_int_or_null(doc, obj, "library", item.library);
  add_json_int_or_null(doc, obj, "matched", item.matched);
  add_json_int(doc, obj, "unmatched", item.unmatched);
  add_json_int(doc, obj, "playable", item.playable);
  add_json_int(doc, obj, "source_count", item.source_count());
  add_json_int(doc, obj, "resume_action", item.resume_action);
  add_json_real_or_null(doc, obj, "resume_position_s", item.resume_position_s);
  add_json_real_or_null(doc, obj, "progress_fraction", item.progress_fraction);
  add_json_int(doc, obj, "finished", item.resume_action == kFinished ? 1 : 0);
  add_json_int(doc, obj, "resume_clamped", item.resume_clamped);
  add_json_int(doc, obj, "is_audio_only", item.is_audio_only);
  add_json_int(doc, obj, "is_cue_track", item.is_cue_track);
  add_json_str(doc, obj, "next_item_id",
               valid_item_index(item.next_index)
                   ? s_items[static_cast<std::size_t>(item.next_index)].id.get()
                   : nullptr);

  yyjson_mut_val* genres = yyjson_mut_arr(doc);
  if (genres != nullptr) {
    for (const Text& genre : item.genres) {
      yyjson_mut_val* g = yyjson_mut_str(doc, genre.get());
      if (g != nullptr) yyjson_mut_arr_append(genres, g);
    }
    add_json_val(doc, obj, "genres", genres);
  }

  yyjson_mut_val* sources = yyjson_mut_arr(doc);
  if (sources != nullptr) {
    for (const Source& source : item.sources) {
      yyjson_mut_val* s = json_source(doc, source);
      if (s != nullptr) yyjson_mut_arr_append(sources, s);
    }
    add_json_val(doc, obj, "sources", sources);
  }
  return obj;
}

const char* item_json_text(int32_t index) {
  static GetterBuffer buffer(32768);
  if (!valid_item_index(index)) {
    set_message("item index out of range");
    return nullptr;
  }
  const Item& item = s_items[static_cast<std::size_t>(index)];
  return getter_text(buffer, nullptr, [&](yyjson_mut_doc* doc) { return json_item(doc, item); });
}

}  // namespace kavo
