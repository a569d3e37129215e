// Continue Watching: the playable catalogue items with watch progress, most
// recently watched first, inserted behind the server's spotlight and genre
// rows.
#include "rows/rows.h"

namespace kavo {

void build_continue_watching() {
  s_cand.clear();
  for (int32_t i = 0; i < n_items(); ++i) {
    const Item& it = s_items[static_cast<std::size_t>(i)];
    if (it.watch_index >= 0 && it.resume_action != kStart && it.playable != 0) {
      cand_push(i, it.title.get(), it.added_ms, it.server_key.get());
    }
  }
  if (s_cand.empty()) return;
  // The row is new: only the cells the row cap lets in need their places.
  sort_cands_first(CandOrder::kContinueRank, static_cast<std::size_t>(s_row_cap));
  const int32_t row = row_insert(2, kContinueWatching, "ContinueWatching", "Continue Watching");
  flush_cands(row);
}

}  // namespace kavo
