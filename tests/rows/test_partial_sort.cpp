// A fresh row stores only its first row-cap candidates, so the large rows
// find those first ones without sorting the rest: they must be exactly the
// first ones of the full stable sort, in the same order, and the rest must be
// the same candidates.
#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "rows_support.h"

namespace {

using namespace rows_test;

using CandView = std::tuple<int32_t, std::string, int64_t, int32_t>;

std::vector<CandView> view() {
  std::vector<CandView> out;
  for (const Cand& c : s_cand) {
    out.emplace_back(c.item_index, c.title ? c.title.get() : "<none>", c.added_ms, c.seq);
  }
  return out;
}

class PartialSortTest : public kavo_test::KavoTest {};

TEST_F(PartialSortTest, TheFirstCandidatesAreThoseOfTheFullSort) {
  uint32_t seed = 4242;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
  // Items with few distinct years, titles (some none, some equal) and watch
  // times, so that every tie-break is used.
  const char* titles[] = {nullptr, "A", "b", "B", "a", "Zed", "zed", "Alpha"};
  for (int i = 0; i < 400; ++i) {
    const int32_t ix = add_item(("i" + std::to_string(i)).c_str(), kMovie, titles[next() % 8]);
    Item& it = item(ix);
    it.year = static_cast<int32_t>(next() % 5) - 1;
    // Mostly unknown times, several different negatives, which tie among themselves.
    it.added_ms = next() % 10 < 8 ? -1 - static_cast<int64_t>(next() % 3) : static_cast<int64_t>(next() % 3);
    it.progress_fraction = (next() % 3) / 2.0;
    it.resume_position_s = next() % 3;
    if (next() % 2) {
      WatchRec w;
      w.updated_ms = static_cast<int64_t>(next() % 4) - 1;
      s_watch.push_back(std::move(w));
      it.watch_index = n_watch() - 1;
    }
  }
  int (*const orders[])(const Cand&, const Cand&) = {cmp_added_desc, cmp_year_desc_title, cmp_continue_rank};
  for (auto order : orders) {
    for (std::size_t first : {std::size_t{1}, std::size_t{7}, std::size_t{60}, std::size_t{199}}) {
      for (int round = 0; round < 5; ++round) {
        s_cand.clear();
        const int n = 400 + static_cast<int>(next() % 200);
        for (int c = 0; c < n; ++c) {
          if (next() % 5 == 0) {
            // A raw candidate: its own title and time.
            cand_push(-1, titles[next() % 8], static_cast<int64_t>(next() % 7) - 3, "k");
          } else {
            const int32_t ix = static_cast<int32_t>(next() % 400);
            cand_push(ix, item(ix).title.get(), item(ix).added_ms, nullptr);
          }
        }
        const std::vector<CandView> pushed = view();
        sort_cands(order);
        std::vector<CandView> full = view();
        cand_free_mem();
        s_cand.clear();
        for (const CandView& c : pushed) {
          cand_push(std::get<0>(c), std::get<1>(c) == "<none>" ? nullptr : std::get<1>(c).c_str(),
                    std::get<2>(c), std::get<0>(c) < 0 ? "k" : nullptr);
        }
        sort_cands_first(order, first);
        std::vector<CandView> part = view();
        cand_free_mem();
        ASSERT_EQ(part.size(), full.size());
        for (std::size_t k = 0; k < first; ++k) ASSERT_EQ(part[k], full[k]) << k << " of " << first;
        std::sort(part.begin(), part.end());
        std::sort(full.begin(), full.end());
        EXPECT_EQ(part, full);
      }
    }
  }
  s_cand.clear();
}

}  // namespace
