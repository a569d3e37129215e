// Row orders: the comparators of the sorted rows and the stable sort that
// applies them.
//
// Every comparator answers negative when `a` goes first and positive when `b`
// does. Numbers are compared, never subtracted, so no value can overflow.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

#include "rows/rows.h"

namespace kavo {

namespace {

const Item* cand_item(const Cand& c) {
  return valid_item_index(c.item_index) ? &s_items[static_cast<std::size_t>(c.item_index)] : nullptr;
}

// The title a candidate sorts by: its item's title when it has one, else the
// candidate's own.
const char* eff_title(const Cand& c) {
  const Item* item = cand_item(c);
  if (item != nullptr && item->title) return item->title.get();
  return c.title.get();
}

// Smaller value first.
template <class T>
int ascending(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

// A title ready for byte-wise comparison: the text and its first eight bytes
// packed big-endian (zero after the end of the text), so that most
// comparisons are settled without touching the text again.
struct TitleRef {
  const char* text;
  uint64_t head;
};

TitleRef title_ref(const char* text) {
  uint64_t head = 0;
  int k = 0;
  if (text != nullptr) {
    for (; k < 8 && text[k] != '\0'; ++k) head = (head << 8) | static_cast<unsigned char>(text[k]);
  }
  if (k > 0 && k < 8) head <<= 8 * (8 - k);  // (a shift by 64 would be undefined)
  return TitleRef{text, head};
}

// strcmp's answer (as -1, 0, 1) for two present titles.
int title_bytes(const TitleRef& a, const TitleRef& b) {
  if (a.head != b.head) return a.head < b.head ? -1 : 1;
  // Equal heads: the texts agree on their first eight bytes; a zero last
  // byte means both ended within them.
  if ((a.head & 0xFF) == 0) return 0;
  const int c = std::strcmp(a.text + 8, b.text + 8);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// Titles: both none by seq, a title before none, else byte order, then seq.
int title_order(const TitleRef& ta, int32_t sa, const TitleRef& tb, int32_t sb) {
  if (ta.text == nullptr && tb.text == nullptr) return ascending(sa, sb);
  if (ta.text == nullptr) return 1;
  if (tb.text == nullptr) return -1;
  if (int c = title_bytes(ta, tb)) return c;
  return ascending(sa, sb);
}

bool is_digit(char ch) { return ch >= '0' && ch <= '9'; }

signed char fold(char ch) {
  if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  return static_cast<signed char>(ch);
}

// Each order works on a small key holding exactly the values it compares,
// taken from the candidate and its item once. The public comparators build
// the keys of their two arguments and call the same order function, so the
// sort over keys and a comparison of two candidates always agree, while the
// sort itself runs over compact, contiguous keys instead of chasing items
// and watch entries for every comparison. `pos` is the candidate's place in
// the list before sorting; it plays no part in any order.

struct ContinueKey {
  int64_t updated;
  double fraction, position;
  int32_t seq, pos;
  static ContinueKey of(const Cand& c, int32_t pos) {
    const Item* item = cand_item(c);
    return ContinueKey{cand_updated(c.item_index), item ? item->progress_fraction : 0.0,
                       item ? item->resume_position_s : 0.0, c.seq, pos};
  }
  static int order(const ContinueKey& a, const ContinueKey& b) {
    if (a.updated != b.updated) return a.updated > b.updated ? -1 : 1;
    if (a.fraction > b.fraction) return -1;
    if (a.fraction < b.fraction) return 1;
    if (a.position > b.position) return -1;
    if (a.position < b.position) return 1;
    return ascending(a.seq, b.seq);
  }
};

struct AddedKey {
  int64_t added;
  int32_t seq, pos;
  static AddedKey of(const Cand& c, int32_t pos) { return AddedKey{c.added_ms, c.seq, pos}; }
  static int order(const AddedKey& a, const AddedKey& b) {
    const bool na = a.added < 0;
    const bool nb = b.added < 0;
    if (na != nb) return na ? 1 : -1;
    if (a.added == b.added) return ascending(a.seq, b.seq);
    if (na) return 0;  // two different unknown times: no order between them
    return a.added > b.added ? -1 : 1;
  }
};

struct YearTitleKey {
  TitleRef title;
  int32_t year, seq, pos;
  static YearTitleKey of(const Cand& c, int32_t pos) {
    const Item* item = cand_item(c);
    return YearTitleKey{title_ref(eff_title(c)), item ? item->year : -1, c.seq, pos};
  }
  static int order(const YearTitleKey& a, const YearTitleKey& b) {
    if (a.year != b.year) return b.year > a.year ? 1 : -1;  // later years first
    return title_order(a.title, a.seq, b.title, b.seq);
  }
};

struct EpisodeKey {
  const char* air;
  TitleRef title;
  int32_t season, episode, seq, pos;
  static EpisodeKey of(const Cand& c, int32_t pos) {
    const Item* item = cand_item(c);
    return EpisodeKey{item ? item->air_date.get() : nullptr, title_ref(eff_title(c)), item ? item->season : -1,
                      item ? item->episode : -1, c.seq, pos};
  }
  static int order(const EpisodeKey& a, const EpisodeKey& b) {
    if (int c = ascending(a.season, b.season)) return c;
    if (int c = ascending(a.episode, b.episode)) return c;
    if (a.air != nullptr && b.air == nullptr) return -1;
    if (a.air == nullptr && b.air != nullptr) return 1;
    if (a.air != nullptr && b.air != nullptr) {
      const int c = std::strcmp(a.air, b.air);
      if (c != 0) return c < 0 ? -1 : 1;
    }
    return title_order(a.title, a.seq, b.title, b.seq);
  }
};

struct FolderKey {
  const char* title;
  int32_t seq, pos;
  static FolderKey of(const Cand& c, int32_t pos) { return FolderKey{eff_title(c), c.seq, pos}; }
  static int order(const FolderKey& a, const FolderKey& b) {
    const char* pa = a.title;
    const char* pb = b.title;
    if (pa == nullptr && pb == nullptr) return ascending(a.seq, b.seq);
    if (pa == nullptr) return 1;
    if (pb == nullptr) return -1;
    for (;;) {
      if (*pa == '\0') return *pb == '\0' ? ascending(a.seq, b.seq) : -1;
      if (*pb == '\0') return 1;
      if (is_digit(*pa) && is_digit(*pb)) {
        const char* ea = pa;
        while (is_digit(*ea)) ++ea;
        const char* eb = pb;
        while (is_digit(*eb)) ++eb;
        // Drop leading zeros, keeping at least the last digit of each run.
        const char* sa = pa;
        while (*sa == '0' && sa + 1 < ea) ++sa;
        const char* sb = pb;
        while (*sb == '0' && sb + 1 < eb) ++sb;
        const std::ptrdiff_t la = ea - sa;
        const std::ptrdiff_t lb = eb - sb;
        if (la != lb) return la < lb ? -1 : 1;  // more digits: the greater number
        for (std::ptrdiff_t k = 0; k < la; ++k) {
          if (sa[k] != sb[k]) return sa[k] < sb[k] ? -1 : 1;
        }
        pa = ea;
        pb = eb;
        continue;
      }
      const signed char ca = fold(*pa);
      const signed char cb = fold(*pb);
      if (ca != cb) return ca < cb ? -1 : 1;
      ++pa;
      ++pb;
    }
  }
};

template <class K>
int compare_as(const Cand& a, const Cand& b) {
  return K::order(K::of(a, 0), K::of(b, 0));
}

// Bottom-up merge sort from single elements. A merge takes the right-hand
// element first only when the order says so outright (positive), so equal
// elements keep their order, and an order that is not a strict weak ordering
// (the time order on two different unknown times) cannot break the sort:
// nothing here relies on transitivity. Returns the buffer holding the result.
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

// Puts the candidates into the order given by `at` (room for them reserved
// in `sorted` beforehand).
template <class Positions>
void permute_cands(const Positions& at, std::size_t n, std::vector<Cand>& sorted) {
  for (std::size_t i = 0; i < n; ++i) sorted.push_back(std::move(s_cand[static_cast<std::size_t>(at(i))]));
  s_cand.swap(sorted);
}

template <class K>
void keyed_sort() {
  const std::size_t n = s_cand.size();
  std::vector<K> keys;
  std::vector<K> scratch;
  std::vector<Cand> sorted;
  try {
    keys.reserve(n);
    scratch.resize(n);
    sorted.reserve(s_cand.capacity());
  } catch (...) {
    return;  // no memory to sort with: the candidates keep push order
  }
  for (std::size_t i = 0; i < n; ++i) keys.push_back(K::of(s_cand[i], static_cast<int32_t>(i)));
  const K* result = merge_sort(keys.data(), scratch.data(), n, K::order);
  permute_cands([result](std::size_t i) { return result[i].pos; }, n, sorted);
}

// The first `first` candidates of keyed_sort's order, in that order, then the
// others in no particular order. Only for orders that are strict weak
// orderings once ties go by list position (what a stable sort does with
// them): the candidates that come first are then the same whichever way they
// are found.
template <class K>
void keyed_select(std::size_t first) {
  const std::size_t n = s_cand.size();
  std::vector<K> keys;
  std::vector<Cand> sorted;
  try {
    keys.reserve(n);
    sorted.reserve(s_cand.capacity());
  } catch (...) {
    return;
  }
  for (std::size_t i = 0; i < n; ++i) keys.push_back(K::of(s_cand[i], static_cast<int32_t>(i)));
  const auto before = [](const K& a, const K& b) {
    const int c = K::order(a, b);
    return c < 0 || (c == 0 && a.pos < b.pos);
  };
  std::nth_element(keys.begin(), keys.begin() + static_cast<std::ptrdiff_t>(first), keys.end(), before);
  std::sort(keys.begin(), keys.begin() + static_cast<std::ptrdiff_t>(first), before);
  const K* result = keys.data();
  permute_cands([result](std::size_t i) { return result[i].pos; }, n, sorted);
}

}  // namespace

int64_t cand_updated(int32_t index) {
  if (!valid_item_index(index)) return -1;
  const int32_t w = s_items[static_cast<std::size_t>(index)].watch_index;
  if (w < 0 || w >= n_watch()) return -1;
  const int64_t t = s_watch[static_cast<std::size_t>(w)].updated_ms;
  return t < 0 ? -1 : t;
}

int cmp_continue_rank(const Cand& a, const Cand& b) { return compare_as<ContinueKey>(a, b); }
int cmp_added_desc(const Cand& a, const Cand& b) { return compare_as<AddedKey>(a, b); }
int cmp_year_desc_title(const Cand& a, const Cand& b) { return compare_as<YearTitleKey>(a, b); }
int cmp_season_episode(const Cand& a, const Cand& b) { return compare_as<EpisodeKey>(a, b); }
int cmp_folder_natural(const Cand& a, const Cand& b) { return compare_as<FolderKey>(a, b); }

void sort_cands_first(int (*cmp)(const Cand&, const Cand&), std::size_t first) {
  // Worth it when most candidates will not be stored; for the orders that
  // are strict weak orderings with ties by position.
  if (first < s_cand.size() / 2) {
    if (cmp == cmp_continue_rank) return keyed_select<ContinueKey>(first);
    if (cmp == cmp_added_desc) return keyed_select<AddedKey>(first);
    if (cmp == cmp_year_desc_title) return keyed_select<YearTitleKey>(first);
  }
  sort_cands(cmp);
}

// Sorts the candidate list stably. The row orders run over precomputed keys;
// any other comparator sorts positions and compares candidates directly.
void sort_cands(int (*cmp)(const Cand&, const Cand&)) {
  const std::size_t n = s_cand.size();
  if (n < 2) return;
  if (cmp == cmp_continue_rank) return keyed_sort<ContinueKey>();
  if (cmp == cmp_added_desc) return keyed_sort<AddedKey>();
  if (cmp == cmp_year_desc_title) return keyed_sort<YearTitleKey>();
  if (cmp == cmp_season_episode) return keyed_sort<EpisodeKey>();
  if (cmp == cmp_folder_natural) return keyed_sort<FolderKey>();
  std::vector<int32_t> order;
  std::vector<int32_t> scratch;
  std::vector<Cand> sorted;
  try {
    order.resize(n);
    scratch.resize(n);
    sorted.reserve(s_cand.capacity());
  } catch (...) {
    return;
  }
  for (std::size_t i = 0; i < n; ++i) order[i] = static_cast<int32_t>(i);
  const Cand* cands = s_cand.data();
  const int32_t* result = merge_sort(order.data(), scratch.data(), n, [cands, cmp](int32_t a, int32_t b) {
    return cmp(cands[a], cands[b]);
  });
  permute_cands([result](std::size_t i) { return result[i]; }, n, sorted);
}

}  // namespace kavo
