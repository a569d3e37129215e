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
// for the tables that need it, the first source's address (none when
// unused) with its hash, computed once per text. The group stands for the
// IMDb id: equal groups, equal ids.
struct EpKey {
  int32_t group;
  int32_t season;
  int64_t episode;
  const char* addr;
  uint64_t addr_h;
};

bool same_key(const EpKey& a, const EpKey& b) {
  return a.group == b.group && a.season == b.season && a.episode == b.episode && a.addr_h == b.addr_h &&
         same_text(a.addr, b.addr);
}

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

// Open-addressing table from an episode key to the lowest catalogue index
// inserted under it, over slots kept in the derived state. Keys are not
// stored: a slot holds the item index and the key's hash, and the key itself
// is read back from the item only when the hashes agree.
class FirstIndex {
 public:
  // `with_addr`: whether the key includes the source address.
  FirstIndex(std::vector<EpisodeSlot>& slots, bool with_addr) : slots_(slots), with_addr_(with_addr) {}

  void reserve(std::size_t count) {
    std::size_t cap = 16;
    while (cap < count * 2) cap *= 2;
    slots_.assign(cap, EpisodeSlot{-1, 0});
  }

  // Inserts item `index` unless its key is already present (lower index wins
  // when items are inserted in index order).
  void insert(int32_t index) { insert_hashed(index, hash_of(index)); }
  // The same with the hash of the item's key (hash_of) made by the caller.
  void insert_hashed(int32_t index, uint64_t h) {
    const EpKey k = key_of(index);
    const std::size_t mask = slots_.size() - 1;
    std::size_t slot = h & mask;
    while (slots_[slot].index >= 0) {
      if (slots_[slot].hash == static_cast<uint32_t>(h >> 32) && same_key(key_of(slots_[slot].index), k)) return;
      slot = (slot + 1) & mask;
    }
    slots_[slot] = EpisodeSlot{index, static_cast<uint32_t>(h >> 32)};
  }

  // Has the slot where a search for `k` starts fetched into the cache.
  void prefetch(const EpKey& k) const { prefetch_hashed(key_hash(k)); }
  void prefetch_hashed(uint64_t h) const {
    if (slots_.empty()) return;
    __builtin_prefetch(&slots_[h & (slots_.size() - 1)]);
    // Without this, GCC drops the prefetch from the scans that inline it.
    asm volatile("");
  }

  // The hash of item `index`'s key in this table.
  uint64_t hash_of(int32_t index) const { return key_hash(key_of(index)); }

  int32_t find(const EpKey& k) const {
    if (slots_.empty()) return -1;
    const uint64_t h = key_hash(k);
    const std::size_t mask = slots_.size() - 1;
    std::size_t slot = h & mask;
    while (slots_[slot].index >= 0) {
      if (slots_[slot].hash == static_cast<uint32_t>(h >> 32) && same_key(key_of(slots_[slot].index), k)) {
        return slots_[slot].index;
      }
      slot = (slot + 1) & mask;
    }
    return -1;
  }

 private:
  EpKey key_of(int32_t index) const {
    const Derived& d = s_model.derived;
    const Item& it = s_items[static_cast<std::size_t>(index)];
    const std::size_t i = static_cast<std::size_t>(index);
    return EpKey{d.imdb_groups[i], it.season, it.episode, with_addr_ ? d.addr[i] : nullptr,
                 with_addr_ ? d.addr_h[i] : id_hash(nullptr)};
  }

  std::vector<EpisodeSlot>& slots_;
  bool with_addr_;
};

