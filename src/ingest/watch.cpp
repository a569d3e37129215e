// Watch progress: the host's array of watch entries. A call replaces the
// host's entries whole and keeps the ones made from the held server home.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "frame/json_lookup.h"
#include "frame/status.h"
#include "ingest/ingest.h"
#include "ingest/readers.h"

namespace kavo {

namespace {

const char* const k_watch_item_id[] = {"item_id", "ItemId", "id", nullptr};
const char* const k_watch_imdb[] = {"imdb_id", "imdbId", "IMDbId", "imDbID", "IMDbID", nullptr};
const char* const k_watch_source[] = {"source", "Source", "src", nullptr};
const char* const k_watch_key[] = {"key", "Key", nullptr};
const char* const k_watch_season[] = {"season", "Season", "p5", nullptr};
const char* const k_watch_episode[] = {"episode", "Episode", "p6", nullptr};
const char* const k_watch_position[] = {"position_s", "position", "Position", "positionSeconds",
                                        nullptr};
const char* const k_watch_duration[] = {"duration_s", "duration", "Duration", "durationSeconds",
                                        nullptr};
const char* const k_watch_fraction[] = {"fraction", "Fraction", "value", "Value", nullptr};
const char* const k_watch_finished[] = {"finished", "Finished", "isFinished", nullptr};
const char* const k_watch_updated[] = {"updated_ms", "UpdatedAt", "updatedAt", "recordUpdated",
                                       nullptr};
const char* const k_watch_size[] = {"size", "Size", "p7", nullptr};

const KeyList k_watch_key_lists[] = {k_watch_item_id,  k_watch_imdb,     k_watch_source,   k_watch_key,
                                     k_watch_season,   k_watch_episode,  k_watch_position, k_watch_duration,
                                     k_watch_fraction, k_watch_finished, k_watch_updated,  k_watch_size};

// The fields of a watch entry, in the order of the lists above.
enum WatchField : int {
  kItemId, kImdb, kSource, kKey, kSeason, kEpisode, kPosition, kDuration, kFraction, kFinished, kUpdated, kSize,
  kWatchFields
};
static_assert(std::size(k_watch_key_lists) == kWatchFields && kWatchFields <= FieldSchema::kMaxFields);

// The watch schema with every list an entry is read by resolved once.
struct WatchKeys {
  KeySchema schema{k_watch_key_lists};
  FieldSchema fields{schema, k_watch_key_lists};
};

const WatchKeys& watch_keys() {
  static const WatchKeys keys;
  return keys;
}

// The update time of field `f`: a date-time text reads by the date-time
// rule, anything else as js_ll_first reads it.
int find_update_ms(const FieldMembers& get, int f, int64_t* out) noexcept {
  return get.first_taken(f, [out](yyjson_val* value) {
    if (yyjson_is_str(value) && looks_like_datetime(yyjson_get_str(value))) {
      *out = parse_datetime_ms(yyjson_get_str(value));
      return 0;
    }
    return val_ll(value, out);
  });
}

// Reads one watch element into `rec`; false when it tells nothing about
// progress.
bool read_watch_entry(yyjson_val* element, WatchRec* rec) {
  // One walk of the members serves the dozens of key lookups below.
  const FieldMembers get(watch_keys().fields, element);
  find_str(get, kItemId, &rec->item_id);
  find_str(get, kImdb, &rec->imdb_id);
  find_str(get, kSource, &rec->source);
  find_str(get, kKey, &rec->key);
  find_int(get, kSeason, &rec->season);
  find_int(get, kEpisode, &rec->episode);
  find_dbl(get, kPosition, &rec->position_s);
  find_dbl(get, kDuration, &rec->duration_s);
  find_dbl(get, kFraction, &rec->fraction);
  int finished = 0;
  if (find_bool(get, kFinished, &finished) == 0) rec->finished = finished ? 1 : 0;
  find_update_ms(get, kUpdated, &rec->updated_ms);
  find_ll(get, kSize, &rec->size);
  return !(rec->position_s < 0 && rec->fraction < 0 && rec->finished == -1);
}

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

std::span<const KeyList> watch_key_lists() noexcept { return k_watch_key_lists; }

Text watch_item_id(yyjson_val* element) {
  Text id;
  js_str_first(element, k_watch_item_id, &id);
  return id;
}

bool looks_like_datetime(const char* text) noexcept {
  if (text == nullptr) return false;
  const char* p = text;
  while (is_space(*p)) ++p;
  const char* digits = p;
  while (*p >= '0' && *p <= '9') ++p;
  return p != digits && *p == '-';
}

int watch_ensure_room() noexcept { return ensure_room(s_watch); }

Refusal read_watch_element(yyjson_val* element, TextArena& texts, WatchRec* rec) {
  if (!yyjson_is_obj(element)) return Refusal::kNotObject;
  // The entry's texts go to `texts`; an entry turned away gives them back at
  // once.
  const TextArena::Mark mark = texts.mark();
  bool taken = false;
  {
    ArenaScope scope(&texts);
    taken = read_watch_entry(element, rec);
  }
  if (!taken) {
    *rec = WatchRec();
    texts.rollback(mark);
    return Refusal::kNoProgress;
  }
  return Refusal::kTaken;
}

int32_t load_watch_element(yyjson_val* element) {
  WatchRec rec;
  if (read_watch_element(element, s_watch_texts, &rec) != Refusal::kTaken) {
    ++s_rejected;
    return kOk;
  }
  if (watch_ensure_room() != 0) return fail(kNoMemory, "out of memory");
  s_watch.push_back(std::move(rec));
  return kOk;
}

namespace {

// The host's entries are the front of the table: the server's come after.
std::size_t host_count() {
  std::size_t n = s_watch.size();
  while (n > 0 && s_watch[n - 1].from_server_home) --n;
  return n;
}

// The host's entries of the next watch table, read aside so that a call that
// fails leaves the table as it was. Kept from call to call: its array and
// text blocks serve the next call, and it holds the entries the last commit
// replaced until then.
struct StagedWatch {
  std::vector<WatchRec> entries;
  TextArena texts;
  int32_t rejected = 0;
  // Per element of the array, the entry it gave (-1: turned away).
  std::vector<int32_t> element_pos;
  Watch::HostText host_text;

