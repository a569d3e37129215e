// The stable sort of the candidate list by one of the row orders
// (rows/orders.h).
#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "rows/orders.h"
#include "rows/rows.h"

namespace kavo {

namespace {

// Calls `run.template operator()<K>()` with the key type K of `order`.
template <class Run>
void with_key_of(CandOrder order, Run&& run) {
  switch (order) {
    case CandOrder::kContinueRank:
      return run.template operator()<ContinueKey>();
    case CandOrder::kAddedDesc:
      return run.template operator()<AddedKey>();
    case CandOrder::kYearDescTitle:
      return run.template operator()<YearTitleKey>();
    case CandOrder::kTitle:
      return run.template operator()<CatalogueKey<orders::ByteTitle, false>>();
    case CandOrder::kYearDescNaturalTitle:
      return run.template operator()<CatalogueKey<orders::NaturalTitle, true>>();
    case CandOrder::kNaturalTitle:
      return run.template operator()<CatalogueKey<orders::NaturalTitle, false>>();
    case CandOrder::kSeasonEpisode:
      return run.template operator()<EpisodeKey>();
    case CandOrder::kSeasonEpisodeNatural:
      return run.template operator()<SeasonEpisodeKey<orders::NaturalTitle>>();
    case CandOrder::kFolderNatural:
      return run.template operator()<FolderKey>();
    case CandOrder::kPushOrder:
      return;
  }
}

// Bottom-up merge sort from single elements. A merge takes the right-hand
// element first only when the order says so outright (positive), so equal
// elements keep their order; nothing here relies on transitivity. Returns
// the buffer holding the result.
template <class T, class Order>
T* merge_sort(T* src, T* dst, std::size_t n, Order order) {
  for (std::size_t width = 1; width < n; width *= 2) {
    for (std::size_t lo = 0; lo < n; lo += 2 * width) {
      const std::size_t mid = lo + width < n ? lo + width : n;
      const std::size_t hi = lo + 2 * width < n ? lo + 2 * width : n;
      std::size_t i = lo, j = mid, k = lo;
      while (i < mid && j < hi) {
        if (order(src[i], src[j]) > 0) {
          dst[k++] = src[j++];
        } else {
          dst[k++] = src[i++];
        }
      }
      while (i < mid) dst[k++] = src[i++];
      while (j < hi) dst[k++] = src[j++];
    }
    std::swap(src, dst);
  }
  return src;
}

// Puts the candidates into the order of the keys, through `sorted` (room
// for them reserved beforehand). They go back into the list's own memory,
// which keeps the room the largest row of the rebuild gave it: a list sized
// to that room for every small row would be a large block each time.
template <class K>
void permute_cands(const K* keys, std::size_t n, std::vector<Cand>& sorted) {
  for (std::size_t i = 0; i < n; ++i) sorted.push_back(std::move(s_cand[static_cast<std::size_t>(keys[i].pos)]));
  for (std::size_t i = 0; i < n; ++i) s_cand[i] = std::move(sorted[i]);
}

// Whether no key goes before the one ahead of it. Every order is a strict
// weak ordering, so such keys are already in the order the stable sort
// gives them: the episodes of a show mostly come that way.
template <class K>
bool in_order(const std::vector<K>& keys) {
  for (std::size_t i = 1; i < keys.size(); ++i) {
    if (K::order(keys[i - 1], keys[i]) > 0) return false;
  }
  return true;
}

template <class K>
bool keyed_sort() {
  const std::size_t n = s_cand.size();
  if (n < 2) return true;
  std::vector<K> keys;
  try {
    keys.reserve(n);
  } catch (...) {
    note_allocation_failure();
    return false;  // no memory to sort with: the candidates keep push order
  }
  for (std::size_t i = 0; i < n; ++i) keys.push_back(K::of(s_cand[i], static_cast<int32_t>(i)));
  if (in_order(keys)) return true;
  std::vector<K> scratch;
  std::vector<Cand> sorted;
  try {
    scratch.resize(n);
    sorted.reserve(n);
  } catch (...) {
    note_allocation_failure();
    return false;
  }
  permute_cands(merge_sort(keys.data(), scratch.data(), n, K::order), n, sorted);
  return true;
}

// The first `first` candidates of keyed_sort's order, in that order, then the
// others in no particular order. With ties going by list position (what the
// stable sort does with them) a strict weak ordering becomes a total one, so
// the candidates that come first are the same whichever way they are found.
template <class K>
void keyed_select(std::size_t first) {
  static_assert(K::kSelectFirst, "an order of the rows that select their first cells");
  const std::size_t n = s_cand.size();
  std::vector<K> keys;
  // The chosen candidates while they move to the front, and the places
  // they leave behind it (the candidates they push out go there).
  std::vector<Cand> chosen;
  std::vector<std::size_t> left;
  std::vector<char> chosen_in_front;
  try {
    keys.reserve(n);
    chosen.reserve(first);
    left.reserve(first);
    chosen_in_front.assign(first, 0);
  } catch (...) {
    note_allocation_failure();
    return;
  }
  for (std::size_t i = 0; i < n; ++i) keys.push_back(K::of(s_cand[i], static_cast<int32_t>(i)));
  const auto before = [](const K& a, const K& b) {
    const int c = K::order(a, b);
    return c < 0 || (c == 0 && a.pos < b.pos);
  };
  std::nth_element(keys.begin(), keys.begin() + static_cast<std::ptrdiff_t>(first), keys.end(), before);
  std::sort(keys.begin(), keys.begin() + static_cast<std::ptrdiff_t>(first), before);
  // Only the front moves: the rest, which the row cap only counts, stays
  // where it is, so no second list of every candidate is needed.
  for (std::size_t k = 0; k < first; ++k) {
    const std::size_t at = static_cast<std::size_t>(keys[k].pos);
    chosen.push_back(std::move(s_cand[at]));
    if (at < first) {
      chosen_in_front[at] = 1;
    } else {
      left.push_back(at);
    }
  }
  std::size_t next = 0;
  for (std::size_t at = 0; at < first; ++at) {
    if (chosen_in_front[at] == 0) s_cand[left[next++]] = std::move(s_cand[at]);
  }
  for (std::size_t k = 0; k < first; ++k) s_cand[k] = std::move(chosen[k]);
}

}  // namespace

int64_t cand_updated(int32_t index) {
  if (!valid_item_index(index)) return -1;
  const int32_t w = s_items[static_cast<std::size_t>(index)].watch_index;
  if (w < 0 || w >= n_watch()) return -1;
  const int64_t t = s_watch[static_cast<std::size_t>(w)].updated_ms;
  return t < 0 ? -1 : t;
}

CandOrder catalogue_order() {
  const ResumeSettings& rs = s_settings.resume;
  if (rs.title_sort_natural != 0) {
    return rs.catalogue_by_year != 0 ? CandOrder::kYearDescNaturalTitle : CandOrder::kNaturalTitle;
  }
  return rs.catalogue_by_year != 0 ? CandOrder::kYearDescTitle : CandOrder::kTitle;
}

CandOrder episode_order() {
  return s_settings.resume.title_sort_natural != 0 ? CandOrder::kSeasonEpisodeNatural : CandOrder::kSeasonEpisode;
}

void sort_cands(CandOrder order) { sorted_cands(order); }

void merge_sorted_items(std::vector<int32_t>& sorted, std::vector<int32_t> fresh, CandOrder order) {
  with_key_of(order, [&]<class K>() {
    // An item's key as its candidate would have it: the item alone, placed
    // by its index, which is also where ties go.
    const auto key = [](int32_t index) {
      Cand c;
      c.item_index = index;
      return K::of(c, index);
    };
    const auto before = [](const K& a, const K& b) {
      const int c = K::order(a, b);
      return c < 0 || (c == 0 && a.pos < b.pos);
    };
    std::vector<K> added;
    added.reserve(fresh.size());
    for (int32_t index : fresh) added.push_back(key(index));
    std::sort(added.begin(), added.end(), before);
    std::vector<int32_t> merged;
    merged.reserve(sorted.size() + added.size());
    std::size_t j = 0;
    for (int32_t index : sorted) {
      const K old = key(index);
      while (j < added.size() && before(added[j], old)) merged.push_back(added[j++].pos);
      merged.push_back(index);
    }
    while (j < added.size()) merged.push_back(added[j++].pos);
    sorted.swap(merged);
  });
}

void sort_continue_keys(std::vector<ContinueRank>& keys, std::vector<ContinueRank>& scratch) {
  scratch.resize(keys.size());
  const ContinueRank* sorted = merge_sort(keys.data(), scratch.data(), keys.size(), ContinueKey::order);
  if (sorted != keys.data()) keys.swap(scratch);
}

bool sorted_cands(CandOrder order) {
  bool sorted = true;
  with_key_of(order, [&sorted]<class K>() { sorted = keyed_sort<K>(); });
  return sorted;
}

void sort_cands_first(CandOrder order, std::size_t first) {
  with_key_of(order, [first]<class K>() {
    // Worth it when most candidates will not be stored.
    if constexpr (K::kSelectFirst) {
      if (first < s_cand.size() / 2) return keyed_select<K>(first);
    }
    keyed_sort<K>();
  });
}

}  // namespace kavo
