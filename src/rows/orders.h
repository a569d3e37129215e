// The orders of the sorted rows, each over a small key holding exactly the
// values it compares, taken from a candidate and its item once: the sort runs
// over compact, contiguous keys instead of chasing items and watch entries
// for every comparison.
//
// order(a, b) answers negative when `a` goes first, positive when `b` does,
// and 0 when the order does not tell them apart; the sort then keeps push
// order, by `pos`, the candidate's place in the list before sorting, which
// plays no part in any order. Numbers are compared, never subtracted, so no
// value can overflow.
//
// Every order is a strict weak ordering (the tests check it on random
// candidates), so with ties going by `pos` it orders the candidates totally.
// kSelectFirst marks the orders of the rows that can grow large: those find
// the first cells of a fresh row, the ones the row cap lets in, without
// sorting the rest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "frame/model.h"
#include "rows/rows.h"

namespace kavo {

namespace orders {

inline const Item* cand_item(const Cand& c) {
  return valid_item_index(c.item_index) ? &s_items[static_cast<std::size_t>(c.item_index)] : nullptr;
}

// The title a candidate sorts by: its item's title when it has one, else the
// candidate's own.
inline const char* eff_title(const Cand& c) {
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

inline TitleRef title_ref(const char* text) {
  uint64_t head = 0;
  int k = 0;
  if (text != nullptr) {
    for (; k < 8 && text[k] != '\0'; ++k) head = (head << 8) | static_cast<unsigned char>(text[k]);
  }
  if (k > 0 && k < 8) head <<= 8 * (8 - k);  // (a shift by 64 would be undefined)
  return TitleRef{text, head};
}

// Titles: a title before none, else strcmp's order (unsigned bytes).
inline int title_order(const TitleRef& a, const TitleRef& b) {
  if (a.text == nullptr || b.text == nullptr) return ascending(a.text == nullptr, b.text == nullptr);
  if (a.head != b.head) return a.head < b.head ? -1 : 1;
  // Equal heads: the texts agree on their first eight bytes; a zero last
  // byte means both ended within them.
  if ((a.head & 0xFF) == 0) return 0;
  const int c = std::strcmp(a.text + 8, b.text + 8);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

inline bool is_digit(char ch) { return ch >= '0' && ch <= '9'; }

inline signed char fold(char ch) {
  if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  return static_cast<signed char>(ch);
}

}  // namespace orders

// Continue Watching: most recently watched first, then the larger fraction,
// then the later position.
struct ContinueKey {
  static constexpr bool kSelectFirst = true;
  int64_t updated;
  double fraction, position;
  int32_t pos;
  static ContinueKey of(const Cand& c, int32_t pos) {
    const Item* item = orders::cand_item(c);
    return ContinueKey{cand_updated(c.item_index), item ? item->progress_fraction : 0.0,
                       item ? item->resume_position_s : 0.0, pos};
  }
  static int order(const ContinueKey& a, const ContinueKey& b) {
    if (a.updated != b.updated) return a.updated > b.updated ? -1 : 1;
    if (a.fraction > b.fraction) return -1;
    if (a.fraction < b.fraction) return 1;
    if (a.position > b.position) return -1;
    if (a.position < b.position) return 1;
    return 0;
  }
};

// Recently added first; every unknown (negative) time after all known ones,
// unknown times all alike.
struct AddedKey {
  static constexpr bool kSelectFirst = true;
  int64_t added;
  int32_t pos;
  static AddedKey of(const Cand& c, int32_t pos) { return AddedKey{c.added_ms, pos}; }
  static int order(const AddedKey& a, const AddedKey& b) {
    const bool na = a.added < 0;
    const bool nb = b.added < 0;
    if (na != nb) return na ? 1 : -1;
    if (na) return 0;
    return orders::ascending(b.added, a.added);
  }
};

// Later years first, then titles by bytes.
struct YearTitleKey {
  static constexpr bool kSelectFirst = true;
  orders::TitleRef title;
  int32_t year, pos;
  static YearTitleKey of(const Cand& c, int32_t pos) {
    const Item* item = orders::cand_item(c);
    return YearTitleKey{orders::title_ref(orders::eff_title(c)), item ? item->year : -1, pos};
  }
  static int order(const YearTitleKey& a, const YearTitleKey& b) {
    if (a.year != b.year) return b.year > a.year ? 1 : -1;
    return orders::title_order(a.title, b.title);
  }
};

// Season, episode, air date (a date before none), then titles by bytes.
struct EpisodeKey {
  static constexpr bool kSelectFirst = false;
  const char* air;
  orders::TitleRef title;
  int32_t season, episode, pos;
  static EpisodeKey of(const Cand& c, int32_t pos) {
    const Item* item = orders::cand_item(c);
    return EpisodeKey{item ? item->air_date.get() : nullptr, orders::title_ref(orders::eff_title(c)),
                      item ? item->season : -1, item ? item->episode : -1, pos};
  }
  static int order(const EpisodeKey& a, const EpisodeKey& b) {
    if (int c = orders::ascending(a.season, b.season)) return c;
    if (int c = orders::ascending(a.episode, b.episode)) return c;
    if (a.air != nullptr && b.air == nullptr) return -1;
    if (a.air == nullptr && b.air != nullptr) return 1;
    if (a.air != nullptr && b.air != nullptr) {
      const int c = std::strcmp(a.air, b.air);
      if (c != 0) return c < 0 ? -1 : 1;
    }
    return orders::title_order(a.title, b.title);
  }
};

// Natural order of folder names: runs of digits by number (leading zeros
// aside), everything else byte by byte ignoring ASCII case; names before
// none.
struct FolderKey {
  static constexpr bool kSelectFirst = false;
  const char* title;
  int32_t pos;
  static FolderKey of(const Cand& c, int32_t pos) { return FolderKey{orders::eff_title(c), pos}; }
  static int order(const FolderKey& a, const FolderKey& b) {
    const char* pa = a.title;
    const char* pb = b.title;
    if (pa == nullptr || pb == nullptr) return orders::ascending(pa == nullptr, pb == nullptr);
    for (;;) {
      if (*pa == '\0') return *pb == '\0' ? 0 : -1;
      if (*pb == '\0') return 1;
      if (orders::is_digit(*pa) && orders::is_digit(*pb)) {
        const char* ea = pa;
        while (orders::is_digit(*ea)) ++ea;
        const char* eb = pb;
        while (orders::is_digit(*eb)) ++eb;
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
      const signed char ca = orders::fold(*pa);
      const signed char cb = orders::fold(*pb);
      if (ca != cb) return ca < cb ? -1 : 1;
      ++pa;
      ++pb;
    }
  }
};

}  // namespace kavo