  void empty() noexcept {
    entries.clear();
    texts.reset();
    rejected = 0;
    element_pos.clear();
    host_text = Watch::HostText();
  }
};

StagedWatch s_staged_watch;

// Reads a watch array into `staged` with room left for `kept` entries after
// the host's; the failure's status and message when the array is no array or
// holds more usable entries than fit.
int32_t stage_watch_array(yyjson_val* root, int32_t kept, StagedWatch& staged) {
  if (!yyjson_is_arr(root)) return fail(kBadJson, "watch: expected an array");
  const std::size_t room = static_cast<std::size_t>(kMaxRecords - kept);
  try {
    staged.element_pos.reserve(yyjson_arr_size(root));
  } catch (...) {
    return fail(kNoMemory, "out of memory");
  }
  size_t idx = 0, max = 0;
  yyjson_val* element = nullptr;
  yyjson_arr_foreach(root, idx, max, element) {
    WatchRec rec;
    if (read_watch_element(element, staged.texts, &rec) != Refusal::kTaken) {
      ++staged.rejected;
      staged.element_pos.push_back(-1);
      continue;
    }
    if (staged.entries.size() >= room || ensure_room(staged.entries) != 0) {
      return fail(kNoMemory, "out of memory");
    }
    staged.element_pos.push_back(static_cast<int32_t>(staged.entries.size()));
    staged.entries.push_back(std::move(rec));
  }
  return kOk;
}

// ---- The array's text ---------------------------------------------------------
// A host sends its whole watch array again when one entry moved on. The text
// of the array the entries were read from is kept with where its elements
// lie; the next array is compared with it byte by byte, and only elements
// that differ are parsed and read. When they leave every entry where it is
// (the same elements turned away, no entry added or dropped), the entries
// that read differently are put in their places, as progress updates of
// those places would put them.

using HostText = Watch::HostText;


constexpr std::size_t kNoEnd = static_cast<std::size_t>(-1);

// Bytes that matter to value_end inside an object or array.
struct Structural {
  bool at[256] = {};
  constexpr Structural() {
    for (unsigned char c : {'"', '{', '}', '[', ']'}) at[c] = true;
  }
};
constexpr Structural k_structural;

// Where the JSON value starting at t[at] ends, before `len`, as far as
// brackets and strings tell; kNoEnd when it does not end before `len`.
// Nothing else is checked: for valid JSON the end is exact, and what it marks
// out of any other text is parsed before it is believed.
std::size_t value_end(const char* t, std::size_t len, std::size_t at) {
  std::size_t i = at;
  if (i >= len) return kNoEnd;
  const char first = t[i];
  if (first == '"') {
    for (++i; i < len; ++i) {
      if (t[i] == '\\') {
        ++i;
      } else if (t[i] == '"') {
        return i + 1;
      }
    }
    return kNoEnd;
  }
  if (first != '{' && first != '[') {
    while (i < len && !json_space(t[i]) && t[i] != ',' && t[i] != ']' && t[i] != '}') ++i;
    return i > at ? i : kNoEnd;
  }
  std::size_t depth = 0;
  for (; i < len; ++i) {
    const char c = t[i];
    if (!k_structural.at[static_cast<unsigned char>(c)]) continue;
    if (c == '"') {
      for (++i; i < len && t[i] != '"'; ++i) {
        if (t[i] == '\\') ++i;
      }
      if (i >= len) return kNoEnd;
    } else if (c == '{' || c == '[') {
      ++depth;
    } else if (--depth == 0) {
      return i + 1;
    }
  }
  return kNoEnd;
}

// Notes where the elements of a parsed array's text lie, each with the entry
// it gave (`element_pos`, in element order); false when they cannot be told.
bool map_elements(const char* t, std::size_t len, const std::vector<int32_t>& element_pos, HostText* out) {
  if (len >= UINT32_MAX) return false;
  out->elements.clear();
  out->elements.reserve(element_pos.size());
  std::size_t i = skip_space(t, len, 0);
  if (i >= len || t[i] != '[') return false;
  i = skip_space(t, len, i + 1);
  if (i < len && t[i] == ']') {
    out->close = static_cast<uint32_t>(i);
    return element_pos.empty();
  }
  for (;;) {
    const std::size_t end = value_end(t, len, i);
    const std::size_t k = out->elements.size();
    if (end == kNoEnd || k >= element_pos.size()) return false;
    out->elements.push_back(HostText::Element{static_cast<uint32_t>(i), static_cast<uint32_t>(end), element_pos[k]});
    i = skip_space(t, len, end);
    if (i >= len) return false;
    if (t[i] == ']') break;
    if (t[i] != ',') return false;
    i = skip_space(t, len, i + 1);
  }
  out->close = static_cast<uint32_t>(i);
  return out->elements.size() == element_pos.size();
}

// Keeps the text of the array just staged, with its elements, in `staged`;
// left not valid when memory runs out or the elements cannot be told.
void keep_text(const char* json, std::size_t len, StagedWatch& staged) {
  HostText& kept = staged.host_text;
  kept.valid = false;
  try {
    kept.text.assign(json, json + len);
    if (!map_elements(json, len, staged.element_pos, &kept)) return;
  } catch (...) {
    return;
  }
  kept.rejected = staged.rejected;
  kept.entries = static_cast<int32_t>(staged.entries.size());
  kept.replaced = 0;
  kept.valid = true;
}

// How many leading bytes two texts of at least `n` bytes share (at most n).
std::size_t common_prefix(const char* a, const char* b, std::size_t n) {
  std::size_t i = 0;
  for (std::size_t step : {std::size_t{4096}, std::size_t{64}}) {
    while (i + step <= n && std::memcmp(a + i, b + i, step) == 0) i += step;
  }
  while (i < n && a[i] == b[i]) ++i;
  return i;
}

// How many trailing bytes `a` (a_len bytes) and `b` (b_len bytes) share.
std::size_t common_suffix(const char* a, std::size_t a_len, const char* b, std::size_t b_len) {
  const std::size_t n = std::min(a_len, b_len);
  const char* a_end = a + a_len;
  const char* b_end = b + b_len;
  std::size_t i = 0;
  for (std::size_t step : {std::size_t{4096}, std::size_t{64}}) {
    while (i + step <= n && std::memcmp(a_end - i - step, b_end - i - step, step) == 0) i += step;
  }
  while (i < n && *(a_end - i - 1) == *(b_end - i - 1)) ++i;
  return i;
}

struct Span {
  std::size_t begin, end;
  bool differs;  // from the old element in its place
};

// Splits t[from, to) into values separated by commas, with white space
// around them, handing each to `take` (which may mark it, or answer false to
// stop) before it goes to `out`; with `more` (elements follow after `to`)
// every value has its comma after it, else the last has none. False when the
// text is not so shaped as far as value_end tells, or `take` stopped. No
// values at all (white space only) is left to the caller.
template <class Take>
bool split_values(const char* t, std::size_t from, std::size_t to, bool more, const Take& take,
                  std::vector<Span>* out) {
  out->clear();
  std::size_t i = skip_space(t, to, from);
  if (i == to) return true;
  for (;;) {
    if (t[i] == ',' || t[i] == ']' || t[i] == '}') return false;
    const std::size_t end = value_end(t, to, i);
    if (end == kNoEnd) return false;
    Span span{i, end, true};
    if (!take(span)) return false;
    out->push_back(span);
    i = skip_space(t, to, end);
    if (i == to) return !more;
    if (t[i] != ',') return false;
    i = skip_space(t, to, i + 1);
    if (i == to) return more;
  }
}

bool same_bits(double a, double b) {
  uint64_t x = 0, y = 0;
  std::memcpy(&x, &a, sizeof x);
  std::memcpy(&y, &b, sizeof y);
  return x == y;
}

// Whether two entries read alike in every field a document, a getter or a
// later call can read (the item they join is the rebuild's to set).
bool same_entry(const WatchRec& a, const WatchRec& b) {
  // A field added to the entries must be compared here.
  static_assert(sizeof(void*) != 8 || sizeof(WatchRec) == 96, "same_entry compares every field of WatchRec");
  return same_text(a.item_id.get(), b.item_id.get()) && same_text(a.imdb_id.get(), b.imdb_id.get()) &&
         a.season == b.season && a.episode == b.episode && same_bits(a.position_s, b.position_s) &&
         same_bits(a.fraction, b.fraction) && same_bits(a.duration_s, b.duration_s) && a.finished == b.finished &&
         a.size == b.size && a.updated_ms == b.updated_ms && same_text(a.source.get(), b.source.get()) &&
         same_text(a.key.get(), b.key.get()) && a.from_server_home == b.from_server_home;
}

// More differing elements than this: the array is read whole.
constexpr std::size_t kMostChanged = 64;

// The elements of the part of a new array that differs, kept for the next.
std::vector<Span> s_spans;

// The element in t[span] read as an entry into `rec` (texts in the watch
// table's arena), `taken` telling whether it gives one; false when the span
// is no JSON value.
bool read_span(const char* t, Span span, WatchRec* rec, bool* taken) {
  const JsonDoc doc = read_json(t + span.begin, span.end - span.begin);
  if (!doc) return false;
  *taken = read_watch_element(yyjson_doc_get_root(doc.get()), s_watch_texts, rec) == Refusal::kTaken;
  return true;
}

bool local_entry(const WatchRec& w) { return w.source && ci_cmp(w.source.get(), "local_store") == 0; }

bool same_identifiers(const WatchRec& a, const WatchRec& b);
void file_entry(Watch::HostIndex& index, int32_t pos);

// An entry that reads differently, for its place.
struct NewEntry {
  int32_t pos;
  WatchRec rec;
};

// Gives the watch texts back to where they were unless kept.
class TextsBack {
 public:
  TextsBack() noexcept : mark_(s_watch_texts.mark()) {}
  ~TextsBack() {
    if (!kept_) s_watch_texts.rollback(mark_);
  }
  TextsBack(const TextsBack&) = delete;
  TextsBack& operator=(const TextsBack&) = delete;
  void keep() noexcept { kept_ = true; }

