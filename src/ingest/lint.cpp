// The inputs linter: what a load of an inputs object would turn away and
// why, found by the loaders' own readers on a parse of its own. It writes
// nothing of the model, the settings or the status frame.
#include <yyjson.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "frame/ht.h"
#include "frame/json_doc.h"
#include "frame/status.h"
#include "ingest/ingest.h"
#include "ingest/readers.h"

namespace kavo {

namespace {

// ---- Which member names a reader knows -----------------------------------------

enum Kind : int {
  kInputsObject, kHomeObject, kBasicObject, kContinueObject, kItemObject, kSourceObject,
  kWatchObject, kStoreObject, kFavouriteObject, kPlaylistObject, kKindCount
};

char fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// A name as a key of the linter's maps. (A type of this file's own: maps of
// plain strings would export their code from the shared library.)
struct Name {
  std::string text;
  bool operator==(const Name&) const = default;
};
struct NameHash {
  std::size_t operator()(const Name& name) const noexcept { return std::hash<std::string_view>{}(name.text); }
};

// A member name as the lookups compare it ignoring case: folded, up to its
// first NUL.
std::string folded(const char* text, std::size_t len) {
  std::string out(text, strnlen(text, len));
  for (char& c : out) c = fold(c);
  return out;
}

// The spellings of one kind of object, in the order of its key lists.
struct Spellings {
  std::vector<const char*> listed;
  std::unordered_set<Name, NameHash> folded_set;

