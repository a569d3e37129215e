// Continue Watching: the playable catalogue items with watch progress, most
// recently watched first, inserted behind the server's spotlight and genre
// rows.
//
// Items the user dismissed stay out until newer progress arrives; finished
// items can be left out. With Next Up, a show's episodes give one cell
// together: the episode watched last (the anchor), or, once that is
// finished, the episode after it. The cell shows that item and takes its
// place in the row from the anchor.
#include <algorithm>
#include <new>
#include <vector>

#include "rows/orders.h"
#include "rows/rows.h"

namespace kavo {

namespace {

bool has_progress(const Item& it) { return it.watch_index >= 0 && it.resume_action != kStart; }

// Whether an item with progress from `updated_ms` may show in the row.
bool admitted(const Item& shown, int32_t action, int64_t updated_ms) {
  if (s_settings.resume.continue_skip_finished != 0 && action != kResume) return false;
  return !dismissed_since(shown.id.get(), updated_ms);
}

// The item a show's cell shows, given its anchor: the anchor itself, or, when
// it is finished, its next episode when that can be played; -1 when the
// show gives no cell.
int32_t shown_for(int32_t anchor) {
  const Item& a = s_items[static_cast<std::size_t>(anchor)];
  const int64_t updated = cand_updated(anchor);
  if (a.resume_action == kFinished && valid_item_index(a.next_index) &&
      s_items[static_cast<std::size_t>(a.next_index)].playable != 0) {
    const int32_t next = a.next_index;
    return dismissed_since(s_items[static_cast<std::size_t>(next)].id.get(), updated) ? -1 : next;
  }
  return a.playable != 0 && admitted(a, a.resume_action, updated) ? anchor : -1;
}

// Next Up: the show of every episode item that has one (imdb_group; -1 for
// other items); per show, its anchor, the item of the show that Continue
// Watching would rank first, and the item its cell shows; per item, whether
// a show's cell shows it.
struct Shows {
  std::vector<int32_t> show_of;
  std::vector<int32_t> anchor, shown;
  std::vector<char> taken;
};

Shows group_shows() {
  Shows shows;
  const std::size_t ni = static_cast<std::size_t>(n_items());
  shows.show_of.assign(ni, -1);
  shows.anchor.assign(ni, -1);
  for (int32_t i = 0; i < n_items(); ++i) {
    const Item& it = s_items[static_cast<std::size_t>(i)];
    const bool episode = it.kind == kEpisode || (it.kind == kFile && it.episode > 0);
    if (!episode || !(it.season > 0 && it.episode > 0) || !it.imdb_id) continue;
    const int32_t show = imdb_group(it);
    shows.show_of[static_cast<std::size_t>(i)] = show;
    if (!has_progress(it)) continue;
    int32_t& a = shows.anchor[static_cast<std::size_t>(show)];
    // Items in index order: an equal rank keeps the earlier one.
    if (a < 0 || ContinueKey::order(ContinueKey::of_item(i, i), ContinueKey::of_item(a, a)) < 0) a = i;
  }
  shows.shown.assign(ni, -1);
  shows.taken.assign(ni, 0);
  for (std::size_t show = 0; show < ni; ++show) {
    if (shows.anchor[show] < 0) continue;
    const int32_t shown = shown_for(shows.anchor[show]);
    shows.shown[show] = shown;
    if (shown >= 0) shows.taken[static_cast<std::size_t>(shown)] = 1;
  }
  return shows;
}

// Whether item `i` has a cell of its own in Continue Watching (no Next Up).
bool continues(int32_t i) {
  const Item& it = s_items[static_cast<std::size_t>(i)];
  return has_progress(it) && it.playable != 0 && admitted(it, it.resume_action, cand_updated(i));
}

// Whether item `a` goes before item `b` in the row.
bool continues_before(int32_t a, int32_t b) {
  const int c = ContinueKey::order(ContinueKey::of_item(a, a), ContinueKey::of_item(b, b));
  return c < 0 || (c == 0 && a < b);
}

// Every candidate of the row in row order, from the items with an entry.
// Each item and its entry are asked for a few items ahead (both lie all
// over memory), then read for the test and the key alike.
void make_continue_order() {
  Derived& d = s_model.derived;
  const std::vector<int32_t>& watched = d.watched;
  const std::size_t n = watched.size();
  d.continue_order.clear();
  std::vector<ContinueRank>& keys = d.continue_keys;
  keys.clear();
  keys.reserve(n);
  for (std::size_t k = 0; k < n; ++k) {
    if (k + 2 * kTextAhead < n) __builtin_prefetch(&s_items[static_cast<std::size_t>(watched[k + 2 * kTextAhead])].watch_index);
    if (k + kTextAhead < n) {
      const int32_t w = s_items[static_cast<std::size_t>(watched[k + kTextAhead])].watch_index;
      if (w >= 0 && w < n_watch()) __builtin_prefetch(&s_watch[static_cast<std::size_t>(w)].updated_ms);
    }
    const int32_t i = watched[k];
    // Placed by the item's index: ties keep the order of the walk.
    if (continues(i)) keys.push_back(ContinueKey::of_item(i, i));
  }
  sort_continue_keys(keys, d.continue_scratch);
  d.continue_order.reserve(keys.size());
  for (const ContinueRank& key : keys) d.continue_order.push_back(key.pos);
  d.continue_ready = true;
}

}  // namespace

void build_continue_watching_after(const std::vector<int32_t>& decided, bool make_order) {
  Derived& d = s_model.derived;
  if (s_settings.resume.continue_next_up != 0 || (!d.continue_ready && !make_order)) {
    d.continue_ready = false;
    build_continue_watching();
    return;
  }
  if (!d.continue_ready) {
    make_continue_order();
  } else {
    std::vector<int32_t>& order = d.continue_order;
    order.reserve(order.size() + decided.size());
    d.continue_ready = false;  // until the order is whole again
    for (int32_t i : decided) {
      const auto at = std::find(order.begin(), order.end(), i);
      if (at != order.end()) order.erase(at);
    }
    for (int32_t i : decided) {
      if (!continues(i) || std::find(order.begin(), order.end(), i) != order.end()) continue;
      order.insert(std::lower_bound(order.begin(), order.end(), i, continues_before), i);
    }
    d.continue_ready = true;
  }
  const std::vector<int32_t>& order = d.continue_order;
  if (order.empty()) return;
  const int32_t row = row_insert(2, kContinueWatching, "ContinueWatching", "Continue Watching");
  if (row < 0) return;
  const std::size_t stored = std::min(order.size(), static_cast<std::size_t>(std::max(s_row_cap, 0)));
  s_rows[static_cast<std::size_t>(row)].cells.reserve(stored);
  for (std::size_t k = 0; k < stored; ++k) {
    cell_from_item(row, order[k], s_items[static_cast<std::size_t>(order[k])].added_ms);
  }
  count_rest(row, static_cast<int32_t>(order.size() - stored));
}

void build_continue_watching() {
  s_model.derived.continue_ready = false;
  s_cand.clear();
  Shows shows;
  if (s_settings.resume.continue_next_up != 0) shows = group_shows();
  const bool by_show = !shows.taken.empty();
  for (int32_t i = 0; i < n_items(); ++i) {
    const Item& it = s_items[static_cast<std::size_t>(i)];
    const int32_t show = by_show ? shows.show_of[static_cast<std::size_t>(i)] : -1;
    if (show >= 0) {
      // A show gives its one candidate where the walk meets its anchor,
      // placed by the anchor.
      const int32_t shown = shows.shown[static_cast<std::size_t>(show)];
      if (shows.anchor[static_cast<std::size_t>(show)] != i || shown < 0) continue;
      const Item& s = s_items[static_cast<std::size_t>(shown)];
      const std::size_t before = s_cand.size();
      cand_push_item(shown, s.added_ms);
      if (s_cand.size() > before) s_cand.back().rank_index = i;
      continue;
    }
    // An item that a show's cell shows has no cell of its own.
    if (by_show && shows.taken[static_cast<std::size_t>(i)] != 0) continue;
    if (has_progress(it) && it.playable != 0 && admitted(it, it.resume_action, cand_updated(i))) {
      cand_push_item(i, it.added_ms);
    }
  }
  if (s_cand.empty()) return;
  // The row is new: only the cells the row cap lets in need their places.
  sort_cands_first(CandOrder::kContinueRank, static_cast<std::size_t>(s_row_cap));
  const int32_t row = row_insert(2, kContinueWatching, "ContinueWatching", "Continue Watching");
  flush_cands(row);
}

}  // namespace kavo