 private:
  TextArena::Mark mark_;
  bool kept_ = false;
};

// A watch array of `len` bytes against the kept text: when it differs from
// it only in elements that leave every host entry where it is, puts the
// entries that read differently in their places, lists them in `replaced`
// as they were, counts the array's turned-away elements and keeps its text;
// true then. False (nothing changed) when the array is to be read whole.
bool set_in_place(const char* json, std::size_t len, std::vector<ReplacedEntry>* replaced, Appended* appended) {
  HostText& held = s_model.watch.host_text;
  if (!held.valid || held.elements.empty() || host_count() != static_cast<std::size_t>(held.entries) ||
      len >= UINT32_MAX) {
    return false;
  }
  const std::size_t old_len = held.text.size();
  const char* old = held.text.data();
  const std::size_t prefix = common_prefix(old, json, std::min(old_len, len));
  if (prefix == old_len && old_len == len) {
    replaced->clear();
    s_rejected += held.rejected;
    return true;
  }
  const std::size_t suffix = common_suffix(old + prefix, old_len - prefix, json + prefix, len - prefix);
  std::vector<HostText::Element>& el = held.elements;
  const std::size_t n = el.size();
  // The first element that may differ, and the first after it that is the
  // same in both texts from its start to the end (n: none, the closing
  // bracket is); before and after them the texts agree.
  if (prefix < el[0].begin) return false;
  const std::size_t tail = old_len - suffix;
  if (held.close < tail) return false;
  const std::size_t first = static_cast<std::size_t>(
      std::upper_bound(el.begin(), el.end(), prefix,
                       [](std::size_t at, const HostText::Element& e) { return at < e.begin; }) -
      el.begin() - 1);
  const std::size_t after = static_cast<std::size_t>(
      std::lower_bound(el.begin() + static_cast<std::ptrdiff_t>(first + 1), el.end(), tail,
                       [](const HostText::Element& e, std::size_t at) { return e.begin < at; }) -
      el.begin());
  const std::size_t from = el[first].begin;
  const std::size_t old_to = after < n ? el[after].begin : held.close;
  const std::size_t to = old_to + len - old_len;  // where the same bytes start again in the new text
  const std::size_t old_count = after - first;
  // Each new element against the old one in its place, as long as they
  // could be the same elements with few of them changed.
  std::size_t differing = 0;
  std::vector<Span>& spans = s_spans;
  const auto take = [&](Span& span) {
    const std::size_t k = spans.size();
    if (k >= old_count) return k < kMostChanged;  // more elements than before: a few only
    const HostText::Element& e = el[first + k];
    span.differs = span.end - span.begin != e.end - e.begin ||
                   std::memcmp(old + e.begin, json + span.begin, e.end - e.begin) != 0;
    differing += span.differs ? 1 : 0;
    return differing <= kMostChanged;
  };
  if (!split_values(json, from, to, after < n, take, &spans)) return false;
  // A comma before the closing bracket is no array.
  if (after == n && spans.empty()) return false;
  const bool same_count = spans.size() == old_count;
  if (!same_count && (spans.size() > kMostChanged || old_count > kMostChanged)) return false;

  TextsBack texts_back;
  const uint64_t failures = allocation_failures();
  std::vector<NewEntry> news;
  bool refile = false;
  // Reads new element k, which gives entry `pos` (-1: none) if anything:
  // 0 it reads as that entry reads now, 1 it reads differently (noted in
  // `news`), -1 it is no JSON value or gives an entry where none was or
  // none where one was.
  auto compare = [&](std::size_t k, int32_t pos) -> int {
    WatchRec rec;
    bool taken = false;
    const TextArena::Mark mark = s_watch_texts.mark();
    if (!read_span(json, spans[k], &rec, &taken)) return -1;
    if (taken != (pos >= 0)) return -1;
    if (!taken) return 0;
    const WatchRec& entry = s_watch[static_cast<std::size_t>(pos)];
    if (same_entry(entry, rec)) {
      rec = WatchRec();
      s_watch_texts.rollback(mark);
      return 0;
    }
    refile = refile || !same_identifiers(entry, rec);
    news.push_back(NewEntry{pos, std::move(rec)});
    return 1;
  };
  // With another number of elements: the entry each new one gives.
  std::vector<int32_t> span_pos;
  int32_t rejected_change = 0;
  // Entries given by new elements after every old one: appended.
  const std::size_t hosts_before = host_count();
  std::vector<WatchRec> adds;
  if (same_count) {
    for (std::size_t k = 0; k < old_count; ++k) {
      if (spans[k].differs && compare(k, el[first + k].pos) < 0) return false;
    }
  } else {
    // The entries of the old elements, in order, go to the new elements
    // that give one.
    std::vector<int32_t> olds;
    for (std::size_t k = first; k < after; ++k) {
      if (el[k].pos >= 0) {
        olds.push_back(el[k].pos);
      } else {
        --rejected_change;
      }
    }
    std::size_t next = 0;
    for (std::size_t k = 0; k < spans.size(); ++k) {
      bool taken = false;
      {
        WatchRec probe;
        const TextsBack probe_back;
        if (!read_span(json, spans[k], &probe, &taken)) return false;
      }
      if (!taken) {
        ++rejected_change;
        span_pos.push_back(-1);
        continue;
      }
      if (next >= olds.size()) {
        // More entries than before, which only the end of the array adds.
        if (after != n) return false;
        WatchRec rec;
        if (!read_span(json, spans[k], &rec, &taken) || !taken) return false;
        span_pos.push_back(static_cast<int32_t>(hosts_before + adds.size()));
        adds.push_back(std::move(rec));
        continue;
      }
      const int32_t pos = olds[next++];
      span_pos.push_back(pos);
      if (compare(k, pos) < 0) return false;
    }
    if (next != olds.size()) return false;
  }
  // An entry read without all its texts is not what its text reads as.
  if (allocation_failures() != failures) return false;
  // Each entry put in place leaves its texts behind in the arena until the
  // array is next read whole.
  if (held.replaced + static_cast<int64_t>(news.size()) > std::max<int64_t>(4096, held.entries)) return false;

  // What can fail, before anything changes.
  replaced->clear();
  replaced->reserve(news.size());
  if (!adds.empty()) {
    if (s_watch.size() + adds.size() > static_cast<std::size_t>(kMaxRecords)) return false;
    s_watch.reserve(s_watch.size() + adds.size());
  }
  std::vector<HostText::Element> regrown;
  if (!same_count) {
    regrown.reserve(n - old_count + spans.size());
    regrown.insert(regrown.end(), el.begin(), el.begin() + static_cast<std::ptrdiff_t>(first));
    for (std::size_t k = 0; k < spans.size(); ++k) {
      regrown.push_back(HostText::Element{static_cast<uint32_t>(spans[k].begin), static_cast<uint32_t>(spans[k].end),
                                          span_pos[k]});
    }
    regrown.insert(regrown.end(), el.begin() + static_cast<std::ptrdiff_t>(after), el.end());
  }
  if (held.text.capacity() < len) held.text.reserve(len + len / 16);

  // The kept text becomes the new one: the bytes that differ copied, the
  // same ones after them moved.
  char* text = held.text.data();
  if (len > old_len) {
    held.text.resize(len);
    text = held.text.data();
    std::memmove(text + to, text + old_to, old_len - old_to);
  } else if (len < old_len) {
    std::memmove(text + to, text + old_to, old_len - old_to);
    held.text.resize(len);
  }
  std::memcpy(text + from, json + from, to - from);
  std::size_t moved_from = after;  // the first element after the new ones
  if (same_count) {
    for (std::size_t k = 0; k < old_count; ++k) {
      el[first + k].begin = static_cast<uint32_t>(spans[k].begin);
      el[first + k].end = static_cast<uint32_t>(spans[k].end);
    }
  } else {
    el.swap(regrown);
    moved_from = first + spans.size();
  }
  const int64_t shift = static_cast<int64_t>(len) - static_cast<int64_t>(old_len);
  for (std::size_t k = moved_from; k < el.size(); ++k) {
    el[k].begin = static_cast<uint32_t>(el[k].begin + shift);
    el[k].end = static_cast<uint32_t>(el[k].end + shift);
  }
  held.close = static_cast<uint32_t>(held.close + shift);
  held.rejected += rejected_change;
  held.replaced += static_cast<int32_t>(news.size());

  for (NewEntry& ne : news) {
    WatchRec& entry = s_watch[static_cast<std::size_t>(ne.pos)];
    replaced->push_back(ReplacedEntry{ne.pos, entry.item_index, entry.updated_ms, local_entry(entry)});
    entry = std::move(ne.rec);
  }
  *appended = Appended();
  if (!adds.empty()) {
    // Room reserved above: no reallocation, nothing thrown.
    s_watch.insert(s_watch.begin() + static_cast<std::ptrdiff_t>(hosts_before), std::make_move_iterator(adds.begin()),
                   std::make_move_iterator(adds.end()));
    held.entries += static_cast<int32_t>(adds.size());
    appended->from = static_cast<int32_t>(hosts_before);
    appended->count = static_cast<int32_t>(adds.size());
    Watch::HostIndex& index = s_model.watch.host_index;
    if (index.ready && !refile) {
      try {
        for (int32_t k = 0; k < appended->count; ++k) file_entry(index, appended->from + k);
      } catch (...) {
        index.ready = false;  // made again when next needed
      }
    }
  }
  if (refile) s_model.watch.host_index.ready = false;
  s_rejected += held.rejected;
  texts_back.keep();
  return true;
}

}  // namespace

int32_t read_host_watch(const char* json) {
  std::vector<ReplacedEntry> replaced;
  Appended appended;
  bool whole = true;
  return read_host_watch(json, false, &replaced, &appended, &whole);
}

int32_t read_host_watch(const char* json, bool compare, std::vector<ReplacedEntry>* replaced, Appended* appended,
                        bool* whole) {
  replaced->clear();
  *appended = Appended();
  *whole = true;
  const std::size_t len = json != nullptr ? std::strlen(json) : 0;
  if (compare && json != nullptr) {
    try {
      if (set_in_place(json, len, replaced, appended)) {
        std::sort(replaced->begin(), replaced->end(),
                  [](const ReplacedEntry& a, const ReplacedEntry& b) { return a.pos < b.pos; });
        *whole = false;
        return kOk;
      }
    } catch (...) {
      // read whole below
    }
    replaced->clear();
    *appended = Appended();
  }
  StagedWatch& staged = s_staged_watch;
  staged.empty();
  const std::size_t hosts = host_count();
  const int32_t kept = static_cast<int32_t>(s_watch.size() - hosts);
  if (json != nullptr) {
    const uint64_t failures = allocation_failures();
    const JsonDoc doc = read_json(json, len);
    if (!doc) return fail(kBadJson, "watch: not valid JSON");
    const int32_t rc = stage_watch_array(yyjson_doc_get_root(doc.get()), kept, staged);
    if (rc != kOk) {
      staged.empty();
      return rc;
    }
    // Entries read without all their texts are not what the text reads as.
    if (compare && allocation_failures() == failures) keep_text(json, len, staged);
  }
  // The server progress entries stay, after the host's, in their order.
  try {
    staged.entries.reserve(staged.entries.size() + static_cast<std::size_t>(kept));
  } catch (...) {
    staged.empty();
    return fail(kNoMemory, "out of memory");
  }
  // Nothing below allocates: the table changes whole or not at all.
  for (std::size_t i = hosts; i < s_watch.size(); ++i) staged.entries.push_back(std::move(s_watch[i]));
  s_watch.swap(staged.entries);
  s_watch_texts.swap(staged.texts);
  s_model.watch.host_index.ready = false;
  std::swap(s_model.watch.host_text, staged.host_text);
  s_rejected += staged.rejected;
  staged.empty();
  return kOk;
}

namespace {

using HostIndex = Watch::HostIndex;

// The IMDb id with season and episode of an entry as one text, or none when
// it lacks one of them.
std::string episode_key(const WatchRec& w) {
  if (!w.imdb_id || w.season == -1 || w.episode == -1) return std::string();
  char numbers[32];
  std::snprintf(numbers, sizeof numbers, "\x1f%d\x1f%d", w.season, w.episode);
  return std::string(w.imdb_id.get()) + numbers;
}

// Stores `key` in a map of the index; an index that misses a key would send
// an update to the wrong entry, so a key that cannot be stored fails the
// call.
void index_key(Ht& map, const char* key, int32_t pos, bool borrow) {
  if (borrow) {
    map.put_borrowed(key, pos, false);
  } else {
    map.put(key, pos, false);
  }
  int32_t found = -1;
  if (map.get(key, &found) != 0) throw std::bad_alloc();
}

// Files entry `pos` under its identifiers, unless an earlier entry holds one
// already (entries are filed in table order).
void file_entry(HostIndex& index, int32_t pos) {
  const WatchRec& w = s_watch[static_cast<std::size_t>(pos)];
  if (w.key) index_key(index.by_key, w.key.get(), pos, true);
  if (w.item_id) index_key(index.by_item, w.item_id.get(), pos, true);
  const std::string episode = episode_key(w);
  if (!episode.empty()) index_key(index.by_episode, episode.c_str(), pos, false);
}

void make_index(HostIndex& index, std::size_t hosts) {
  index.ready = false;
  const std::size_t cap = 2 * hosts + 16;
  if (!(index.by_key.reset(cap) && index.by_item.reset(cap) && index.by_episode.reset(cap))) {
    throw std::bad_alloc();
  }
  for (std::size_t i = 0; i < hosts; ++i) file_entry(index, static_cast<int32_t>(i));
  index.ready = true;
}

// The host entry an update replaces: the first with its key when it has one,
// else the first with its item id, else the first with its IMDb id, season
// and episode; -1 for none.
int32_t matching_entry(const HostIndex& index, const WatchRec& update) {
  int32_t pos = -1;
  if (update.key) return index.by_key.get(update.key.get(), &pos) == 0 ? pos : -1;
  if (update.item_id) return index.by_item.get(update.item_id.get(), &pos) == 0 ? pos : -1;
  const std::string episode = episode_key(update);
  if (!episode.empty() && index.by_episode.get(episode.c_str(), &pos) == 0) return pos;
  return -1;
}

bool same_identifiers(const WatchRec& a, const WatchRec& b) {
  return same_text(a.key.get(), b.key.get()) && same_text(a.item_id.get(), b.item_id.get()) &&
         episode_key(a) == episode_key(b);
}

// What an update changed, to be undone when it fails part-way.
class UpdateUndo {
 public:
  UpdateUndo(std::size_t hosts) : hosts_(hosts), mark_(s_watch_texts.mark()), rejected_(s_rejected) {}
  ~UpdateUndo() {
    if (kept_) return;
    // Latest first, so that an entry appended and then replaced comes back
    // before the appended ones go.
    for (auto it = replaced_.rbegin(); it != replaced_.rend(); ++it) {
      s_watch[static_cast<std::size_t>(it->first)] = std::move(it->second);
    }
    s_watch.erase(s_watch.begin() + static_cast<std::ptrdiff_t>(hosts_),
                  s_watch.begin() + static_cast<std::ptrdiff_t>(hosts_ + appended_));
    s_model.watch.host_index.ready = false;  // made again when next needed
    s_watch_texts.rollback(mark_);
    s_rejected = rejected_;
  }
  UpdateUndo(const UpdateUndo&) = delete;
  UpdateUndo& operator=(const UpdateUndo&) = delete;