bool numbered_episode(const Item& item) { return item.season > 0 && item.episode > 0; }

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
  std::vector<Position> order;
  for (int32_t i = 0; i < n_items(); ++i) {
    const Item& it = s_items[static_cast<std::size_t>(i)];
    if (numbered_episode(it)) order.push_back(Position{imdb_group(it), it.season, it.episode, i});
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

// The episode positions of the catalogue, into the derived state: the first
// item at each (IMDb id, season, episode), and the first at each of those
// with a given source address.
void make_episode_tables() {
  Derived& d = s_model.derived;
  const std::size_t ni = static_cast<std::size_t>(n_items());
  const uint64_t no_text = id_hash(nullptr);
  d.by_episode.clear();
  d.by_episode_addr.clear();
  // The IMDb groups come from the start of the rebuild, unless a step runs
  // alone.
  if (d.imdb_groups.size() != ni) index_imdb_ids(0);
  d.addr.assign(ni, nullptr);
  d.addr_h.assign(ni, no_text);
  std::size_t addressed = 0;
  // The numbered episodes, with the hashes of their keys in the two tables
  // (that of the table with the address is unused without one).
  std::vector<int32_t> episodes;
  std::vector<uint64_t> episode_h, addressed_h;
  const FirstIndex no_table(d.by_episode, false);
  const FirstIndex no_table_addr(d.by_episode_addr, true);
  for (std::size_t i = 0; i < ni; ++i) {
    // An episode's address is read through its source list, and hashed:
    // both lie all over memory, and are asked for well ahead, the list
    // first and its address once the list has come.
    if (i + 2 * kTextAhead < ni) __builtin_prefetch(s_items[i + 2 * kTextAhead].sources.data());
    if (i + kTextAhead < ni) {
      const Item& ahead = s_items[i + kTextAhead];
      if (numbered_episode(ahead)) {
        if (const char* addr = source_address(ahead)) __builtin_prefetch(addr);
      }
    }
    const Item& it = s_items[i];
    if (!numbered_episode(it)) continue;
    d.addr[i] = source_address(it);
    d.addr_h[i] = id_hash(d.addr[i]);
    const int32_t index = static_cast<int32_t>(i);
    episodes.push_back(index);
    episode_h.push_back(no_table.hash_of(index));
    addressed_h.push_back(d.addr[i] != nullptr ? no_table_addr.hash_of(index) : 0);
    if (d.addr[i] != nullptr) ++addressed;
  }
  const std::size_t numbered = episodes.size();
  d.episodes_filed = numbered;
  d.addressed_filed = addressed;
  if (numbered == 0) return;
  FirstIndex by_episode(d.by_episode, false);
  FirstIndex by_episode_addr(d.by_episode_addr, true);
  by_episode.reserve(numbered);
  by_episode_addr.reserve(addressed);
  // The slots lie all over the tables: asked for a few episodes ahead.
  for (std::size_t e = 0; e < numbered; ++e) {
    if (const std::size_t ahead = e + kTextAhead; ahead < numbered) {
      by_episode.prefetch_hashed(episode_h[ahead]);
      if (d.addr[static_cast<std::size_t>(episodes[ahead])] != nullptr) {
        by_episode_addr.prefetch_hashed(addressed_h[ahead]);
      }
    }
    const int32_t i = episodes[e];
    by_episode.insert_hashed(i, episode_h[e]);
    if (d.addr[static_cast<std::size_t>(i)] != nullptr) by_episode_addr.insert_hashed(i, addressed_h[e]);
  }
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

// The position after item `ui`'s own: the next episode of its season.
EpKey position_after(std::size_t ui) {
  const Item& it = s_items[ui];
  return EpKey{s_model.derived.imdb_groups[ui], it.season, static_cast<int64_t>(it.episode) + 1, nullptr,
               id_hash(nullptr)};
}

// Item `ui`'s next episode at position `next`: the first item there whose
// first source has the same address as its own, else the first item there;
// -1 for none.
int32_t next_at(std::size_t ui, const EpKey& next, const FirstIndex& by_episode, const FirstIndex& by_episode_addr) {
  const int32_t first = by_episode.find(next);
  if (first < 0) return -1;
  const Derived& d = s_model.derived;
  if (const char* own = d.addr[ui]) {
    const int32_t same = by_episode_addr.find(EpKey{next.group, next.season, next.episode, own, d.addr_h[ui]});
    if (same >= 0) return same;
  }
  return first;
}

// Every numbered episode's next episode.
void link_next_episodes() {
  const FirstIndex by_episode(s_model.derived.by_episode, false);
  const FirstIndex by_episode_addr(s_model.derived.by_episode_addr, true);
  std::vector<int32_t> later;
  if (s_settings.resume.next_episode_following != 0) later = later_episodes();
  const Derived& d = s_model.derived;
  for (int32_t i = 0; i < n_items(); ++i) {
    Item& it = s_items[static_cast<std::size_t>(i)];
    const std::size_t ui = static_cast<std::size_t>(i);
    // The searches below wait on memory: the table slots, the episode's own
    // address. Those of the episode a few ahead are asked for now.
    if (const std::size_t ahead = ui + kTextAhead; ahead < s_items.size() && later.empty()) {
      const Item& a = s_items[ahead];
      if (numbered_episode(a)) {
        const EpKey next = position_after(ahead);
        by_episode.prefetch(next);
        if (const char* own = d.addr[ahead]) {
          __builtin_prefetch(own);
          by_episode_addr.prefetch(EpKey{next.group, next.season, next.episode, own, d.addr_h[ahead]});
        }
      }
    }
    if (!numbered_episode(it)) continue;
    EpKey next = position_after(ui);
    if (!later.empty()) {
      if (later[ui] < 0) continue;
      const Item& at = s_items[static_cast<std::size_t>(later[ui])];
      next.season = at.season;
      next.episode = at.episode;
    }
    it.next_index = next_at(ui, next, by_episode, by_episode_addr);
  }
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Takes the resume state `r` into the item, marking the item when its cells
// will read differently.
void take_state(int32_t index, const ResumeState& r) {
  Item& it = s_items[static_cast<std::size_t>(index)];
  if (it.resume_action != r.action || !same_bits(it.resume_position_s, r.position_s) ||
      !same_bits(it.progress_fraction, r.fraction)) {
    mark_item_changed(index);
  }
  it.resume_action = r.action;
  it.resume_position_s = r.position_s;
  it.progress_fraction = r.fraction;
  it.resume_clamped = r.clamped;
}

bool local_entry(const WatchRec& w) { return w.source && ci_cmp(w.source.get(), "local_store") == 0; }

// Whether entry `k` replaces entry `best` (none: -1) as the one of its group:
// only a strictly later time does, so the earliest stays among equal times.
bool later_entry(int32_t k, int32_t best) {
  return best < 0 || s_watch[static_cast<std::size_t>(k)].updated_ms > s_watch[static_cast<std::size_t>(best)].updated_ms;
}

// Step B: the best entry of each group for every item, in one walk of the
// watch list, and the resume decision of every item from it.
void choose_entries() {
  Derived& d = s_model.derived;
  const int32_t ni = n_items();
  const int32_t nw = n_watch();
  const ResumeSettings& rs = s_settings.resume;
  d.best_server.assign(static_cast<std::size_t>(ni), -1);
  d.best_local.assign(static_cast<std::size_t>(ni), -1);
  d.watched.clear();
  for (int32_t k = 0; k < nw; ++k) {
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

  for (int32_t i = 0; i < ni; ++i) {
    Item& it = s_items[static_cast<std::size_t>(i)];
    const std::size_t ui = static_cast<std::size_t>(i);
    it.watch_index = d.best_server[ui] >= 0 ? d.best_server[ui] : d.best_local[ui];
    const WatchRec* entry = it.watch_index >= 0 ? &s_watch[static_cast<std::size_t>(it.watch_index)] : nullptr;
    ResumeState r = decide_resume(it, entry);
    if (r.action == kStart && entry != nullptr && !last_finished.empty() && last_finished[ui] >= 0) {
      it.watch_index = last_finished[ui];
      r = decide_resume(it, &s_watch[static_cast<std::size_t>(it.watch_index)]);
    }
    take_state(i, r);
    if (it.watch_index >= 0) d.watched.push_back(i);
  }
}

}  // namespace

void join_watch() {
  // Every link of the last join goes first, before anything is allocated:
  // when memory runs out below, the items read as without progress instead
  // of keeping links into a watch table that has changed since.
  for (Item& it : s_items) {
    it.watch_index = -1;
    it.next_index = -1;
    const ResumeState none;
    it.resume_action = none.action;
    it.resume_position_s = none.position_s;
    it.progress_fraction = none.fraction;
    it.resume_clamped = none.clamped;
  }
  for (WatchRec& w : s_watch) w.item_index = -1;
  s_model.derived.watched.clear();

  make_episode_tables();
  // Step A: join every entry to an item: by item id, else through the IMDb
  // group of its IMDb id. Each lookup waits on memory, so the slots are
  // asked for a few entries ahead: those of the item ids and IMDb ids in a
  // first pass that finds the groups, those of the episode table in a
  // second.
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
  const FirstIndex by_episode(s_model.derived.by_episode, false);
  for (std::size_t k = 0; k < nw; ++k) {
    if (k + kTextAhead < nw) {
      const WatchRec& ahead = s_watch[k + kTextAhead];
      if (groups[k + kTextAhead] >= 0 && ahead.season > 0 && ahead.episode > 0) {
        by_episode.prefetch(EpKey{groups[k + kTextAhead], ahead.season, ahead.episode, nullptr, id_hash(nullptr)});
      }
    }
    WatchRec& w = s_watch[k];
    if (w.item_index < 0) w.item_index = item_by_group(w, groups[k]);
  }
  // Step C: every next episode first; a decision may depend on it (no
  // proposal without a next episode).
  link_next_episodes();
  choose_entries();
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
// when the tables are too full for them (nothing filed then). Every position
// that is new to a table and follows one already in it goes into `opened`:
// the items at that earlier position may now have a different next episode.
bool file_new_episodes(int32_t first, std::vector<EpKey>* opened) {
  Derived& d = s_model.derived;
  const std::size_t ni = static_cast<std::size_t>(n_items());
  const uint64_t no_text = id_hash(nullptr);
  std::size_t numbered = 0, addressed = 0;
  for (std::size_t i = static_cast<std::size_t>(first); i < ni; ++i) {
    const Item& it = s_items[i];
    if (!numbered_episode(it)) continue;
    ++numbered;
    addressed += source_address(it) != nullptr ? 1 : 0;
  }
  if (numbered > 0 && (2 * (d.episodes_filed + numbered) > d.by_episode.size() ||
                       2 * (d.addressed_filed + addressed) > d.by_episode_addr.size())) {
    return false;
  }
  if (d.imdb_groups.size() != ni) index_imdb_ids(first);
  d.addr.resize(ni, nullptr);
  d.addr_h.resize(ni, no_text);
  FirstIndex by_episode(d.by_episode, false);
  FirstIndex by_episode_addr(d.by_episode_addr, true);
  for (int32_t i = first; i < n_items(); ++i) {
    const Item& it = s_items[static_cast<std::size_t>(i)];
    if (!numbered_episode(it)) continue;
    const std::size_t ui = static_cast<std::size_t>(i);
    d.addr[ui] = source_address(it);
    d.addr_h[ui] = id_hash(d.addr[ui]);
    const EpKey at{d.imdb_groups[ui], it.season, it.episode, nullptr, no_text};
    EpKey before = at;
    before.episode = at.episode - 1;
    if (by_episode.find(at) < 0 && by_episode.find(before) >= 0) opened->push_back(before);
    by_episode.insert(i);
    if (d.addr[ui] != nullptr) {
      const EpKey at_addr{at.group, at.season, at.episode, d.addr[ui], d.addr_h[ui]};
      EpKey before_addr = at_addr;
      before_addr.episode = at.episode - 1;
      if (by_episode_addr.find(at_addr) < 0 && by_episode_addr.find(before_addr) >= 0) {
        opened->push_back(before_addr);
      }
      by_episode_addr.insert(i);
    }
  }
  d.episodes_filed += numbered;
  d.addressed_filed += addressed;
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
  std::vector<int32_t> before(static_cast<std::size_t>(n_items()));
  for (std::size_t i = 0; i < s_items.size(); ++i) {
    before[i] = s_items[i].next_index;
    s_items[i].next_index = -1;
  }
  link_next_episodes();
  for (std::size_t i = 0; i < s_items.size(); ++i) note_relink(static_cast<int32_t>(i), before[i], relinked);
}

// Whether item `ui`, a numbered episode, stands at position `k` (whose
// address, when it has one, must be the item's own).
bool stands_at(std::size_t ui, const EpKey& k) {
  const Derived& d = s_model.derived;
  const Item& it = s_items[ui];
  return d.imdb_groups[ui] == k.group && it.season == k.season && it.episode == k.episode &&
         (k.addr == nullptr || (d.addr_h[ui] == k.addr_h && same_text(d.addr[ui], k.addr)));
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
  const FirstIndex by_episode(d.by_episode, false);
  const FirstIndex by_episode_addr(d.by_episode_addr, true);
  for (std::size_t ui = 0; ui < static_cast<std::size_t>(first); ++ui) {
    if (!std::binary_search(groups.begin(), groups.end(), d.imdb_groups[ui])) continue;
    Item& it = s_items[ui];
    if (!numbered_episode(it)) continue;
    const bool at_opened =
        std::any_of(opened.begin(), opened.end(), [ui](const EpKey& k) { return stands_at(ui, k); });
    if (!at_opened) continue;
    const int32_t before = it.next_index;
    it.next_index = next_at(ui, position_after(ui), by_episode, by_episode_addr);
    note_relink(static_cast<int32_t>(ui), before, relinked);
  }
}

// The links of the items from `first` on.
void link_new_episodes(int32_t first) {
  Derived& d = s_model.derived;
  const FirstIndex by_episode(d.by_episode, false);
  const FirstIndex by_episode_addr(d.by_episode_addr, true);
  for (std::size_t ui = static_cast<std::size_t>(first); ui < s_items.size(); ++ui) {
    if (!numbered_episode(s_items[ui])) continue;
    s_items[ui].next_index = next_at(ui, position_after(ui), by_episode, by_episode_addr);
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
  choose_entries();
}

}  // namespace kavo
