// Playback sources: reading one source, ranking, and an item's source list.
#include <algorithm>
#include <cstring>
#include <utility>

#include "ingest/ingest.h"
#include "ingest/readers.h"

namespace kavo {

namespace {

// Key spellings of the source fields, in lookup order.
const char* const k_src_key[] = {"key", nullptr};
const char* const k_src_uri[] = {"uri", nullptr};
const char* const k_src_url[] = {"url", nullptr};
const char* const k_src_quality[] = {"quality", nullptr};
const char* const k_src_codec[] = {"codec", nullptr};
const char* const k_src_ext[] = {"extension", "Extension", nullptr};
const char* const k_src_active[] = {"active", "isActive", "Active", nullptr};
const char* const k_src_hdr[] = {"hdr", "isHDR", "IsHDR", "is_hdr", nullptr};
const char* const k_src_hevc[] = {"hevc", "isHEVC", "IsHEVC", "is_hevc", nullptr};
const char* const k_src_dolby[] = {"dolby", "isDolbyAtmos", "IsDolbyAtmos", "is_dolby", nullptr};
const char* const k_src_channels[] = {"audio_channels", "audioChannelCount", nullptr};
const char* const k_src_width[] = {"width", "videoWidth", "Width", nullptr};
const char* const k_src_height[] = {"height", "videoHeight", "Height", nullptr};
const char* const k_src_size[] = {"size", "Size", nullptr};
const char* const k_src_content[] = {"content_source", "contentSource", nullptr};
const char* const k_src_subs[] = {"subtitle_count", "subtitleCount", nullptr};
const char* const k_src_sublangs[] = {"subtitle_languages", "subtitleLanguages", nullptr};

const char* const k_src_the_file[] = {"theFile", nullptr};

const KeyList k_source_key_lists[] = {k_src_key,      k_src_uri,      k_src_url,      k_src_quality,
                                      k_src_codec,    k_src_ext,      k_src_active,   k_src_hdr,
                                      k_src_hevc,     k_src_dolby,    k_src_channels, k_src_width,
                                      k_src_height,   k_src_size,     k_src_content,  k_src_subs,
                                      k_src_sublangs, k_src_the_file};

// The fields of a source, in record order, and "theFile".
enum SourceField : int {
  kKey, kUri, kUrl, kQuality, kCodec, kExt, kActive, kHdr, kHevc, kDolby, kChannels, kWidth, kHeight,
  kSize, kContent, kSubs, kSublangs, kTheFile, kSourceFields
};
const KeyList k_source_fields[] = {k_src_key,      k_src_uri,      k_src_url,    k_src_quality, k_src_codec,
                                   k_src_ext,      k_src_active,   k_src_hdr,    k_src_hevc,    k_src_dolby,
                                   k_src_channels, k_src_width,    k_src_height, k_src_size,    k_src_content,
                                   k_src_subs,     k_src_sublangs, k_src_the_file};
static_assert(std::size(k_source_fields) == kSourceFields && kSourceFields <= FieldSchema::kMaxFields);

// The source schema with every list the reader looks up resolved once, for
// a schema index and for a field walk.
struct SourceKeys {
  KeySchema schema{k_source_key_lists};
  KeySchema::Field lists[kSourceFields];
  FieldSchema fields{schema, k_source_fields};
  SourceKeys() noexcept {
    for (int f = 0; f < kSourceFields; ++f) lists[f] = schema.field(k_source_fields[f]);
  }
  // A field as a reader over `Get` names it.
  const KeySchema::Field& operator()(const SchemaIndex&, SourceField f) const noexcept { return lists[f]; }
  int operator()(const FieldMembers&, SourceField f) const noexcept { return f; }
};

const SourceKeys& source_keys() {
  static const SourceKeys keys;
  return keys;
}

// A flag: the first name that answers found gives 1 (non-zero) or 0.
template <class Get, class Field>
[[gnu::always_inline]] inline void read_flag(const Get& get, const Field& keys, int32_t* out) {
  int b = 0;
  if (find_bool(get, keys, &b) == 0) *out = b != 0 ? 1 : 0;
}

// Reads every field in record order; `out` holds the defaults.
template <class Get>
void read_source(const SourceKeys& keys, const Get& get, Source* out) {
  const auto f = [&keys, &get](SourceField field) { return keys(get, field); };
  find_str(get, f(kKey), &out->key);
  find_str(get, f(kUri), &out->uri);
  find_str(get, f(kUrl), &out->url);
  find_str(get, f(kQuality), &out->quality);
  find_str(get, f(kCodec), &out->codec);
  find_str(get, f(kExt), &out->extension);
  read_flag(get, f(kActive), &out->active);
  read_flag(get, f(kHdr), &out->hdr);
  read_flag(get, f(kHevc), &out->hevc);
  read_flag(get, f(kDolby), &out->dolby);
  find_int(get, f(kChannels), &out->audio_channels);
  find_int(get, f(kWidth), &out->width);
  find_int(get, f(kHeight), &out->height);
  find_ll(get, f(kSize), &out->size);
  find_int(get, f(kContent), &out->content_source);
  find_int(get, f(kSubs), &out->subtitle_count);
  find_str(get, f(kSublangs), &out->subtitle_languages);
}

}  // namespace

std::span<const KeyList> source_key_lists() noexcept { return k_source_key_lists; }

yyjson_val* source_the_file(yyjson_val* element) noexcept {
  yyjson_val* the_file = obj_get(element, k_src_the_file[0]);
  return yyjson_is_obj(the_file) ? the_file : nullptr;
}

int parse_source_impl(yyjson_val* object, Source* out) {
  *out = Source();
  if (!yyjson_is_obj(object)) return 1;
  read_source(source_keys(), SchemaIndex(source_keys().schema, object), out);
  return 0;
}

int parse_merged_source(yyjson_val* the_file, yyjson_val* element, Source* out) {
  *out = Source();
  if (!yyjson_is_obj(the_file) || !yyjson_is_obj(element)) return 1;
  // Read as one object holding the members of "theFile" and then those of
  // the element: this answers what writing such an object out and parsing
  // it again would answer, since every value a strict parse yields survives
  // that round trip unchanged.
  read_source(source_keys(), SchemaIndex(source_keys().schema, the_file, element), out);
  return 0;
}

int32_t source_rank(const Source& source) {
  int64_t base = source.active == 0 ? 1000000 : 0;
  if (source.content_source == kLocal) base -= 500000;
  int64_t score = 2000000;
  if (source.width > 0 && source.height > 0) {
    score = (INT64_C(2000000000) - static_cast<int64_t>(source.width) * source.height) / 1000;
  }
  score += base;
  if (source.hdr == 1) score -= 40;
  if (source.dolby == 1) score -= 30;
  if (source.hevc == 1) score -= 20;
  if (source.size > 0) score -= source.size / 100000000;
  if (score > INT32_MAX) return INT32_MAX;
  if (score < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(score);
}

int read_item_sources(const SchemaIndex& item_members, Item* item) {
  return read_source_list(find_source_list(item_members), item);
}

int read_source_list(yyjson_val* list, Item* item) {
  item->sources.clear();
  item->playable = 0;
  if (!yyjson_is_arr(list)) return 0;

  const std::size_t n = yyjson_arr_size(list);
  if (item->sources.capacity() == 0) item->sources = take_source_list();
  try {
    item->sources.reserve(n == 0 ? 1 : n);
  } catch (...) {
    return 1;
  }
  const SourceKeys& keys = source_keys();
  std::size_t idx, max;
  yyjson_val* element;
  yyjson_arr_foreach(list, idx, max, element) {
    if (!yyjson_is_obj(element)) continue;  // no source: its slot serves the next element
    // The element's own members answer the "theFile" lookup; the members of
    // such an object then come before them.
    FieldMembers members(keys.fields, element);
    members.add_first(members.get(kTheFile));
    item->sources.emplace_back();  // capacity reserved above
    read_source(keys, members, &item->sources.back());
  }

  std::vector<Source>& sources = item->sources;
  for (Source& source : sources) source.rank = source_rank(source);
  // Stable, by rank: an insertion sort for the few sources an item has.
  if (sources.size() <= 16) {
    for (std::size_t i = 1; i < sources.size(); ++i) {
      for (std::size_t j = i; j > 0 && sources[j].rank < sources[j - 1].rank; --j) {
        std::swap(sources[j], sources[j - 1]);
      }
    }
  } else {
    std::stable_sort(sources.begin(), sources.end(),
                     [](const Source& a, const Source& b) { return a.rank < b.rank; });
  }
  for (const Source& source : item->sources) {
    if (source.uri || source.url) {
      item->playable = 1;
      break;
    }
  }
  return 0;
}

}  // namespace kavo