  // Room for one more replaced entry, made before the entry is moved out.
  void make_room() { replaced_.reserve(replaced_.size() + 1); }
  void replaced(int32_t pos, WatchRec& old) noexcept { replaced_.emplace_back(pos, std::move(old)); }
  void appended() { ++appended_; }
  void keep() { kept_ = true; }

 private:
  std::size_t hosts_;
  std::size_t appended_ = 0;
  TextArena::Mark mark_;
  int32_t rejected_;
  std::vector<std::pair<int32_t, WatchRec>> replaced_;
  bool kept_ = false;
};

}  // namespace

int32_t read_watch_update(const char* json) {
  std::vector<ReplacedEntry> replaced;
  Appended appended;
  return read_watch_update(json, &replaced, &appended);
}

int32_t read_watch_update(const char* json, std::vector<ReplacedEntry>* replaced, Appended* appended) {
  replaced->clear();
  *appended = Appended();
  if (json == nullptr) return kOk;
  const JsonDoc doc = read_json(json, std::strlen(json));
  if (!doc) return fail(kBadJson, "watch: not valid JSON");
  yyjson_val* root = yyjson_doc_get_root(doc.get());
  if (!yyjson_is_arr(root)) return fail(kBadJson, "watch: expected an array");

  std::size_t hosts = host_count();
  const std::size_t hosts_before = hosts;
  HostIndex& index = s_model.watch.host_index;
  if (!index.ready) make_index(index, hosts);
  UpdateUndo undo(hosts);
  size_t idx = 0, max = 0;
  yyjson_val* element = nullptr;
  yyjson_arr_foreach(root, idx, max, element) {
    WatchRec rec;
    if (read_watch_element(element, s_watch_texts, &rec) != Refusal::kTaken) {
      ++s_rejected;
      continue;
    }
    const int32_t pos = matching_entry(index, rec);
    if (pos >= 0) {
      // Replaced in its place; when its identifiers change, where the others
      // first stand may change too.
      WatchRec& entry = s_watch[static_cast<std::size_t>(pos)];
      const bool refile = !same_identifiers(entry, rec);
      if (std::none_of(replaced->begin(), replaced->end(), [pos](const ReplacedEntry& r) { return r.pos == pos; })) {
        const bool local = entry.source && ci_cmp(entry.source.get(), "local_store") == 0;
        replaced->push_back(ReplacedEntry{pos, entry.item_index, entry.updated_ms, local});
      }
      undo.make_room();
      undo.replaced(pos, entry);
      entry = std::move(rec);
      if (refile) make_index(index, hosts);
      continue;
    }
    if (s_watch.size() >= static_cast<std::size_t>(kMaxRecords)) return fail(kNoMemory, "out of memory");
    s_watch.insert(s_watch.begin() + static_cast<std::ptrdiff_t>(hosts), std::move(rec));
    undo.appended();
    file_entry(index, static_cast<int32_t>(hosts));
    ++hosts;
  }
  undo.keep();
  if (hosts > hosts_before) {
    appended->from = static_cast<int32_t>(hosts_before);
    appended->count = static_cast<int32_t>(hosts - hosts_before);
  }
  // The host's entries are no longer what the kept text reads as.
  if (!replaced->empty() || appended->count > 0) s_model.watch.host_text.valid = false;
  return kOk;
}

void release_staged_watch() noexcept {
  s_staged_watch = StagedWatch();
  std::vector<Span>().swap(s_spans);
}

}  // namespace kavo
