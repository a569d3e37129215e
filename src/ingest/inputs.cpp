// All inputs in one object, read into an empty model: checks the shape, hands
// each part to the reader of its single-input call, then derives what comes
// from the server home. The caller rebuilds.
//
// Two ways lead to the same model. The streamed way reads the object member
// by member and the big arrays element by element, each element parsed on
// its own in memory kept from call to call, so the whole inputs object is
// never held parsed at once. It takes only inputs whose outcome it can tell
// without the step-by-step order: valid JSON, each of the five keys spelled
// exactly and at most once, every part of the right type and every loader
// succeeding. Anything else (an error, a key in other letter case, a full
// table) clears the model again and goes the step-by-step way, which gives
// every status and message exactly.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "frame/status.h"
#include "ingest/ingest.h"
#include "ingest/readers.h"
#include "ingest/text_scan.h"

namespace kavo {

namespace {

// A part written back as compact JSON text of its own, so that each loader
// reads exactly what its single-input call would read.
class PartText {
 public:
  explicit PartText(yyjson_val* value) noexcept
      : text_(value ? yyjson_val_write_opts(value, 0, nullptr, nullptr, nullptr) : nullptr) {}
  ~PartText() { std::free(text_); }
  PartText(const PartText&) = delete;
  PartText& operator=(const PartText&) = delete;
  const char* get() const noexcept { return text_; }

 private:
  char* text_;
};

// The five parts in load order, the shape each must have, and the message of
// a load when it has another.
const char* const k_part_names[] = {"server_home", "items", "watch", "library", "store", nullptr};
const KeyList k_inputs_key_lists[] = {k_part_names};
struct PartShape {
  bool array;
  const char* message;
};
const PartShape k_part_shapes[kPartCount] = {
    {false, "server_home must be an object"}, {true, "items must be an array"},
    {true, "watch must be an array"},         {true, "library must be an array"},
    {false, "store must be an object"},
};

// ---- The streamed way ----------------------------------------------------------

// Parses one value of a long text after another, each in memory kept from
// call to call. The text is copied a window at a time into a buffer of our
// own, where yyjson parses in place (so it makes no copy of its own); a value
// that the window does not hold whole is read again from a window that
// starts with it and is twice as long. A value must end before its window
// does, so a number cut short by the window is never taken for the whole
// number. The document of a value holds pointers into the window.
class ElementReader {
 public:
  // The document of the value that starts at text[pos] and its end in *end,
  // or NULL when the text holds no valid value there. The document lives
  // until the next read.
  yyjson_doc* read(const char* text, TextLength& len, std::size_t pos, std::size_t* end) {
    std::size_t want = kWindowBytes;
    if (text != text_ || pos < start_ || pos >= start_ + held_) fill(text, len, pos, want);
    for (;;) {
      const std::size_t avail = start_ + held_ - pos;
      const bool to_end = len.ended() && start_ + held_ == len.whole();
      const std::size_t need = yyjson_read_max_memory_usage(avail, kFlags);
      if (need == 0) return nullptr;
      if (pool_.size() < need) pool_.resize(std::max(need, pool_.size() * 2));
      yyjson_alc alc;
      if (!yyjson_alc_pool_init(&alc, pool_.data(), pool_.size())) return nullptr;
      yyjson_doc* doc = yyjson_read_opts(window_.data() + (pos - start_), avail, kFlags, &alc, nullptr);
      if (doc != nullptr) {
        const std::size_t used = yyjson_doc_get_read_size(doc);
        if (used < avail || to_end) {
          *end = pos + used;
          return doc;
        }
      }
      // The parse may have changed the window's bytes: they are copied again.
      if (to_end) {
        forget();
        return nullptr;
      }
      want = std::max(want, 2 * avail);
      fill(text, len, pos, want);
    }
  }

  // Forgets the window (the next text may sit where the last one did).
  void forget() noexcept {
    text_ = nullptr;
    start_ = held_ = 0;
  }

  // Gives back the memory when a call needed an unusually large amount, or
  // always when `all`.
  void trim(bool all = false) noexcept {
    forget();
    if (all || pool_.size() > kKeepBytes) std::vector<char>().swap(pool_);
    if (all || window_.size() > kKeepBytes) std::vector<char>().swap(window_);
  }

 private:
  // Copies up to `want` bytes of the text from `pos` into the window, with
  // the zero padding yyjson reads past the end.
  void fill(const char* text, TextLength& len, std::size_t pos, std::size_t want) {
    const std::size_t n = std::min(want, len.past(pos + want - 1) - pos);
    forget();
    if (window_.size() < n + YYJSON_PADDING_SIZE) window_.resize(n + YYJSON_PADDING_SIZE);
    std::memcpy(window_.data(), text + pos, n);
    std::memset(window_.data() + n, 0, YYJSON_PADDING_SIZE);
    text_ = text;
    start_ = pos;
    held_ = n;
  }

