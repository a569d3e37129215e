// Watch join, resume decision and next-episode link.
//
// Each watch entry is joined to a catalogue item; every episode is linked to
// the next episode of its show; every item then takes the one entry that
// describes it (server progress before the player's own, the latest of each,
// the earliest on equal times) and turns it into a resume decision. The links
// come first because a decision can depend on them: an item watched up to
// its next-episode proposal can count as finished, and without a next
// episode there may be no proposal.
//
// The matching is defined as "first in index order" over the whole catalogue
// or watch list. It is done through tables built once per rebuild that keep,
// for every key, the lowest index carrying it, which gives the same answer as
// the scans without their quadratic cost.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "frame/json_lookup.h"
#include "rows/autoplay.h"
#include "rows/rows.h"

namespace kavo {

namespace {

// An episode position: IMDb group (-1: no IMDb id), season, episode and,
// for the table that needs it, the first source's address (none when
// unused) with its hash. The group stands for the IMDb id: equal groups,
// equal ids.
struct EpKey {
  int32_t group;
  int32_t season;
  int64_t episode;
  const char* addr;
  uint64_t addr_h;
};

uint64_t key_hash(const EpKey& k) {
  uint64_t h = (static_cast<uint64_t>(static_cast<uint32_t>(k.group)) + 1) * 0x9E3779B97F4A7C15ull;
  h = (h ^ static_cast<uint32_t>(k.season)) * 0x9E3779B97F4A7C15ull;
  h = (h ^ static_cast<uint64_t>(k.episode)) * 0x100000001B3ull;
  h = (h ^ k.addr_h) * 0x9E3779B97F4A7C15ull;
  return h ^ (h >> 29);
}

// The source address of an item: its first source's url, else that source's
// uri; none without sources.
const char* source_address(const Item& item) {
  if (item.sources.empty()) return nullptr;
  const Source& s = item.sources.front();
  return s.url ? s.url.get() : s.uri.get();
}

// Whether item `index` is a numbered episode, by the numbers kept for it.
bool numbered_at(std::size_t index) { return s_model.derived.episode_numbers[index].season > 0; }

// Item `index`'s position, without an address.
EpKey position_of(std::size_t index) {
  const Derived& d = s_model.derived;
  const EpisodeNumber n = d.episode_numbers[index];
  return EpKey{d.imdb_groups[index], n.season, n.episode, nullptr, id_hash(nullptr)};
}

// The same with the address `addr`.
EpKey addressed(EpKey k, const char* addr) {
  k.addr = addr;
  k.addr_h = id_hash(addr);
  return k;
}

// A slot's hash bits keep 31 bits of the key's hash; the top bit marks, in
// the table without addresses, a position where more than one item stands.
constexpr uint32_t kCrowded = 0x80000000u;
uint32_t slot_hash(uint64_t h) { return static_cast<uint32_t>(h >> 33); }

// Open-addressing table from an episode key to the lowest catalogue index
// inserted under it, over slots kept in the derived state. Keys are not
// stored: a slot holds the item index and the key's hash, and the key itself
// is read back only when the hashes agree: from the episode numbers and the
// IMDb groups, and the address from the item.
class FirstIndex {
 public:
  // `with_addr`: whether the key includes the source address.
  FirstIndex(std::vector<EpisodeSlot>& slots, bool with_addr) : slots_(slots), with_addr_(with_addr) {}

  // Empty, with room for `count` keys at half load.
  void reserve(std::size_t count) { slots_.assign(capacity_for(count), EpisodeSlot{-1, 0}); }

  // Room for `count` keys at half load, keeping the keys filed (one item
  // per key, so the order of filing them again does not matter).
  void grow(std::size_t count) {
    std::vector<EpisodeSlot> old(capacity_for(count), EpisodeSlot{-1, 0});
    old.swap(slots_);
    for (const EpisodeSlot& s : old) {
      if (s.index < 0) continue;
      const std::size_t i = static_cast<std::size_t>(s.index);
      const EpKey k = with_addr_ ? addressed(position_of(i), source_address(s_items[i])) : position_of(i);
      slot(k, key_hash(k)) = s;
    }
  }

  bool has_room_for(std::size_t count) const { return 2 * count <= slots_.size(); }

  // The slot holding key `k` (of hash `h`), else the free slot where it
  // would go. Not for an empty table.
  EpisodeSlot& slot(const EpKey& k, uint64_t h) const {
    const std::size_t mask = slots_.size() - 1;
    const uint32_t tag = slot_hash(h);
    std::size_t at = h & mask;
    while (slots_[at].index >= 0) {
      if ((slots_[at].hash & ~kCrowded) == tag && holds(slots_[at].index, k)) break;
      at = (at + 1) & mask;
    }
    return slots_[at];
  }

  // Files item `index` under its key `k` (of hash `h`) unless the key is
  // there already (a lower index wins when items are filed in index order);
  // returns the key's slot. Not for an empty table.
  EpisodeSlot& insert(int32_t index, const EpKey& k, uint64_t h) {
    EpisodeSlot& s = slot(k, h);
    if (s.index < 0) s = EpisodeSlot{index, slot_hash(h)};
    return s;
  }

  // Has the slot where a search for a key of hash `h` starts fetched into
  // the cache.
  void prefetch_hashed(uint64_t h) const {
    if (slots_.empty()) return;
    __builtin_prefetch(&slots_[h & (slots_.size() - 1)]);
    // Without this, GCC drops the prefetch from the scans that inline it.
    asm volatile("");
  }

