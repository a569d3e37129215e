// The selection calls and the source queries of the selected item.
#include <cstring>

#include "documents/documents.h"
#include "documents/layouts.h"
#include "documents/writers.h"
#include "frame/status.h"
#include "frame/json_lookup.h"

namespace kavo {

namespace {

int32_t select_index(int32_t index) {
  s_sel = index;
  return kOk;
}

}  // namespace

const Item* selection_or_message() {
  if (!valid_item_index(s_sel)) {
    set_message("no item selected");
    return nullptr;
  }
  return &s_items[static_cast<std::size_t>(s_sel)];
}

int32_t select_item(const char* item_id) {
  if (item_id == nullptr) return fail(kBadArgument, "null item id");
  const int32_t index = item_index_of(item_id);
  if (!valid_item_index(index)) return fail(kNotFound, "no such item");
  return select_index(index);
}

int32_t select_imdb(const char* imdb_id) {
  if (imdb_id == nullptr) return fail(kBadArgument, "null imdb id");
  for (int32_t i = 0; i < n_items(); ++i) {
    const Text& imdb = s_items[static_cast<std::size_t>(i)].imdb_id;
    if (imdb && ci_cmp(imdb.get(), imdb_id) == 0) return select_index(i);
  }
  return fail(kNotFound, "no such item");
}

int32_t select_source(const char* source_key) {
  if (source_key == nullptr) return fail(kBadArgument, "null source key");
  for (int32_t i = 0; i < n_items(); ++i) {
    for (const Source& source : s_items[static_cast<std::size_t>(i)].sources) {
      if (source.key && std::strcmp(source.key.get(), source_key) == 0) return select_index(i);
    }
  }
  return fail(kNotFound, "no such item");
}

const char* detail_source_json_text(int32_t index) {
  static GetterBuffer buffer(16384);
  const Item* item = selection_or_message();
  if (item == nullptr) return nullptr;
  if (index < 0 || index >= item->source_count()) {
    set_message("source index out of range");
    return nullptr;
  }
  const Source& source = item->sources[static_cast<std::size_t>(index)];
  return getter_text(buffer, nullptr, [&](MutJson& out) { put_source(out, source); });
}

const char* detail_best_source_url() {
  const Item* item = selection_or_message();
  if (item == nullptr) return nullptr;
  // An active source with an address first, url before uri within a source;
  // then any url; then any uri. Sources are stored best-ranked first.
  for (const Source& s : item->sources) {
    if (s.active != 0 && (s.url || s.uri)) return s.url ? s.url.get() : s.uri.get();
  }
  for (const Source& s : item->sources) {
    if (s.url) return s.url.get();
  }
  for (const Source& s : item->sources) {
    if (s.uri) return s.uri.get();
  }
  return nullptr;
}

}  // namespace kavo
