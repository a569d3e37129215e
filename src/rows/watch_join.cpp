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

// An episode position: IMDb id (may be none), season, episode and, for the
// tables that need it, the first source's address (none when unused), with
// the hashes of the two texts, computed once per text.
struct EpKey {
  const char* imdb;
  uint64_t imdb_h;
  int32_t season;
  int64_t episode;
  const char* addr;
  uint64_t addr_h;
};

bool same_key(const EpKey& a, const EpKey& b) {
  return a.season == b.season && a.episode == b.episode && a.imdb_h == b.imdb_h && a.addr_h == b.addr_h &&
         same_text(a.imdb, b.imdb) && same_text(a.addr, b.addr);
}

// A hash of a text; none has a value of its own.
uint64_t text_hash(const char* text) { return text == nullptr ? 0x51ED270B27A2C9E1ull : text_hash64(text); }

uint64_t key_hash(const EpKey& k) {
  uint64_t h = k.imdb_h * 0x100000001B3ull;
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
// inserted under it. Keys are not stored: a slot holds the item index and the
// key's hash, and the key itself is read back from the item only when the
// hashes agree.
class FirstIndex {
 public:
  // `imdb_h`: the hash of every item's IMDb id; `addr` and `addr_h`: the
  // source address of every item and its hash when the key includes it,
  // else NULL.
  FirstIndex(const std::vector<uint64_t>* imdb_h, const std::vector<const char*>* addr,
             const std::vector<uint64_t>* addr_h)
      : imdb_h_(imdb_h), addr_(addr), addr_h_(addr_h) {}

  void reserve(std::size_t count) {
    std::size_t cap = 16;
    while (cap < count * 2) cap *= 2;
    slots_.assign(cap, Slot{-1, 0});
    mask_ = cap - 1;
  }

  // Inserts item `index` unless its key is already present (lower index wins
  // when items are inserted in index order).
  void insert(int32_t index) {
    const EpKey k = key_of(index);
    const uint64_t h = key_hash(k);
    std::size_t slot = h & mask_;
    while (slots_[slot].index >= 0) {
      if (slots_[slot].hash == static_cast<uint32_t>(h >> 32) && same_key(key_of(slots_[slot].index), k)) return;
      slot = (slot + 1) & mask_;
    }
    slots_[slot] = Slot{index, static_cast<uint32_t>(h >> 32)};
  }

  int32_t find(const EpKey& k) const {
    if (slots_.empty()) return -1;
    const uint64_t h = key_hash(k);
    std::size_t slot = h & mask_;
    while (slots_[slot].index >= 0) {
      if (slots_[slot].hash == static_cast<uint32_t>(h >> 32) && same_key(key_of(slots_[slot].index), k)) {
        return slots_[slot].index;
      }
      slot = (slot + 1) & mask_;
    }
    return -1;
  }

 private:
  struct Slot {
    int32_t index;
    uint32_t hash;
  };

  EpKey key_of(int32_t index) const {
    const Item& it = s_items[static_cast<std::size_t>(index)];
    const std::size_t i = static_cast<std::size_t>(index);
    return EpKey{it.imdb_id.get(), (*imdb_h_)[i], it.season, it.episode,
                 addr_ ? (*addr_)[i] : nullptr, addr_ ? (*addr_h_)[i] : text_hash(nullptr)};
  }

  const std::vector<uint64_t>* imdb_h_;
  const std::vector<const char*>* addr_;
  const std::vector<uint64_t>* addr_h_;
  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
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

void join_watch() {
  const int32_t ni = n_items();
  const int32_t nw = n_watch();

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

  // Episode positions of the catalogue: the first item at each (IMDb id,
  // season, episode), and the first at each of those with a given source
  // address.
  const uint64_t no_text = text_hash(nullptr);
  std::vector<const char*> addr(static_cast<std::size_t>(ni), nullptr);
  std::vector<uint64_t> imdb_h(static_cast<std::size_t>(ni), no_text);
  std::vector<uint64_t> addr_h(static_cast<std::size_t>(ni), no_text);
  FirstIndex by_episode(&imdb_h, nullptr, nullptr);
  FirstIndex by_episode_addr(&imdb_h, &addr, &addr_h);
  std::size_t numbered = 0, addressed = 0;
  for (int32_t i = 0; i < ni; ++i) {
    const Item& it = s_items[static_cast<std::size_t>(i)];
    if (!numbered_episode(it)) continue;
    ++numbered;
    const std::size_t ui = static_cast<std::size_t>(i);
    addr[ui] = source_address(it);
    imdb_h[ui] = text_hash(it.imdb_id.get());
    addr_h[ui] = text_hash(addr[ui]);
    if (addr[ui] != nullptr) ++addressed;
  }
  if (numbered > 0) {
    by_episode.reserve(numbered);
    by_episode_addr.reserve(addressed);
    for (int32_t i = 0; i < ni; ++i) {
      if (!numbered_episode(s_items[static_cast<std::size_t>(i)])) continue;
      by_episode.insert(i);
      if (addr[static_cast<std::size_t>(i)] != nullptr) by_episode_addr.insert(i);
    }
  }

  // Step A: join every entry to an item.
  for (WatchRec& w : s_watch) {
    int32_t index = -1;
    if (w.item_id && s_by_id.get(w.item_id.get(), &index) == 0 && index >= 0) {
      w.item_index = index;
      continue;
    }
    index = -1;
    if (w.imdb_id) {
      if (w.season > 0 && w.episode > 0) {
        index = by_episode.find(
            EpKey{w.imdb_id.get(), text_hash(w.imdb_id.get()), w.season, w.episode, nullptr, no_text});
      }
      if (index < 0 && (s_by_imdb.get(w.imdb_id.get(), &index) != 0 || index < 0)) index = -1;
    }
    w.item_index = index;
  }

  // Step C: every next episode first; a decision may depend on it (no
  // proposal without a next episode).
  const ResumeSettings& rs = s_settings.resume;
  std::vector<int32_t> later;
  if (rs.next_episode_following != 0) later = later_episodes();
  for (int32_t i = 0; i < ni; ++i) {
    Item& it = s_items[static_cast<std::size_t>(i)];
    const std::size_t ui = static_cast<std::size_t>(i);
    if (!numbered_episode(it)) continue;
    EpKey next{it.imdb_id.get(), imdb_h[ui], it.season, static_cast<int64_t>(it.episode) + 1, nullptr, no_text};
    if (!later.empty()) {
      if (later[ui] < 0) continue;
      const Item& at = s_items[static_cast<std::size_t>(later[ui])];
      next.season = at.season;
      next.episode = at.episode;
    }
    const int32_t first = by_episode.find(next);
    if (first < 0) continue;
    it.next_index = first;
    if (const char* own = addr[ui]) {
      const int32_t same = by_episode_addr.find(
          EpKey{next.imdb, next.imdb_h, next.season, next.episode, own, addr_h[ui]});
      if (same >= 0) it.next_index = same;
    }
  }

  // Step B: the best entry of each group for every item, in one walk of the
  // watch list. Only a strictly later time replaces, so the earliest entry
  // stays among equal times.
  std::vector<int32_t> best_server(static_cast<std::size_t>(ni), -1);
  std::vector<int32_t> best_local(static_cast<std::size_t>(ni), -1);
  for (int32_t k = 0; k < nw; ++k) {
    const WatchRec& w = s_watch[static_cast<std::size_t>(k)];
    if (!valid_item_index(w.item_index)) continue;
    const bool local = w.source && ci_cmp(w.source.get(), "local_store") == 0;
    int32_t& best = (local ? best_local : best_server)[static_cast<std::size_t>(w.item_index)];
    if (best < 0 || w.updated_ms > s_watch[static_cast<std::size_t>(best)].updated_ms) best = k;
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
    it.watch_index = best_server[ui] >= 0 ? best_server[ui] : best_local[ui];
    const WatchRec* entry = it.watch_index >= 0 ? &s_watch[static_cast<std::size_t>(it.watch_index)] : nullptr;
    ResumeState r = decide_resume(it, entry);
    if (r.action == kStart && entry != nullptr && !last_finished.empty() && last_finished[ui] >= 0) {
      it.watch_index = last_finished[ui];
      r = decide_resume(it, &s_watch[static_cast<std::size_t>(it.watch_index)]);
    }
    it.resume_action = r.action;
    it.resume_position_s = r.position_s;
    it.progress_fraction = r.fraction;
    it.resume_clamped = r.clamped;
  }
}

}  // namespace kavo