  // Once that slot has come: has the numbers of the item in it fetched, which
  // a search that meets it compares.
  void prefetch_key(uint64_t h) const {
    if (slots_.empty()) return;
    const int32_t index = slots_[h & (slots_.size() - 1)].index;
    if (index < 0) return;
    __builtin_prefetch(&s_model.derived.imdb_groups[static_cast<std::size_t>(index)]);
    __builtin_prefetch(&s_model.derived.episode_numbers[static_cast<std::size_t>(index)]);
  }

  int32_t find(const EpKey& k) const { return find_hashed(k, key_hash(k)); }
  int32_t find_hashed(const EpKey& k, uint64_t h) const { return slots_.empty() ? -1 : slot(k, h).index; }

 private:
  static std::size_t capacity_for(std::size_t count) {
    std::size_t cap = 16;
    while (cap < count * 2) cap *= 2;
    return cap;
  }

  // Whether item `index` stands at key `k`.
  bool holds(int32_t index, const EpKey& k) const {
    const Derived& d = s_model.derived;
    const std::size_t i = static_cast<std::size_t>(index);
    const EpisodeNumber n = d.episode_numbers[i];
    if (d.imdb_groups[i] != k.group || n.season != k.season || n.episode != k.episode) return false;
    return !with_addr_ || same_text(source_address(s_items[i]), k.addr);
  }