  void add(std::span<const KeyList> lists) {
    for (KeyList list : lists) {
      for (KeyList k = list; *k != nullptr; ++k) {
        listed.push_back(*k);
        folded_set.insert(Name{folded(*k, std::strlen(*k))});
      }
    }
  }
  // Whether some lookup of the readers finds a member of this name: one
  // spelled so exactly, or so ignoring case.
  bool knows(const char* name, std::size_t len) const { return folded_set.count(Name{folded(name, len)}) != 0; }
};

Spellings make_spellings(Kind kind) {
  Spellings s;
  switch (kind) {
    case kInputsObject: s.add(inputs_key_lists()); break;
    case kHomeObject: s.add(home_key_lists()); break;
    case kBasicObject: s.add(basic_key_lists()); break;
    case kContinueObject: s.add(continue_key_lists()); break;
    case kItemObject: s.add(item_key_lists()); break;
    case kSourceObject: s.add(source_key_lists()); break;
    case kWatchObject: s.add(watch_key_lists()); break;
    case kStoreObject: s.add(store_key_lists()); break;
    case kFavouriteObject: s.add(favourite_key_lists()); break;
    case kPlaylistObject: s.add(playlist_key_lists()); break;
    case kKindCount: break;
  }
  return s;
}

const Spellings& spellings(Kind kind) {
  static const std::vector<Spellings> all = [] {
    std::vector<Spellings> v;
    for (int k = 0; k < kKindCount; ++k) v.push_back(make_spellings(static_cast<Kind>(k)));
    return v;
  }();
  return all[static_cast<std::size_t>(kind)];
}

// The server home's other lists: each with the name the document gives its
// elements ("server_home/List") and their spellings.
struct HomeListKind {
  std::string input;
  Spellings spellings;
};
const HomeListKind& home_list_kind(std::size_t list) {
  static const std::vector<HomeListKind> all = [] {
    std::vector<HomeListKind> v;
    for (const HomeList& l : home_lists()) {
      v.emplace_back();
      v.back().input = std::string("server_home/") + l.member;
      v.back().spellings.add(l.element_keys);
    }
    return v;
  }();
  return all[list];
}

// Edits (insertions, deletions, substitutions, swaps of neighbours) between
// two folded names.
std::size_t edit_distance(const std::string& a, const std::string& b) {
  const std::size_t n = a.size(), m = b.size();
  std::vector<std::size_t> two_back(m + 1), back(m + 1), row(m + 1);
  for (std::size_t j = 0; j <= m; ++j) back[j] = j;
  for (std::size_t i = 1; i <= n; ++i) {
    row[0] = i;
    for (std::size_t j = 1; j <= m; ++j) {
      const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      row[j] = std::min({back[j] + 1, row[j - 1] + 1, back[j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        row[j] = std::min(row[j], two_back[j - 2] + 1);
      }
    }
    std::swap(two_back, back);
    std::swap(back, row);
  }
  return back[m];
}

// The accepted spelling nearest to an unknown name ignoring case (the first
// listed among equally near ones), when it is near enough to be a likely
// misspelling; NULL otherwise.
const char* nearest_spelling(const Spellings& s, const std::string& name) {
  constexpr std::size_t kLongestCompared = 64;
  const std::string unknown = folded(name.data(), name.size());
  if (unknown.empty() || unknown.size() > kLongestCompared) return nullptr;
  const std::size_t allowed = std::max<std::size_t>(2, unknown.size() / 2);
  const char* best = nullptr;
  std::size_t best_distance = allowed + 1;
  for (const char* spelling : s.listed) {
    const std::size_t d = edit_distance(unknown, folded(spelling, std::strlen(spelling)));
    if (d < best_distance) {
      best = spelling;
      best_distance = d;
    }
  }
  return best;
}

const char* reason_text(Refusal reason) {
  switch (reason) {
    case Refusal::kTaken: return "taken";
    case Refusal::kNotObject: return "not an object";
    case Refusal::kNoId: return "no id";
    case Refusal::kDuplicateId: return "duplicate id";
    case Refusal::kNoMemory: return "out of memory";
    case Refusal::kNoProgress: return "progress that says nothing";
    case Refusal::kNoToken: return "no token";
    case Refusal::kNoKey: return "no key";
    case Refusal::kNoImdbId: return "no IMDb id";
    case Refusal::kNoShare: return "no share watched";
  }
  return "";
}

// ---- Findings ------------------------------------------------------------------

// The most elements and member names the document lists; the counts go on.
constexpr std::size_t kListed = 1000;

struct Failure {
  const char* input;
  int32_t code;
  const char* message;
};

struct TurnedAway {
  const char* input;
  std::size_t index;
  std::string pointer;
  bool has_id;
  std::string id;
  Refusal reason;
};

struct Unknown {
  const char* input;
  const Spellings* spellings;
  std::string member;
  int64_t count;
  std::string pointer;  // of its first place
};

struct SyntaxError {
  bool found = false;
  bool located = false;
  std::size_t line = 0, column = 0, byte = 0;
  const char* message = "";
};

// A JSON pointer being walked down and up again.
class Pointer {
 public:
  const std::string& text() const { return text_; }
  std::size_t depth() const { return text_.size(); }
  void up_to(std::size_t depth) { text_.resize(depth); }
  void down(const char* name, std::size_t len) {
    text_ += '/';
    for (std::size_t i = 0; i < len; ++i) {
      if (name[i] == '~') {
        text_ += "~0";
      } else if (name[i] == '/') {
        text_ += "~1";
      } else {
        text_ += name[i];
      }
    }
  }
  void down(yyjson_val* key) { down(yyjson_get_str(key), yyjson_get_len(key)); }
  void down(std::size_t index) {
    char digits[24];
    std::snprintf(digits, sizeof digits, "/%zu", index);
    text_ += digits;
  }

 private:
  std::string text_;
};

// The key of the member of `object` whose value is `value`.
yyjson_val* key_of(yyjson_val* object, yyjson_val* value) {
  std::size_t idx, max;
  yyjson_val *k, *v;
  yyjson_obj_foreach(object, idx, max, k, v) {
    if (v == value) return k;
  }
  return nullptr;
}

class Linter {
 public:
  void lint(const char* json) {
    const std::size_t len = std::strlen(json);
    yyjson_read_err err;
    const JsonDoc doc(yyjson_read_opts(const_cast<char*>(json), len, 0, nullptr, &err));
    if (!doc) {
      if (err.code == YYJSON_READ_ERROR_MEMORY_ALLOCATION) throw std::bad_alloc();
      syntax_.found = true;
      syntax_.byte = err.pos;
      syntax_.message = err.msg != nullptr ? err.msg : "";
      std::size_t chr = 0;
      syntax_.located = yyjson_locate_pos(json, len, err.pos, &syntax_.line, &syntax_.column, &chr);
      failures_.push_back(Failure{"inputs", kBadJson, kInputsNotJson});
      return;
    }
    yyjson_val* root = yyjson_doc_get_root(doc.get());
    if (!yyjson_is_obj(root)) {
      failures_.push_back(Failure{"inputs", kBadJson, kInputsNotObject});
      return;
    }
    members(root, kInputsObject, "inputs");
    yyjson_val* parts[kPartCount];
    for (int p = 0; p < kPartCount; ++p) {
      const InputPart part = static_cast<InputPart>(p);
      parts[p] = input_part(root, part);
      if (const char* wrong = part_shape_error(part, parts[p])) {
        failures_.push_back(Failure{input_part_name(part), kBadJson, wrong});
        parts[p] = nullptr;
      }
    }
    for (int p = 0; p < kPartCount; ++p) {
      if (parts[p] == nullptr) continue;
      const std::size_t depth = at_.depth();
      at_.down(key_of(root, parts[p]));
      switch (p) {
        case kPartHome: home(parts[p]); break;
        case kPartItems: taken_[p] = items(parts[p], "items", "items/sources", true); break;
        case kPartWatch: taken_[p] = watch(parts[p]); break;
        case kPartLibrary: taken_[p] = items(parts[p], "library", "library/sources", false); break;
        case kPartStore: store(parts[p]); break;
        default: break;
      }
      at_.up_to(depth);
    }
    // A table that would pass its limit fails the load, part by part.
    for (int p : {kPartItems, kPartWatch, kPartLibrary}) {
      if (taken_[p] > static_cast<std::size_t>(kMaxRecords)) {
        failures_.push_back(Failure{input_part_name(static_cast<InputPart>(p)), kNoMemory, "out of memory"});
      }
    }
  }

  // The lint document; none when memory runs out.
  Text write() const {
    const MutJsonDoc doc = new_mut_doc();
    if (!doc) return Text();
    yyjson_mut_doc* d = doc.get();
    yyjson_mut_val* root = yyjson_mut_obj(d);
    if (root == nullptr) return Text();
    yyjson_mut_doc_set_root(d, root);
    const Failure* first = failures_.empty() ? nullptr : &failures_.front();
    add(d, root, "status", yyjson_mut_sint(d, first ? first->code : kOk));
    add(d, root, "message", str(d, first ? first->message : ""));
    add(d, root, "syntax_error", syntax_error(d));
    yyjson_mut_val* errors = yyjson_mut_arr(d);
    for (const Failure& f : failures_) {
      yyjson_mut_val* e = yyjson_mut_obj(d);
      add(d, e, "input", str(d, f.input));
      add(d, e, "code", yyjson_mut_sint(d, f.code));
      add(d, e, "message", str(d, f.message));
      yyjson_mut_arr_append(errors, e);
    }
    add(d, root, "errors", errors);
    add(d, root, "rejected", yyjson_mut_uint(d, rejected_));
    add(d, root, "turned_away_count", yyjson_mut_uint(d, turned_count_));
    yyjson_mut_val* turned = yyjson_mut_arr(d);
    for (const TurnedAway& t : turned_) {
      yyjson_mut_val* e = yyjson_mut_obj(d);
      add(d, e, "input", str(d, t.input));
      add(d, e, "index", yyjson_mut_uint(d, t.index));
      add(d, e, "pointer", str(d, t.pointer));
      add(d, e, "id", t.has_id ? str(d, t.id) : yyjson_mut_null(d));
      add(d, e, "reason", str(d, reason_text(t.reason)));
      yyjson_mut_arr_append(turned, e);
    }
    add(d, root, "turned_away", turned);
    add(d, root, "unknown_member_count", yyjson_mut_uint(d, unknown_at_.size()));
    yyjson_mut_val* unknown = yyjson_mut_arr(d);
    for (const Unknown& u : unknown_) {
      yyjson_mut_val* e = yyjson_mut_obj(d);
      add(d, e, "input", str(d, u.input));
      add(d, e, "member", str(d, u.member));
      add(d, e, "count", yyjson_mut_sint(d, u.count));
      add(d, e, "pointer", str(d, u.pointer));
      const char* nearest = nearest_spelling(*u.spellings, u.member);
      add(d, e, "nearest", nearest ? str(d, nearest) : yyjson_mut_null(d));
      yyjson_mut_arr_append(unknown, e);
    }
    add(d, root, "unknown_members", unknown);
    if (!complete_) return Text();
    std::size_t len = 0;
    return Text::adopt(yyjson_mut_write_opts(d, 0, nullptr, &len, nullptr));
  }

 private:
  // ---- The parts ----

  // Items or library entries; the number of entries a load keeps.
  std::size_t items(yyjson_val* array, const char* input, const char* sources_input, bool unique_ids) {
    Ht ids;
    std::size_t taken = 0;
    each(array, [&](std::size_t i, yyjson_val* element) {
      Refusal reason = Refusal::kTaken;
      bool has_id = false;
      std::string id;
      {
        ArenaScope scope(&texts_);
        Item item;
        reason = read_item(element, &item);
        if (item.id) {
          has_id = true;
          id = item.id.get();
        }
        if (reason == Refusal::kTaken && unique_ids) {
          int32_t seen = 0;
          if (ids.get(item.id.get(), &seen) == 0) {
            reason = Refusal::kDuplicateId;
          } else {
            ids.put(item.id.get(), 0, false);
          }
        }
      }
      texts_.reset();
      // A member nobody reads may be why the element is turned away.
      if (yyjson_is_obj(element)) members(element, kItemObject, input);
      if (reason != Refusal::kTaken) {
        turn_away(input, i, has_id, std::move(id), reason);
        return;
      }
      ++taken;
      sources(element, sources_input);
    });
    return taken;
  }

  void sources(yyjson_val* item, const char* input) {
    yyjson_val* list = find_source_list([item](const char* key) { return obj_get(item, key); });
    if (!yyjson_is_arr(list)) return;
    const std::size_t depth = at_.depth();
    at_.down(key_of(item, list));
    each(list, [&](std::size_t i, yyjson_val* element) {
      if (!yyjson_is_obj(element)) {
        turn_away(input, i, false, std::string(), Refusal::kNotObject);
        return;
      }
      members(element, kSourceObject, input);
      if (yyjson_val* the_file = source_the_file(element)) {
        const std::size_t source_depth = at_.depth();
        at_.down(key_of(element, the_file));
        members(the_file, kSourceObject, input);
        at_.up_to(source_depth);
      }
    });
    at_.up_to(depth);
  }

  std::size_t watch(yyjson_val* array) {
    std::size_t taken = 0;
    each(array, [&](std::size_t i, yyjson_val* element) {
      WatchRec rec;
      const Refusal reason = read_watch_element(element, texts_, &rec);
      rec = WatchRec();
      texts_.reset();
      if (yyjson_is_obj(element)) members(element, kWatchObject, "watch");
      if (reason == Refusal::kTaken) {
        ++taken;
        return;
      }
      bool has_id = false;
      std::string id;
      if (yyjson_is_obj(element)) {
        ArenaScope scope(&texts_);
        const Text item_id = watch_item_id(element);
        if (item_id) {
          has_id = true;
          id = item_id.get();
        }
      }
      texts_.reset();
      turn_away("watch", i, has_id, std::move(id), reason);
    });
    return taken;
  }

  void store(yyjson_val* store) {
    members(store, kStoreObject, "store");
    records<FavRec>(store, store_favourites(store), "store/favourites", kFavouriteObject, read_favourite);
    records<PlaylistRec>(store, store_playlists(store), "store/playlists", kPlaylistObject, read_playlist);
  }

  void home(yyjson_val* home) {
    members(home, kHomeObject, "server_home");
    records<BasicRec>(home, home_basics(home), "server_home/Basics", kBasicObject, read_basic);
    records<WatchRec>(home, home_continues(home), "server_home/Continues", kContinueObject, read_continue);
    const std::span<const HomeList> lists = home_lists();
    for (std::size_t l = 0; l < lists.size(); ++l) {
      yyjson_val* array = obj_get(home, lists[l].member);
      if (!yyjson_is_arr(array)) continue;
      const HomeListKind& kind = home_list_kind(l);
      const std::size_t depth = at_.depth();
      at_.down(key_of(home, array));
      each(array, [&](std::size_t, yyjson_val* element) {
        if (yyjson_is_obj(element)) members(element, kind.spellings, kind.input.c_str());
      });
      at_.up_to(depth);
    }
  }

  // The elements of a list that its reader takes or skips without counting
  // them as rejected.
  template <class Record, class Read>
  void records(yyjson_val* parent, yyjson_val* array, const char* input, Kind kind, Read read) {
    if (array == nullptr) return;
    const std::size_t depth = at_.depth();
    at_.down(key_of(parent, array));
    each(array, [&](std::size_t i, yyjson_val* element) {
      Refusal reason = Refusal::kTaken;
      {
        ArenaScope scope(&texts_);
        Record rec;
        reason = read(element, &rec);
      }
      texts_.reset();
      if (yyjson_is_obj(element)) members(element, kind, input);
      if (reason != Refusal::kTaken) turn_away(input, i, false, std::string(), reason);
    });
    at_.up_to(depth);
  }

  // ---- Walking and recording ----

  // Calls f(index, element) for each element, with the pointer at it.
  template <class F>
  void each(yyjson_val* array, F&& f) {
    const std::size_t depth = at_.depth();
    std::size_t idx, max;
    yyjson_val* element;
    yyjson_arr_foreach(array, idx, max, element) {
      at_.down(idx);
      f(idx, element);
      at_.up_to(depth);
    }
  }

  void turn_away(const char* input, std::size_t index, bool has_id, std::string id, Refusal reason) {
    ++turned_count_;
    for (int p : {kPartItems, kPartWatch, kPartLibrary}) {
      if (std::strcmp(input, input_part_name(static_cast<InputPart>(p))) == 0) ++rejected_;
    }
    if (turned_.size() < kListed) turned_.push_back(TurnedAway{input, index, at_.text(), has_id, std::move(id), reason});
  }

  void members(yyjson_val* object, Kind kind, const char* input) { members(object, spellings(kind), input); }

  // Records the members of `object` that no reader of its kind looks up.
  void members(yyjson_val* object, const Spellings& known, const char* input) {
    std::size_t idx, max;
    yyjson_val *k, *v;
    yyjson_obj_foreach(object, idx, max, k, v) {
      const char* name = yyjson_get_str(k);
      const std::size_t len = yyjson_get_len(k);
      if (known.knows(name, len)) continue;
      Name key{input};
      key.text += '\0';
      key.text.append(name, len);
      const auto found = unknown_at_.find(key);
      if (found != unknown_at_.end()) {
        if (found->second < unknown_.size()) ++unknown_[found->second].count;
        continue;
      }
      // Past the listed ones, names are only counted.
      unknown_at_.emplace(std::move(key), unknown_.size() < kListed ? unknown_.size() : SIZE_MAX);
      if (unknown_.size() >= kListed) continue;
      const std::size_t depth = at_.depth();
      at_.down(name, len);
      unknown_.push_back(Unknown{input, &known, std::string(name, len), 1, at_.text()});
      at_.up_to(depth);
    }
  }

  // ---- Writing ----

  void add(yyjson_mut_doc* d, yyjson_mut_val* object, const char* key, yyjson_mut_val* value) const {
    if (value == nullptr || !yyjson_mut_obj_add(object, yyjson_mut_str(d, key), value)) complete_ = false;
  }
  static yyjson_mut_val* str(yyjson_mut_doc* d, const std::string& text) {
    return yyjson_mut_strncpy(d, text.data(), text.size());
  }
  static yyjson_mut_val* str(yyjson_mut_doc* d, const char* text) { return yyjson_mut_strcpy(d, text); }

  yyjson_mut_val* syntax_error(yyjson_mut_doc* d) const {
    if (!syntax_.found) return yyjson_mut_null(d);
    yyjson_mut_val* e = yyjson_mut_obj(d);
    if (e == nullptr) return nullptr;
    add(d, e, "line", syntax_.located ? yyjson_mut_uint(d, syntax_.line) : yyjson_mut_null(d));
    add(d, e, "column", syntax_.located ? yyjson_mut_uint(d, syntax_.column) : yyjson_mut_null(d));
    add(d, e, "byte", yyjson_mut_uint(d, syntax_.byte));
    add(d, e, "message", str(d, syntax_.message));
    return e;
  }

  std::vector<Failure> failures_;
  SyntaxError syntax_;
  std::vector<TurnedAway> turned_;  // the first kListed
  std::size_t turned_count_ = 0;
  // What a successful load adds to the stats' "rejected": the elements of
  // items, watch and library turned away.
  std::size_t rejected_ = 0;
  std::vector<Unknown> unknown_;  // the first kListed names
  // Every name by input and name, with its place in unknown_ (SIZE_MAX past
  // the listed ones).
  std::unordered_map<Name, std::size_t, NameHash> unknown_at_;
  std::size_t taken_[kPartCount] = {0, 0, 0, 0, 0};
  Pointer at_;
  TextArena texts_;  // what the readers copy, given back after each element
  mutable bool complete_ = true;
};

Text s_lint_json;

}  // namespace

const char* lint_json(const char* inputs) {
  Linter linter;
  linter.lint(inputs);
  Text doc = linter.write();
  if (!doc) return nullptr;
  s_lint_json = std::move(doc);
  return s_lint_json.get();
}

void release_lint_document() noexcept { s_lint_json.reset(); }

}  // namespace kavo