  static constexpr yyjson_read_flag kFlags = YYJSON_READ_INSITU | YYJSON_READ_STOP_WHEN_DONE;
  static constexpr std::size_t kWindowBytes = 64u << 10;
  static constexpr std::size_t kKeepBytes = 1u << 20;
  std::vector<char> pool_;
  std::vector<char> window_;
  const char* text_ = nullptr;  // the text the window holds a part of
  std::size_t start_ = 0;       // where that part starts in it
  std::size_t held_ = 0;        // and its length
};

constexpr int kHome = kPartHome, kItems = kPartItems, kWatch = kPartWatch, kLibrary = kPartLibrary,
              kStore = kPartStore, kOtherMember = kPartCount;

// Which part a member key names: kOtherMember for keys that no lookup of the
// five names would find; -1 for keys that one finds only ignoring case,
// which the streamed way leaves to the step-by-step one.
int classify_key(const char* key, std::size_t len) {
  for (int p = kHome; p <= kStore; ++p) {
    const char* name = k_part_names[p];
    const std::size_t n = std::strlen(name);
    if (len == n && std::memcmp(key, name, n) == 0) return p;
    if (len >= n && key[n] == '\0' && ci_cmp(key, name) == 0) return -1;
  }
  return kOtherMember;
}

// Room for the records the rest of an item array seems to hold, judged by
// the bytes its elements took so far, all the text left counted as the
// array's: the table is allocated once at about its final size instead of
// doubling and moving every record read so far each time, and the
// catalogue's id map likewise. Nothing happens when memory runs out: the
// table grows as it would have.
void reserve_ahead(const ItemTarget& target, std::size_t read, std::size_t read_bytes, std::size_t pos,
                   TextLength& len) {
  constexpr std::size_t kJudgedAfter = 64;  // elements
  std::vector<Item>& dest = *target.dest;
  if (dest.size() < dest.capacity() || read < kJudgedAfter || read_bytes == 0) return;
  const std::size_t limit = kMaxRecords;
  const std::size_t left_bytes = len.whole() - pos;
  std::size_t want = dest.size() + 1 + static_cast<std::size_t>(static_cast<double>(left_bytes) * static_cast<double>(read) /
                                                                  static_cast<double>(read_bytes));
  want = std::max(want, 2 * dest.capacity());  // never less than doubling
  want = std::min(want, limit);
  if (want <= dest.capacity()) return;  // a full table: the loader tells
  try {
    dest.reserve(want);
  } catch (...) {
    return;
  }
  if (target.unique_ids) (target.batch_ids != nullptr ? *target.batch_ids : s_seen_id).reserve(want);
}

// Reads the inputs object of a NUL-terminated text. Positions only ever
// move past bytes that were looked at, so a position is at most the text's
// length, and the text has ended there exactly when the byte is its NUL.
class Streamer {
 public:
  Streamer(const char* text, ElementReader& reader) : text_(text), len_(text), reader_(reader) {}

  // True when the whole object was read and every part loaded.
  bool run() {
    std::size_t pos = skip(0);
    if (at_end(pos) || text_[pos] != '{') return false;
    pos = skip(pos + 1);
    if (!at_end(pos) && text_[pos] == '}') return at_end(skip(pos + 1));
    bool seen[kStore + 1] = {false, false, false, false, false};
    for (;;) {
      if (at_end(pos) || text_[pos] != '"') return false;
      std::size_t end = 0;
      yyjson_doc* key_doc = reader_.read(text_, len_, pos, &end);
      yyjson_val* key = yyjson_doc_get_root(key_doc);
      if (!yyjson_is_str(key)) return false;
      const int part = classify_key(yyjson_get_str(key), yyjson_get_len(key));
      if (part < 0) return false;
      if (part != kOtherMember) {
        if (seen[part]) return false;  // the first one is found: leave it to the other way
        seen[part] = true;
      }
      pos = skip(end);
      if (at_end(pos) || text_[pos] != ':') return false;
      pos = skip(pos + 1);
      if (at_end(pos)) return false;
      if (!member(part, pos, &pos)) return false;
      pos = skip(pos);
      if (at_end(pos)) return false;
      if (text_[pos] == '}') return at_end(skip(pos + 1));
      if (text_[pos] != ',') return false;
      pos = skip(pos + 1);
    }
  }

 private:
  // The NUL ends the text and is no white space: skipping stops there.
  std::size_t skip(std::size_t pos) const { return skip_space(text_, SIZE_MAX, pos); }
  bool at_end(std::size_t pos) const { return text_[pos] == '\0'; }

  // Reads the member value at `pos` into its part; *end after it.
  bool member(int part, std::size_t pos, std::size_t* end) {
    const char open = text_[pos];
    switch (part) {
      case kItems:
      case kWatch:
      case kLibrary:
        return open == '[' && stream_array(part, pos, end);
      case kHome:
      case kStore:
        if (open != '{') return false;
        break;
      default:
        break;
    }
    // A value read whole, from exactly its own text.
    *end = value_end(text_, len_, pos);
    JsonDoc doc = read_json(text_ + pos, *end - pos);
    if (!doc) return false;
    if (part == kHome) {
      // Held as load_home_json would hold the part's own text.
      s_home_doc = std::move(doc);
      s_have_home = 1;
      return true;
    }
    int32_t rc = kOk;
    if (part == kStore) {
      try {
        rc = load_store_value(yyjson_doc_get_root(doc.get()), &s_model.store);
      } catch (...) {
        rc = kNoMemory;
      }
    }
    return rc == kOk;
  }

