// Row orders: the comparators of the sorted rows and the stable sort that
// applies them.
//
// Every comparator answers negative when `a` goes first and positive when `b`
// does. Numbers are compared, never subtracted, so no value can overflow.
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

int by_seq(const Cand& a, const Cand& b) { return a.seq < b.seq ? -1 : (a.seq > b.seq ? 1 : 0); }

// Smaller value first.
template <class T>
int ascending(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

// Titles: both none by seq, a title before none, else byte order, then seq.
int cmp_titles(const Cand& a, const Cand& b) {
  const char* ta = eff_title(a);
  const char* tb = eff_title(b);
  if (ta == nullptr && tb == nullptr) return by_seq(a, b);
  if (ta == nullptr) return 1;
  if (tb == nullptr) return -1;
  const int c = std::strcmp(ta, tb);
  if (c != 0) return c < 0 ? -1 : 1;
  return by_seq(a, b);
}

int32_t eff_year(const Cand& c) {
  const Item* item = cand_item(c);
  return item ? item->year : -1;
}
int32_t eff_season(const Cand& c) {
  const Item* item = cand_item(c);
  return item ? item->season : -1;
}
int32_t eff_episode(const Cand& c) {
  const Item* item = cand_item(c);
  return item ? item->episode : -1;
}
const char* eff_air_date(const Cand& c) {
  const Item* item = cand_item(c);
  return item ? item->air_date.get() : nullptr;
}

bool is_digit(char ch) { return ch >= '0' && ch <= '9'; }

signed char fold(char ch) {
  if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  return static_cast<signed char>(ch);
}

}  // namespace

int64_t cand_updated(int32_t index) {
  if (!valid_item_index(index)) return -1;
  const int32_t w = s_items[static_cast<std::size_t>(index)].watch_index;
  if (w < 0 || w >= n_watch()) return -1;
  const int64_t t = s_watch[static_cast<std::size_t>(w)].updated_ms;
  return t < 0 ? -1 : t;
}

int cmp_continue_rank(const Cand& a, const Cand& b) {
  const int64_t ua = cand_updated(a.item_index);
  const int64_t ub = cand_updated(b.item_index);
  if (ua != ub) return ua > ub ? -1 : 1;
  const Item* ia = cand_item(a);
  const Item* ib = cand_item(b);
  const double fa = ia ? ia->progress_fraction : 0.0;
  const double fb = ib ? ib->progress_fraction : 0.0;
  if (fa > fb) return -1;
  if (fa < fb) return 1;
  const double pa = ia ? ia->resume_position_s : 0.0;
  const double pb = ib ? ib->resume_position_s : 0.0;
  if (pa > pb) return -1;
  if (pa < pb) return 1;
  return by_seq(a, b);
}

int cmp_added_desc(const Cand& a, const Cand& b) {
  const bool na = a.added_ms < 0;
  const bool nb = b.added_ms < 0;
  if (na != nb) return na ? 1 : -1;
  if (a.added_ms == b.added_ms) return by_seq(a, b);
  if (na) return 0;  // two different unknown times: no order between them
  return a.added_ms > b.added_ms ? -1 : 1;
}

int cmp_year_desc_title(const Cand& a, const Cand& b) {
  const int32_t ya = eff_year(a);
  const int32_t yb = eff_year(b);
  if (ya != yb) return yb > ya ? 1 : -1;
  return cmp_titles(a, b);
}

int cmp_season_episode(const Cand& a, const Cand& b) {
  if (int c = ascending(eff_season(a), eff_season(b))) return c;
  if (int c = ascending(eff_episode(a), eff_episode(b))) return c;
  const char* da = eff_air_date(a);
  const char* db = eff_air_date(b);
  if (da != nullptr && db == nullptr) return -1;
  if (da == nullptr && db != nullptr) return 1;
  if (da != nullptr && db != nullptr) {
    const int c = std::strcmp(da, db);
    if (c != 0) return c < 0 ? -1 : 1;
  }
  return cmp_titles(a, b);
}

int cmp_folder_natural(const Cand& a, const Cand& b) {
  const char* pa = eff_title(a);
  const char* pb = eff_title(b);
  if (pa == nullptr && pb == nullptr) return by_seq(a, b);
  if (pa == nullptr) return 1;
  if (pb == nullptr) return -1;
  for (;;) {
    if (*pa == '\0') return *pb == '\0' ? by_seq(a, b) : -1;
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
      if (la != lb) return la < lb ? -1 : 1;
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

// Merge sort over the candidate list, bottom-up from single candidates. A
// merge takes the right-hand candidate first only when the comparator says so
// outright (positive), so equal candidates keep their push order, and a
// comparator that is not a strict weak ordering (cmp_added_desc on two
// different unknown times) cannot break the sort: nothing here relies on
// transitivity.
void sort_cands(int (*cmp)(const Cand&, const Cand&)) {
  const std::size_t n = s_cand.size();
  if (n < 2) return;
  std::vector<int32_t> order;
  std::vector<int32_t> scratch;
  std::vector<Cand> sorted;
  try {
    order.resize(n);
    scratch.resize(n);
    sorted.reserve(s_cand.capacity());
  } catch (...) {
    return;  // no memory to sort with: the candidates keep push order
  }
  for (std::size_t i = 0; i < n; ++i) order[i] = static_cast<int32_t>(i);
  const Cand* cands = s_cand.data();
  int32_t* src = order.data();
  int32_t* dst = scratch.data();
  for (std::size_t width = 1; width < n; width *= 2) {
    for (std::size_t lo = 0; lo < n; lo += 2 * width) {
      const std::size_t mid = lo + width < n ? lo + width : n;
      const std::size_t hi = lo + 2 * width < n ? lo + 2 * width : n;
      std::size_t i = lo, j = mid, k = lo;
      while (i < mid && j < hi) {
        if (cmp(cands[src[i]], cands[src[j]]) > 0) {
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
  for (std::size_t i = 0; i < n; ++i) sorted.push_back(std::move(s_cand[static_cast<std::size_t>(src[i])]));
  s_cand.swap(sorted);
}

}  // namespace kavo
