// A fresh row stores only its first row-cap candidates, so the large rows
// find those first ones without sorting the rest: they must be exactly the
// first ones of the full stable sort, in the same order, and the rest must be
// the same candidates. That holds for orders that are strict weak orderings,
// which every row order is checked to be, on the same random candidates.
#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "rows/orders.h"
#include "rows_support.h"

namespace {

using namespace rows_test;

using CandView = std::tuple<int32_t, std::string, int64_t, std::string>;

std::vector<CandView> view() {
  std::vector<CandView> out;
  for (const Cand& c : s_cand) {
    out.emplace_back(c.item_index, c.title ? c.title.get() : "<none>", c.added_ms,
                     c.server_key ? c.server_key.get() : "<none>");
  }
  return out;
}

class PartialSortTest : public kavo_test::KavoTest {
 protected:
  uint32_t seed_ = 4242;
  uint32_t next() { return seed_ = seed_ * 1103515245u + 12345u, (seed_ >> 16) & 0x7FFF; }

  // Items with few distinct years, titles (some none, some equal) and watch
  // times, so that every tie-break is used.
  void random_items() {
    static const char* const titles[] = {nullptr, "A", "b", "B", "a", "Zed", "zed", "Alpha"};
    static const char* const airs[] = {nullptr, "2020-01-01", "2020-01-02"};
    for (int i = 0; i < 400; ++i) {
      const int32_t ix = add_item(("i" + std::to_string(i)).c_str(), kMovie, titles[next() % 8]);
      Item& it = item(ix);
      it.year = static_cast<int32_t>(next() % 5) - 1;
      it.season = static_cast<int32_t>(next() % 3) - 1;
      it.episode = static_cast<int32_t>(next() % 3) - 1;
      set_text(it.air_date, airs[next() % 3]);
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
  }

  // A fresh candidate list of `n` candidates; the raw ones carry their push
  // position as server key.
  void random_cands(int n) {
    static const char* const titles[] = {nullptr, "A", "b", "B", "a", "Zed", "zed", "Alpha",
                                         "a2", "A02", "a10", "a1b", "1", "01", "_", "a-"};
    s_cand.clear();
    for (int c = 0; c < n; ++c) {
      if (next() % 5 == 0) {
        // A raw candidate: its own title and time.
        cand_push(-1, titles[next() % 16], static_cast<int64_t>(next() % 7) - 3, std::to_string(c).c_str());
      } else {
        const int32_t ix = static_cast<int32_t>(next() % 400);
        cand_push(ix, item(ix).title.get(), item(ix).added_ms, nullptr);
      }
    }
  }

  // Antisymmetry, and transitivity of both "before" and "alike", of K's
  // order over every pair and triple of a few candidates.
  template <class K>
  void expect_strict_weak(int rounds) {
    for (int round = 0; round < rounds; ++round) {
      random_cands(24);
      std::vector<K> keys;
      for (const Cand& c : s_cand) keys.push_back(K::of(c, 0));
      const auto sign = [](int c) { return (c > 0) - (c < 0); };
      for (const K& a : keys) {
        ASSERT_EQ(K::order(a, a), 0);
        for (const K& b : keys) {
          const int ab = sign(K::order(a, b));
          ASSERT_EQ(ab, -sign(K::order(b, a)));
          for (const K& c : keys) {
            const int bc = sign(K::order(b, c));
            if (ab == bc) {
              ASSERT_EQ(sign(K::order(a, c)), ab);
            }
          }
        }
      }
    }
  }
};

// The stable sort of the candidates by K, as a reference: their views.
template <class K>
std::vector<CandView> stable_sorted() {
  std::vector<std::size_t> at(s_cand.size());
  for (std::size_t i = 0; i < at.size(); ++i) at[i] = i;
  std::vector<K> keys;
  for (std::size_t i = 0; i < s_cand.size(); ++i) keys.push_back(K::of(s_cand[i], static_cast<int32_t>(i)));
  std::stable_sort(at.begin(), at.end(),
                   [&keys](std::size_t a, std::size_t b) { return K::order(keys[a], keys[b]) < 0; });
  const std::vector<CandView> pushed = view();
  std::vector<CandView> out;
  for (std::size_t i : at) out.push_back(pushed[i]);
  return out;
}

// The candidates of `views` pushed anew, in that order.
void push_views(const std::vector<CandView>& views) {
  cand_free_mem();
  s_cand.clear();
  for (const CandView& c : views) {
    const std::string& title = std::get<1>(c);
    const std::string& key = std::get<3>(c);
    cand_push(std::get<0>(c), title == "<none>" ? nullptr : title.c_str(), std::get<2>(c),
              key == "<none>" ? nullptr : key.c_str());
  }
}

TEST_F(PartialSortTest, TheFirstCandidatesAreThoseOfTheFullSort) {
  random_items();
  static_assert(AddedKey::kSelectFirst && YearTitleKey::kSelectFirst && ContinueKey::kSelectFirst);
  for (CandOrder order : {CandOrder::kAddedDesc, CandOrder::kYearDescTitle, CandOrder::kContinueRank}) {
    for (std::size_t first : {std::size_t{1}, std::size_t{7}, std::size_t{60}, std::size_t{199}}) {
      for (int round = 0; round < 5; ++round) {
        random_cands(400 + static_cast<int>(next() % 200));
        const std::vector<CandView> pushed = view();
        sort_cands(order);
        std::vector<CandView> full = view();
        push_views(pushed);
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

// The whole sort is the stable sort, on random lists and on lists already in
// order or nearly so (which it may leave as they are).
TEST_F(PartialSortTest, TheSortIsTheStableSortOnOrderedListsToo) {
  random_items();
  const auto check = [this]<class K>(CandOrder order) {
    for (int round = 0; round < 12; ++round) {
      random_cands(1 + static_cast<int>(next() % 300));
      for (int pass = 0; pass < 3; ++pass) {
        const std::vector<CandView> want = stable_sorted<K>();
        sort_cands(order);
        ASSERT_EQ(view(), want) << static_cast<int>(order) << " round " << round << " pass " << pass;
        // Again from the sorted list, with two candidates swapped after the
        // first pass.
        std::vector<CandView> again = want;
        if (pass > 0 && again.size() > 1) std::swap(again[next() % again.size()], again[next() % again.size()]);
        push_views(again);
      }
    }
  };
  check.operator()<EpisodeKey>(CandOrder::kSeasonEpisode);
  check.operator()<SeasonEpisodeKey<orders::NaturalTitle>>(CandOrder::kSeasonEpisodeNatural);
  check.operator()<CatalogueKey<orders::ByteTitle, false>>(CandOrder::kTitle);
  check.operator()<YearTitleKey>(CandOrder::kYearDescTitle);
  check.operator()<FolderKey>(CandOrder::kFolderNatural);
  check.operator()<AddedKey>(CandOrder::kAddedDesc);
  cand_free_mem();
  s_cand.clear();
}

TEST_F(PartialSortTest, EveryOrderIsAStrictWeakOrdering) {
  random_items();
  expect_strict_weak<ContinueKey>(20);
  expect_strict_weak<AddedKey>(20);
  expect_strict_weak<YearTitleKey>(20);
  expect_strict_weak<EpisodeKey>(20);
  expect_strict_weak<FolderKey>(20);
  s_cand.clear();
}

}  // namespace

namespace {

// The title orders the settings choose are strict weak orderings too, which
// selecting the first cells relies on.
TEST_F(PartialSortTest, TheTitleOrdersOfTheSettingsAreStrictWeakOrderings) {
  random_items();
  expect_strict_weak<CatalogueKey<orders::NaturalTitle, true>>(20);
  expect_strict_weak<CatalogueKey<orders::ByteTitle, false>>(20);
  expect_strict_weak<SeasonEpisodeKey<orders::NaturalTitle>>(20);
  s_cand.clear();
}

}  // namespace