  bool stream_array(int part, std::size_t pos, std::size_t* end) {
    pos = skip(pos + 1);
    if (!at_end(pos) && text_[pos] == ']') {
      *end = pos + 1;
      return true;
    }
    const ItemTarget target = part == kLibrary ? ItemTarget::library() : ItemTarget::catalogue();
    const std::size_t first = pos;
    for (std::size_t read = 0;; ++read) {
      if (part != kWatch) reserve_ahead(target, read, pos - first, pos, len_);
      std::size_t after = 0;
      yyjson_doc* doc = reader_.read(text_, len_, pos, &after);
      if (doc == nullptr) return false;
      yyjson_val* element = yyjson_doc_get_root(doc);
      const int32_t rc = part == kWatch ? load_watch_element(element) : load_item_element(element, target);
      if (rc != kOk) return false;
      pos = skip(after);
      if (at_end(pos)) return false;
      if (text_[pos] == ']') {
        *end = pos + 1;
        return true;
      }
      if (text_[pos] != ',') return false;
      pos = skip(pos + 1);
    }
  }

  const char* text_;
  TextLength len_;
  ElementReader& reader_;
};

ElementReader s_reader;

// Loads the inputs the streamed way; false (with the model in any state) when
// the step-by-step way must decide.
bool load_streamed(const char* json) {
  ElementReader& reader = s_reader;
  reader.forget();
  bool done = false;
  try {
    done = Streamer(json, reader).run();
  } catch (...) {
    done = false;  // the step-by-step way meets the same failure and reports it
  }
  reader.trim();
  return done;
}

// The end of every load: what comes from the server home.
int32_t finish_inputs() {
  reset_basics();
  if (s_have_home) {
    index_basics();
    ingest_continues();
  }
  return kOk;
}

// The step-by-step way, after the model was cleared.
int32_t load_inputs_stepwise(const char* json);

}  // namespace

std::span<const KeyList> inputs_key_lists() noexcept { return k_inputs_key_lists; }

const char* input_part_name(InputPart part) noexcept { return k_part_names[part]; }

yyjson_val* input_part(yyjson_val* inputs, InputPart part) noexcept { return obj_get(inputs, k_part_names[part]); }

const char* part_shape_error(InputPart part, yyjson_val* value) noexcept {
  // A present null is the wrong type too.
  if (value == nullptr) return nullptr;
  const PartShape& shape = k_part_shapes[part];
  return (shape.array ? yyjson_is_arr(value) : yyjson_is_obj(value)) ? nullptr : shape.message;
}

void release_input_memory() noexcept {
  s_reader.trim(true);
  release_staged_watch();
  release_staged_library();
}

int32_t read_inputs(const char* json) {
  if (load_streamed(json)) return finish_inputs();
  clear_model();
  return load_inputs_stepwise(json);
}

namespace {

int32_t load_inputs_stepwise(const char* json) {
  JsonDoc doc = read_json(json, std::strlen(json));
  if (!doc) return fail(kBadJson, kInputsNotJson);
  yyjson_val* root = yyjson_doc_get_root(doc.get());
  if (!yyjson_is_obj(root)) return fail(kBadJson, kInputsNotObject);

  yyjson_val* parts[kPartCount];
  for (int p = 0; p < kPartCount; ++p) {
    parts[p] = input_part(root, static_cast<InputPart>(p));
    if (const char* wrong = part_shape_error(static_cast<InputPart>(p), parts[p])) return fail(kBadJson, wrong);
  }
  yyjson_val* home = parts[kPartHome];
  yyjson_val* items = parts[kPartItems];
  yyjson_val* watch = parts[kPartWatch];
  yyjson_val* library = parts[kPartLibrary];
  yyjson_val* store = parts[kPartStore];

  int32_t rc = kOk;
  if (home) {
    PartText text(home);
    if (text.get() && (rc = load_home_json(text.get())) != kOk) return rc;
  }
  if (items) {
    PartText text(items);
    if (!text.get()) return fail(kNoMemory, "oom");
    if ((rc = load_array_json(text.get(), false)) != kOk) return rc;
  }
  if (watch) {
    PartText text(watch);
    if (text.get() && (rc = read_host_watch(text.get())) != kOk) return rc;
  }
  if (library) {
    PartText text(library);
    if (text.get() && (rc = read_library(text.get())) != kOk) return rc;
  }
  if (store) {
    PartText text(store);
    if (text.get() && (rc = read_store(text.get())) != kOk) return rc;
  }

  doc.reset();
  return finish_inputs();
}

}  // namespace

}  // namespace kavo