  std::vector<EpisodeSlot>& slots_;
  bool with_addr_;
};

// The position rule: action, position and clamped flag from a position within
// a known duration `d` (> 0). `proposal`, when not NULL, is the time of the
// item's next-item proposal, from which on the item counts as finished.
void position_rule(const ResumeSettings& rs, double d, double pos, const double* proposal, ResumeState* out) {
  out->clamped = 0;
  if (pos > d) {
    pos = d - 1.0;
    if (pos < 0.0) pos = 0.0;
    out->clamped = 1;
  }
  const bool finished = d - pos < 5.0 || (rs.finished_fraction > 0.0 && pos > rs.finished_fraction * d) ||
                        (proposal != nullptr && pos >= *proposal);
  if (finished) {
    out->action = kFinished;
    out->position_s = 0.0;
  } else if (pos > rs.resume_min_s && pos > rs.resume_min_fraction * d) {
    // Too short to be worth resuming: what would resume counts as watched.
    const bool short_item = rs.short_item_s > 0.0 && d < rs.short_item_s;
    out->action = short_item ? kFinished : kResume;
    out->position_s = short_item ? 0.0 : pos;
  } else {
    out->action = kStart;
    out->position_s = 0.0;
  }
}

// For every numbered episode, an item of the same show (the same IMDb id, or
// both without one) at the smallest (season, episode) after its own; -1 when
// there is none. With the episodes sorted by show and position, that is the
// next change of position within the show.
std::vector<int32_t> later_episodes() {
  struct Position {
    int32_t show, season, episode, index;
    bool operator<(const Position& o) const {
      if (show != o.show) return show < o.show;
      if (season != o.season) return season < o.season;
      if (episode != o.episode) return episode < o.episode;
      return index < o.index;
    }
  };
  const Derived& d = s_model.derived;
  std::vector<Position> order;
  for (int32_t i = 0; i < n_items(); ++i) {
    const EpisodeNumber n = d.episode_numbers[static_cast<std::size_t>(i)];
    if (n.season > 0) order.push_back(Position{d.imdb_groups[static_cast<std::size_t>(i)], n.season, n.episode, i});
  }
  std::sort(order.begin(), order.end());
  std::vector<int32_t> later(static_cast<std::size_t>(n_items()), -1);
  int32_t change = -1;
  for (std::size_t p = order.size(); p-- > 0;) {
    const Position& a = order[p];
    if (p + 1 < order.size()) {
      const Position& b = order[p + 1];
      if (b.show != a.show) {
        change = -1;
      } else if (b.season != a.season || b.episode != a.episode) {
        change = b.index;
      }
    }
    later[static_cast<std::size_t>(a.index)] = change;
  }
  return later;
}

}  // namespace

ResumeState decide_resume(const Item& item, const WatchRec* entry) {
  ResumeState r;
  if (entry == nullptr) return r;
  const ResumeSettings& rs = s_settings.resume;
  double base = 0.0;
  const bool has_base = base_duration(item, &base);
  double d = has_base ? base : 0.0;
  if (!(d > 0.0)) d = entry->duration_s > 0.0 ? entry->duration_s : 0.0;
  // The proposal comes from the item's own duration, never the entry's.
  double proposal = 0.0;
  const bool has_proposal = rs.finished_at_proposal != 0 && has_base && proposal_time(base, &item, &proposal);
  const bool has_f = entry->fraction >= 0.0;  // false for NaN
  const double f = entry->fraction;
  const double p = entry->position_s >= 0.0 ? entry->position_s : 0.0;

  if (entry->finished == 1) {
    r.action = kFinished;
    r.fraction = 1.0;
  } else if (rs.remember_last_position == 0 || (item.is_audio_only != 0 && rs.remember_audio == 0) ||
             item.is_cue_track != 0) {
    // start over: the defaults
  } else if (has_f && d > 30.0 && f > 1.0) {
    r.action = kFinished;
    r.fraction = 1.0;
    r.clamped = 1;
  } else if (has_f && d > 30.0) {
    position_rule(rs, d, d * f, has_proposal ? &proposal : nullptr, &r);
    r.fraction = f;
  } else if (d > 0.0) {
    position_rule(rs, d, p, has_proposal ? &proposal : nullptr, &r);
  } else if (p > rs.resume_min_s) {
    r.action = kResume;
    r.position_s = p;
  }
  return r;
}

namespace {

// Files item `index`, at a position where more than one item stands, in the
// table with addresses, when it has an address.
void file_address(FirstIndex& by_episode_addr, int32_t index) {
  Derived& d = s_model.derived;
  const std::size_t i = static_cast<std::size_t>(index);
  const char* addr = source_address(s_items[i]);
  if (addr == nullptr) return;
  if (!by_episode_addr.has_room_for(d.addressed_filed + 1)) by_episode_addr.grow(2 * (d.addressed_filed + 1));
  const EpKey k = addressed(position_of(i), addr);
  by_episode_addr.insert(index, k, key_hash(k));
  ++d.addressed_filed;
}

// The episode positions of the catalogue, into the derived state: every
// item's episode numbers, the first item at each (IMDb id, season, episode)
// and, where more than one item stands at a position, the first at it with
// a given source address. Where an item stands alone, it is the next
// episode of every item before it whatever their addresses: only the items
// of crowded positions have their addresses read.
void make_episode_tables() {
  Derived& d = s_model.derived;
  const std::size_t ni = static_cast<std::size_t>(n_items());
  const uint64_t no_text = id_hash(nullptr);
  d.by_episode.clear();
  d.by_episode_addr.clear();
  d.episodes_filed = 0;
  d.addressed_filed = 0;
  // The IMDb groups come from the start of the rebuild, unless a step runs
  // alone.
  if (d.imdb_groups.size() != ni) index_imdb_ids(0);
  d.episode_numbers.resize(ni);
  d.episode_alone.assign(ni, 0);
  // The numbered episodes, with the hashes of their keys.
  std::vector<int32_t> episodes;
  std::vector<uint64_t> episode_h;
  for (std::size_t i = 0; i < ni; ++i) {
    // A stride of whole records outruns the hardware's guesses: the numbers
    // of the record a few ahead are asked for.
    if (i + 2 * kTextAhead < ni) __builtin_prefetch(&s_items[i + 2 * kTextAhead].season);
    const Item& it = s_items[i];
    if (it.season > 0 && it.episode > 0) {
      d.episode_numbers[i] = EpisodeNumber{it.season, it.episode};
      episodes.push_back(static_cast<int32_t>(i));
      episode_h.push_back(key_hash(EpKey{d.imdb_groups[i], it.season, it.episode, nullptr, no_text}));
    } else {
      d.episode_numbers[i] = EpisodeNumber{0, 0};
    }
  }
  const std::size_t numbered = episodes.size();
  if (numbered == 0) return;
  FirstIndex by_episode(d.by_episode, false);
  by_episode.reserve(numbered);
  // The items of the crowded positions, the first of each when another
  // comes.
  std::vector<int32_t> crowded;
  // The slots lie all over the table: asked for a few episodes ahead.
  for (std::size_t e = 0; e < numbered; ++e) {
    if (const std::size_t ahead = e + kTextAhead; ahead < numbered) by_episode.prefetch_hashed(episode_h[ahead]);
    const int32_t i = episodes[e];
    EpisodeSlot& at = by_episode.insert(i, position_of(static_cast<std::size_t>(i)), episode_h[e]);
    if (at.index == i) {
      d.episode_alone[static_cast<std::size_t>(i)] = 1;
      continue;
    }
    if ((at.hash & kCrowded) == 0) {
      at.hash |= kCrowded;
      crowded.push_back(at.index);
      d.episode_alone[static_cast<std::size_t>(at.index)] = 0;
    }
    crowded.push_back(i);
  }
  d.episodes_filed = numbered;
  if (crowded.empty()) return;
  // In index order, so that the first at each address wins.
  std::sort(crowded.begin(), crowded.end());
  FirstIndex by_episode_addr(d.by_episode_addr, true);
  by_episode_addr.reserve(crowded.size());
  for (int32_t i : crowded) file_address(by_episode_addr, i);
}

// The item a watch entry names by its item id (`h`: Ht::hash of it); -1
// for none.
int32_t item_by_id(const WatchRec& w, uint32_t h) {
  int32_t index = -1;
  if (w.item_id && s_by_id.get_hashed(w.item_id.get(), h, &index) == 0 && index >= 0) return index;
  return -1;
}

// The IMDb group of a watch entry's IMDb id (`h`: Ht::hash of it): the
// first item with that id; -1 when no item has it or the entry has none.
int32_t entry_group(const WatchRec& w, uint32_t h) {
  int32_t group = -1;
  if (!w.imdb_id || s_by_imdb.get_hashed(w.imdb_id.get(), h, &group) != 0 || group < 0) return -1;
  return group;
}

// The item a watch entry found by no item id describes, from its IMDb group
// (entry_group): by season and episode, else the group's first item; -1
// for none.
int32_t item_by_group(const WatchRec& w, int32_t group) {
  if (group < 0) return -1;
  if (w.season > 0 && w.episode > 0) {
    const FirstIndex by_episode(s_model.derived.by_episode, false);
    const int32_t index = by_episode.find(EpKey{group, w.season, w.episode, nullptr, id_hash(nullptr)});
    if (index >= 0) return index;
  }
  return group;
}

// The item a watch entry describes: by item id, else by IMDb id with season
// and episode, else by IMDb id alone; -1 for none.
int32_t joined_item(const WatchRec& w) {
  const int32_t index = w.item_id ? item_by_id(w, Ht::hash(w.item_id.get())) : -1;
  return index >= 0 ? index : item_by_group(w, w.imdb_id ? entry_group(w, Ht::hash(w.imdb_id.get())) : -1);
}

// Item `ui`'s next episode at position `next`: the first item there whose
// first source has the same address as its own, else the first item there;
// -1 for none. Only at a crowded position can the addresses choose.
int32_t next_at(std::size_t ui, const EpKey& next, uint64_t next_h) {
  const FirstIndex by_episode(s_model.derived.by_episode, false);
  if (s_model.derived.by_episode.empty()) return -1;
  const EpisodeSlot& first = by_episode.slot(next, next_h);
  if (first.index < 0 || (first.hash & kCrowded) == 0) return first.index;
  if (const char* own = source_address(s_items[ui])) {
    const FirstIndex by_episode_addr(s_model.derived.by_episode_addr, true);
    const int32_t same = by_episode_addr.find(addressed(next, own));
    if (same >= 0) return same;
  }
  return first.index;
}

// The position whose first items are item `ui`'s next episode: the next
// episode of its season or, with `later` (later_episodes; empty when not
// following), that of the item there; false when there is none.
bool position_after(std::size_t ui, const std::vector<int32_t>& later, EpKey* next) {
  if (!numbered_at(ui)) return false;
  *next = position_of(ui);
  if (later.empty()) {
    next->episode += 1;
    return true;
  }
  if (later[ui] < 0) return false;
  const EpisodeNumber at = s_model.derived.episode_numbers[static_cast<std::size_t>(later[ui])];
  next->season = at.season;
  next->episode = at.episode;
  return true;
}

// Whether item `ui`'s next episode is the item after it, as the whole join
// knows it when not following (`later` empty): the next position of its
// season, where that item stands alone. The episodes of a show mostly come
// in order, and this spares their searches of the table.
bool next_is_after(std::size_t ui, const std::vector<int32_t>& later) {
  const Derived& d = s_model.derived;
  const std::size_t after = ui + 1;
  if (!later.empty() || after >= d.episode_alone.size() || d.episode_alone[after] == 0 || !numbered_at(ui)) {
    return false;
  }
  const EpisodeNumber n = d.episode_numbers[ui];
  const EpisodeNumber m = d.episode_numbers[after];
  return m.season == n.season && static_cast<int64_t>(m.episode) == static_cast<int64_t>(n.episode) + 1 &&
         d.imdb_groups[after] == d.imdb_groups[ui];
}

// Item `ui`'s next episode (-1: none), `later` as above.
int32_t next_episode(std::size_t ui, const std::vector<int32_t>& later) {
  EpKey next{};
  return position_after(ui, later, &next) ? next_at(ui, next, key_hash(next)) : -1;
}

// The searches of the next episodes wait on the table slots: a scan asks
// for those of the item a few ahead.
void prefetch_next(std::size_t ahead, const std::vector<int32_t>& later) {
  EpKey next{};
  if (ahead < s_items.size() && position_after(ahead, later, &next)) {
    FirstIndex(s_model.derived.by_episode, false).prefetch_hashed(key_hash(next));
  }
}

// Every item's next episode, `later` as above.
void link_next_episodes(const std::vector<int32_t>& later) {
  for (std::size_t ui = 0; ui < s_items.size(); ++ui) {
    prefetch_next(ui + kTextAhead, later);
    s_items[ui].next_index = next_episode(ui, later);
  }
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Takes the resume state `r` into the item, marking the item when its cells
// will read differently from what `before` gives.
void take_state(Item& it, int32_t index, const ResumeState& r, const ResumeState& before) {
  if (before.action != r.action || !same_bits(before.position_s, r.position_s) ||
      !same_bits(before.fraction, r.fraction)) {
    mark_item_changed(index);
  }
  it.resume_action = r.action;
  it.resume_position_s = r.position_s;
  it.progress_fraction = r.fraction;
  it.resume_clamped = r.clamped;
}

// The item's resume state as it stands.
ResumeState state_of(const Item& it) {
  ResumeState r;
  r.action = it.resume_action;
  r.position_s = it.resume_position_s;
  r.fraction = it.progress_fraction;
  r.clamped = it.resume_clamped;
  return r;
}

void take_state(int32_t index, const ResumeState& r) {
  Item& it = s_items[static_cast<std::size_t>(index)];
  take_state(it, index, r, state_of(it));
}

bool local_entry(const WatchRec& w) { return w.source && ci_cmp(w.source.get(), "local_store") == 0; }

// Whether entry `k` replaces entry `best` (none: -1) as the one of its group:
// only a strictly later time does, so the earliest stays among equal times.
bool later_entry(int32_t k, int32_t best) {
  return best < 0 || s_watch[static_cast<std::size_t>(k)].updated_ms > s_watch[static_cast<std::size_t>(best)].updated_ms;
}

// Step B: the best entry of each group for every item, in one walk of the
// watch list, and the resume decision of every item from it. With `later`
// (see next_episode), every item's next episode is linked on the way, before
// its decision; without, the items keep theirs. `fresh`: the items' states
// count as none before (their cells are marked against that).
void choose_entries(const std::vector<int32_t>* later, bool fresh) {
  Derived& d = s_model.derived;
  const int32_t ni = n_items();
  const int32_t nw = n_watch();
  const ResumeSettings& rs = s_settings.resume;
  d.best_server.assign(static_cast<std::size_t>(ni), -1);
  d.best_local.assign(static_cast<std::size_t>(ni), -1);
  d.watched.clear();
  for (int32_t k = 0; k < nw; ++k) {
    // The choices of the item of the entry a few ahead lie anywhere, and so
    // does the text telling its group.
    if (const std::size_t ahead = static_cast<std::size_t>(k) + kTextAhead; ahead < s_watch.size()) {
      const WatchRec& a = s_watch[ahead];
      prefetch_text(a.source);
      if (valid_item_index(a.item_index)) {
        __builtin_prefetch(&d.best_server[static_cast<std::size_t>(a.item_index)]);
        __builtin_prefetch(&d.best_local[static_cast<std::size_t>(a.item_index)]);
      }
    }
    const WatchRec& w = s_watch[static_cast<std::size_t>(k)];
    if (!valid_item_index(w.item_index)) continue;
    int32_t& best = (local_entry(w) ? d.best_local : d.best_server)[static_cast<std::size_t>(w.item_index)];
    if (later_entry(k, best)) best = k;
  }
  // The latest entry of each item, of either group, that finishes it: a
  // replay that has only just begun need not undo that.
  std::vector<int32_t> last_finished;
  if (rs.keep_finished_on_replay != 0) {
    last_finished.assign(static_cast<std::size_t>(ni), -1);
    for (int32_t k = 0; k < nw; ++k) {
      const WatchRec& w = s_watch[static_cast<std::size_t>(k)];
      if (!valid_item_index(w.item_index)) continue;
      int32_t& best = last_finished[static_cast<std::size_t>(w.item_index)];
      if (best >= 0 && !(w.updated_ms > s_watch[static_cast<std::size_t>(best)].updated_ms)) continue;
      if (decide_resume(s_items[static_cast<std::size_t>(w.item_index)], &w).action == kFinished) best = k;
    }
  }

  const ResumeState none;
  for (int32_t i = 0; i < ni; ++i) {
    Item& it = s_items[static_cast<std::size_t>(i)];
    const std::size_t ui = static_cast<std::size_t>(i);
    // The fields written below, of the record a few ahead.
    if (ui + 2 * kTextAhead < s_items.size()) {
      const Item& ahead = s_items[ui + 2 * kTextAhead];
      __builtin_prefetch(&ahead.resume_action, 1);
      __builtin_prefetch(&ahead.catalogue_index, 1);
    }
    // A watched item's decision reads its entry, anywhere in the watch
    // list, and more of the item.
    if (const std::size_t ahead = ui + kTextAhead; ahead < s_items.size()) {
      const int32_t k = d.best_server[ahead] >= 0 ? d.best_server[ahead] : d.best_local[ahead];
      if (k >= 0) {
        const WatchRec& w = s_watch[static_cast<std::size_t>(k)];
        __builtin_prefetch(&w.position_s);
        __builtin_prefetch(&w.finished);
        __builtin_prefetch(&s_items[ahead].runtime_min);
        __builtin_prefetch(&s_items[ahead].duration_s);
        __builtin_prefetch(&s_items[ahead].is_audio_only);
      }
    }
    if (later != nullptr) {
      if (!next_is_after(ui + kTextAhead, *later)) prefetch_next(ui + kTextAhead, *later);
      it.next_index = next_is_after(ui, *later) ? static_cast<int32_t>(ui + 1) : next_episode(ui, *later);
    }
    it.watch_index = d.best_server[ui] >= 0 ? d.best_server[ui] : d.best_local[ui];
    const WatchRec* entry = it.watch_index >= 0 ? &s_watch[static_cast<std::size_t>(it.watch_index)] : nullptr;
    ResumeState r = decide_resume(it, entry);
    if (r.action == kStart && entry != nullptr && !last_finished.empty() && last_finished[ui] >= 0) {
      it.watch_index = last_finished[ui];
      r = decide_resume(it, &s_watch[static_cast<std::size_t>(it.watch_index)]);
    }
    take_state(it, i, r, fresh ? none : state_of(it));
    if (it.watch_index >= 0) d.watched.push_back(i);
  }
}

// Step A: joins every entry to an item: by item id, else through the IMDb
// group of its IMDb id. Each lookup waits on memory, so the slots are asked
// for a few entries ahead: those of the item ids and IMDb ids in a first
// pass that finds the groups, those of the episode table in a second. The
// memory is had before any entry changes.
void join_entries() {
  const std::size_t nw = s_watch.size();
  std::vector<int32_t> groups(nw, -1);
  // The hashes of the ids a few entries ahead, their slots asked for when
  // made and the keys in them when the slots have come.
  std::vector<uint32_t> id_h(nw), imdb_h(nw);
  const auto ask_slots = [&](std::size_t k) {
    const WatchRec& w = s_watch[k];
    if (w.item_id) s_by_id.prefetch(id_h[k] = Ht::hash(w.item_id.get()));
    if (w.imdb_id) s_by_imdb.prefetch(imdb_h[k] = Ht::hash(w.imdb_id.get()));
  };
  for (std::size_t k = 0; k < nw && k < 2 * kTextAhead; ++k) ask_slots(k);
  for (std::size_t k = 0; k < nw; ++k) {
    if (k + 2 * kTextAhead < nw) ask_slots(k + 2 * kTextAhead);
    if (k + kTextAhead < nw) {
      const WatchRec& ahead = s_watch[k + kTextAhead];
      if (ahead.item_id) s_by_id.prefetch_key(id_h[k + kTextAhead]);
      if (ahead.imdb_id) s_by_imdb.prefetch_key(imdb_h[k + kTextAhead]);
    }
    WatchRec& w = s_watch[k];
    w.item_index = item_by_id(w, id_h[k]);
    if (w.item_index < 0) groups[k] = entry_group(w, imdb_h[k]);
  }
  // The same for the episode table: its slots, then the numbers of the items
  // in them.
  const FirstIndex by_episode(s_model.derived.by_episode, false);
  std::vector<uint64_t> episode_h(nw);
  const auto ask_episode = [&](std::size_t k, bool key) {
    const WatchRec& w = s_watch[k];
    if (groups[k] < 0 || !(w.season > 0 && w.episode > 0)) return;
    if (key) {
      by_episode.prefetch_key(episode_h[k]);
    } else {
      episode_h[k] = key_hash(EpKey{groups[k], w.season, w.episode, nullptr, id_hash(nullptr)});
      by_episode.prefetch_hashed(episode_h[k]);
    }
  };
  for (std::size_t k = 0; k < nw && k < 2 * kTextAhead; ++k) ask_episode(k, false);
  for (std::size_t k = 0; k < nw; ++k) {
    if (k + 2 * kTextAhead < nw) ask_episode(k + 2 * kTextAhead, false);
    if (k + kTextAhead < nw) ask_episode(k + kTextAhead, true);
    WatchRec& w = s_watch[k];
    if (w.item_index < 0) w.item_index = item_by_group(w, groups[k]);
  }
}

// After a whole join failed for want of memory: the items read as without
// progress instead of keeping links into a watch table that has changed
// since. The entries are joined or not, the links made or not as far as the
// join came (`joined`; `later`, see next_episode, once the links could be
// made). Needs no memory.
void forget_progress(bool joined, const std::vector<int32_t>* later) noexcept {
  if (!joined) {
    for (WatchRec& w : s_watch) w.item_index = -1;
  }
  const ResumeState none;
  for (std::size_t ui = 0; ui < s_items.size(); ++ui) {
    Item& it = s_items[ui];
    it.watch_index = -1;
    it.next_index = later != nullptr ? next_episode(ui, *later) : -1;
    it.resume_action = none.action;
    it.resume_position_s = none.position_s;
    it.progress_fraction = none.fraction;
    it.resume_clamped = none.clamped;
  }
  s_model.derived.watched.clear();
}

}  // namespace

void join_watch() {
  // No pass clears the links of the last join first: the choice of entries
  // writes every item's link, entry and state. When memory runs out before,
  // forget_progress clears them.
  bool joined = false, linked = false;
  std::vector<int32_t> later;
  try {
    s_model.derived.watched.clear();
    make_episode_tables();
    join_entries();
    joined = true;
    // Every next episode before any decision: a decision may depend on it
    // (no proposal without a next episode).
    if (s_settings.resume.next_episode_following != 0) later = later_episodes();
    linked = true;
    if (s_settings.resume.keep_finished_on_replay != 0) {
      // The walk that finds the finishing entries decides before the walk
      // over the items, and reads the links.
      link_next_episodes(later);
      choose_entries(nullptr, true);
    } else {
      choose_entries(&later, true);
    }
  } catch (...) {
    forget_progress(joined, linked ? &later : nullptr);
    throw;
  }
}

namespace {

// Whether entry `k` goes before entry `best` (none: -1) as the one of their
// group: the choice of the walk in choose_entries, the earliest of the
// latest.
bool chosen_over(int32_t k, int32_t best) {
  if (best < 0) return true;
  const int64_t tk = s_watch[static_cast<std::size_t>(k)].updated_ms;
  const int64_t tb = s_watch[static_cast<std::size_t>(best)].updated_ms;
  return tk > tb || (tk == tb && k < best);
}

// The item's entry and resume decision again from its chosen entries.
void decide_again(int32_t index) {
  Derived& d = s_model.derived;
  Item& it = s_items[static_cast<std::size_t>(index)];
  const std::size_t ui = static_cast<std::size_t>(index);
  const bool was_watched = it.watch_index >= 0;
  it.watch_index = d.best_server[ui] >= 0 ? d.best_server[ui] : d.best_local[ui];
  const WatchRec* entry = it.watch_index >= 0 ? &s_watch[static_cast<std::size_t>(it.watch_index)] : nullptr;
  take_state(index, decide_resume(it, entry));
  const bool watched = it.watch_index >= 0;
  if (watched == was_watched) return;
  const auto at = std::lower_bound(d.watched.begin(), d.watched.end(), index);
  if (watched) {
    d.watched.insert(at, index);
  } else if (at != d.watched.end() && *at == index) {
    d.watched.erase(at);
  }
}

}  // namespace

namespace {

// After `count` entries were put in at `from`, the entries that were there
// and after stand `count` places further: the choices of the last join that
// name them are moved with them. From the last entry down, so that no place
// is moved twice.
void move_choices_up(int32_t from, int32_t count) {
  Derived& d = s_model.derived;
  for (int32_t k = n_watch() - 1; k >= from + count; --k) {
    const int32_t item = s_watch[static_cast<std::size_t>(k)].item_index;
    if (!valid_item_index(item)) continue;
    const std::size_t ui = static_cast<std::size_t>(item);
    for (std::vector<int32_t>* group : {&d.best_server, &d.best_local}) {
      if ((*group)[ui] == k - count) (*group)[ui] = k;
    }
    Item& it = s_items[ui];
    if (it.watch_index == k - count) it.watch_index = k;
  }
}

}  // namespace

bool rejoin_entries(const std::vector<ReplacedEntry>& replaced, const Appended& added,
                    std::vector<int32_t>* decided) {
  const int32_t appended_from = added.from;
  const int32_t appended_count = added.count;
  Derived& d = s_model.derived;
  if (s_settings.resume.keep_finished_on_replay != 0) return false;
  if (d.best_server.size() != static_cast<std::size_t>(n_items()) ||
      d.best_local.size() != static_cast<std::size_t>(n_items())) {
    return false;
  }
  const bool appended = appended_count > 0;
  if (appended && (appended_from < 0 || appended_from > n_watch() - appended_count)) return false;
  // An entry appended and then replaced by the same update is new all the
  // same: it is joined with the appended ones.
  const auto is_appended = [&](int32_t pos) {
    return appended && pos >= appended_from && pos < appended_from + appended_count;
  };
  // Everything that could fail first: the rest only writes in place.
  const std::size_t changed = replaced.size() + static_cast<std::size_t>(appended_count);
  d.watched.reserve(d.watched.size() + 2 * changed);
  decided->clear();
  decided->reserve(2 * changed);
  for (const ReplacedEntry& r : replaced) {
    if (r.pos < 0 || r.pos >= n_watch()) return false;
    if (is_appended(r.pos)) continue;
    const WatchRec& w = s_watch[static_cast<std::size_t>(r.pos)];
    const int32_t item = joined_item(w);
    const bool local = local_entry(w);
    // The entry chosen for its item before: still chosen when it stays with
    // the item and its group and its time did not go back; else only the
    // whole walk can tell.
    if (valid_item_index(r.item_index)) {
      const std::vector<int32_t>& group = r.local ? d.best_local : d.best_server;
      if (group[static_cast<std::size_t>(r.item_index)] == r.pos &&
          !(item == r.item_index && local == r.local && w.updated_ms >= r.updated_ms)) {
        return false;
      }
    }
  }
  if (appended) move_choices_up(appended_from, appended_count);
  // A new entry joins its item and is chosen when it is the later one; an
  // entry replaced in its place also leaves the item it had.
  const auto take_in = [&](int32_t pos, int32_t item_before) {
    WatchRec& w = s_watch[static_cast<std::size_t>(pos)];
    w.item_index = joined_item(w);
    if (valid_item_index(w.item_index)) {
      int32_t& best = (local_entry(w) ? d.best_local : d.best_server)[static_cast<std::size_t>(w.item_index)];
      if (chosen_over(pos, best)) best = pos;
      decide_again(w.item_index);
      decided->push_back(w.item_index);
    }
    if (valid_item_index(item_before) && item_before != w.item_index) {
      decide_again(item_before);
      decided->push_back(item_before);
    }
  };
  for (const ReplacedEntry& r : replaced) {
    if (!is_appended(r.pos)) take_in(r.pos, r.item_index);
  }
  for (int32_t k = 0; k < appended_count; ++k) take_in(appended_from + k, -1);
  return true;
}

namespace {

// Files the numbered episodes from `first` on in the episode tables; false
// when the table of positions is too full for them (nothing filed then).
// Every position that follows one already filed and may now give the items
// there a different next episode goes into `opened`: one new to the table,
// or one where the new item is the first with its address.
bool file_new_episodes(int32_t first, std::vector<EpKey>* opened) {
  Derived& d = s_model.derived;
  const std::size_t ni = static_cast<std::size_t>(n_items());
  if (d.episode_numbers.size() != static_cast<std::size_t>(first)) return false;
  d.episode_numbers.resize(ni);
  std::size_t numbered = 0;
  for (std::size_t i = static_cast<std::size_t>(first); i < ni; ++i) {
    const Item& it = s_items[i];
    const bool episode = it.season > 0 && it.episode > 0;
    d.episode_numbers[i] = episode ? EpisodeNumber{it.season, it.episode} : EpisodeNumber{0, 0};
    numbered += episode ? 1 : 0;
  }
  if (numbered > 0 && 2 * (d.episodes_filed + numbered) > d.by_episode.size()) return false;
  if (d.imdb_groups.size() != ni) index_imdb_ids(first);
  FirstIndex by_episode(d.by_episode, false);
  FirstIndex by_episode_addr(d.by_episode_addr, true);
  for (std::size_t ui = static_cast<std::size_t>(first); ui < ni; ++ui) {
    if (!numbered_at(ui)) continue;
    const int32_t i = static_cast<int32_t>(ui);
    const EpKey at = position_of(ui);
    EpKey before = at;
    before.episode = at.episode - 1;
    EpisodeSlot& slot = by_episode.insert(i, at, key_hash(at));
    if (slot.index == i) {
      if (by_episode.find(before) >= 0) opened->push_back(before);
      continue;
    }
    // From now on the addresses tell the items at this position apart.
    if ((slot.hash & kCrowded) == 0) {
      slot.hash |= kCrowded;
      file_address(by_episode_addr, slot.index);
    }
    const char* addr = source_address(s_items[ui]);
    if (addr == nullptr) continue;
    if (by_episode_addr.find(addressed(at, addr)) < 0 && by_episode.find(before) >= 0) opened->push_back(before);
    file_address(by_episode_addr, i);
  }
  d.episodes_filed += numbered;
  return true;
}

// Marks item `index` and lists it in `relinked` when its next episode
// differs from `before`.
void note_relink(int32_t index, int32_t before, std::vector<int32_t>* relinked) {
  if (s_items[static_cast<std::size_t>(index)].next_index == before) return;
  mark_item_changed(index);
  relinked->push_back(index);
}

// Every next-episode link again, noting the items whose link changed.
void relink_next_episodes(std::vector<int32_t>* relinked) {
  std::vector<int32_t> later;
  if (s_settings.resume.next_episode_following != 0) later = later_episodes();
  for (std::size_t ui = 0; ui < s_items.size(); ++ui) {
    prefetch_next(ui + kTextAhead, later);
    const int32_t before = s_items[ui].next_index;
    s_items[ui].next_index = next_episode(ui, later);
    note_relink(static_cast<int32_t>(ui), before, relinked);
  }
}

// The links of the items before `first` that stand at one of the `opened`
// positions, again, noting those that changed. Their IMDb groups sift the
// catalogue before any item is read.
void relink_items_at(int32_t first, const std::vector<EpKey>& opened, std::vector<int32_t>* relinked) {
  Derived& d = s_model.derived;
  std::vector<int32_t> groups;
  groups.reserve(opened.size());
  for (const EpKey& k : opened) groups.push_back(k.group);
  std::sort(groups.begin(), groups.end());
  const std::vector<int32_t> no_later;
  for (std::size_t ui = 0; ui < static_cast<std::size_t>(first); ++ui) {
    if (!std::binary_search(groups.begin(), groups.end(), d.imdb_groups[ui]) || !numbered_at(ui)) continue;
    const EpKey at = position_of(ui);
    const bool at_opened = std::any_of(opened.begin(), opened.end(), [&at](const EpKey& k) {
      return k.group == at.group && k.season == at.season && k.episode == at.episode;
    });
    if (!at_opened) continue;
    Item& it = s_items[ui];
    const int32_t before = it.next_index;
    it.next_index = next_episode(ui, no_later);
    note_relink(static_cast<int32_t>(ui), before, relinked);
  }
}

// The links of the items from `first` on.
void link_new_episodes(int32_t first) {
  const std::vector<int32_t> no_later;
  for (std::size_t ui = static_cast<std::size_t>(first); ui < s_items.size(); ++ui) {
    if (numbered_at(ui)) s_items[ui].next_index = next_episode(ui, no_later);
  }
}

}  // namespace

bool join_new_items(int32_t first, std::vector<int32_t>* decided) {
  Derived& d = s_model.derived;
  const std::size_t ni = static_cast<std::size_t>(n_items());
  if (s_settings.resume.keep_finished_on_replay != 0 || d.best_server.size() != static_cast<std::size_t>(first) ||
      d.best_local.size() != static_cast<std::size_t>(first)) {
    return false;
  }
  d.best_server.resize(ni, -1);
  d.best_local.resize(ni, -1);
  for (std::size_t i = static_cast<std::size_t>(first); i < ni; ++i) {
    Item& it = s_items[i];
    const ResumeState none;
    it.watch_index = -1;
    it.next_index = -1;
    it.resume_action = none.action;
    it.resume_position_s = none.position_s;
    it.progress_fraction = none.fraction;
    it.resume_clamped = none.clamped;
  }
  // Following the next season's episodes, or with tables made again, any
  // link may change; else only those of the items at the opened positions.
  bool relink_all = s_settings.resume.next_episode_following != 0;
  std::vector<EpKey> opened;
  if (!file_new_episodes(first, &opened)) {
    make_episode_tables();
    relink_all = true;
  }
  // A decision can depend on the next episode (the proposal), and so can
  // Continue Watching (Next Up): the items whose link changed are decided
  // again.
  std::vector<int32_t> relinked;
  if (relink_all) {
    relink_next_episodes(&relinked);
  } else {
    link_new_episodes(first);
    if (!opened.empty()) relink_items_at(first, opened, &relinked);
  }
  // An entry found by its item id keeps its item (the first with that id
  // came before); any other may now find a new item, by that item's id or
  // IMDb id.
  Ht new_ids;
  if (!new_ids.reset(4 * (ni - static_cast<std::size_t>(first)) + 16)) throw std::bad_alloc();
  for (std::size_t i = static_cast<std::size_t>(first); i < ni; ++i) {
    if (s_items[i].id) new_ids.put_borrowed(s_items[i].id.get(), 0, false);
    if (s_items[i].imdb_id) new_ids.put_borrowed(s_items[i].imdb_id.get(), 0, false);
  }
  int32_t unused = 0;
  std::vector<ReplacedEntry> moved;
  for (int32_t k = 0; k < n_watch(); ++k) {
    const WatchRec& w = s_watch[static_cast<std::size_t>(k)];
    const bool may_move = (w.item_id && new_ids.get(w.item_id.get(), &unused) == 0) ||
                          (w.imdb_id && new_ids.get(w.imdb_id.get(), &unused) == 0);
    if (!may_move) continue;
    if (valid_item_index(w.item_index) && w.item_id &&
        same_text(s_items[static_cast<std::size_t>(w.item_index)].id.get(), w.item_id.get())) {
      continue;
    }
    if (joined_item(w) == w.item_index) continue;
    moved.push_back(ReplacedEntry{k, w.item_index, w.updated_ms, local_entry(w)});
  }
  if (!rejoin_entries(moved, Appended(), decided)) return false;
  decided->reserve(decided->size() + relinked.size());
  for (int32_t index : relinked) {
    if (d.best_server[static_cast<std::size_t>(index)] >= 0 || d.best_local[static_cast<std::size_t>(index)] >= 0) {
      decide_again(index);
    }
    decided->push_back(index);
  }
  return true;
}

void rejoin_watch() {
  // Every item's entry is chosen again below.
  for (WatchRec& w : s_watch) w.item_index = joined_item(w);
  choose_entries(nullptr, false);
}

}  // namespace kavo
