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
#include <string>

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

// Natural order of two texts: runs of digits by number (leading zeros
// aside), everything else byte by byte ignoring ASCII case, a text that ends
// first before the other; 0 when they are alike that way. Bytes compare as
// signed values (kUnsigned false: non-ASCII before ASCII) or unsigned
// (true: after it).
template <bool kUnsigned>
int natural_walk(const char* pa, const char* pb) {
  for (;;) {
    if (*pa == '\0') return *pb == '\0' ? 0 : -1;
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
    if (ca != cb) {
      if constexpr (kUnsigned) return static_cast<unsigned char>(ca) < static_cast<unsigned char>(cb) ? -1 : 1;
      return ca < cb ? -1 : 1;
    }
    ++pa;
    ++pb;
  }
}

// The byte order of titles: strcmp's, a title before none.
struct ByteTitle {
  TitleRef ref;
  static ByteTitle of(const char* text) { return ByteTitle{title_ref(text)}; }
  static int order(const ByteTitle& a, const ByteTitle& b) { return title_order(a.ref, b.ref); }
};

// The natural order of titles: the titles without a leading article ("The
// Abyss" as "Abyss") in natural order, bytes of 0x80 and above after ASCII;
// titles alike that way by strcmp; a title before none.
struct NaturalTitle {
  const char* text;
  const char* key;  // the text without its article
  static NaturalTitle of(const char* text) { return NaturalTitle{text, text ? without_article(text) : nullptr}; }
  static int order(const NaturalTitle& a, const NaturalTitle& b) {
    if (a.text == nullptr || b.text == nullptr) return ascending(a.text == nullptr, b.text == nullptr);
    if (int c = natural_walk<true>(a.key, b.key)) return c;
    const int c = std::strcmp(a.text, b.text);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  // The first of the settings' articles that begins the title (ignoring
  // ASCII case) followed by a space and some more text is skipped.
  static const char* without_article(const char* text) {
    const TitleArticles& articles = s_settings.resume.title_articles;
    for (int32_t k = 0; k < articles.count; ++k) {
      const std::string& word = articles.words[k];
      std::size_t n = 0;
      while (n < word.size() && text[n] != '\0' && fold(text[n]) == fold(word[n])) ++n;
      if (n == word.size() && text[n] == ' ' && text[n + 1] != '\0') return text + n + 1;
    }
    return text;
  }
};

}  // namespace orders

// Continue Watching: most recently watched first, then the larger fraction,
// then the later position, all of the candidate's ranking item.
struct ContinueKey : ContinueRank {
  static constexpr bool kSelectFirst = true;
  static ContinueKey of_item(int32_t index, int32_t pos) {
    const Item* item = valid_item_index(index) ? &s_items[static_cast<std::size_t>(index)] : nullptr;
    return ContinueKey{{cand_updated(index), item ? item->progress_fraction : 0.0,
                        item ? item->resume_position_s : 0.0, pos}};
  }
  static ContinueKey of(const Cand& c, int32_t pos) {
    return of_item(c.rank_index >= 0 ? c.rank_index : c.item_index, pos);
  }
  static int order(const ContinueRank& a, const ContinueRank& b) {
    if (a.updated != b.updated) return a.updated > b.updated ? -1 : 1;
    if (a.fraction > b.fraction) return -1;
    if (a.fraction < b.fraction) return 1;
    if (a.position > b.position) return -1;
    if (a.position < b.position) return 1;
    return 0;
  }
};

// Sorts keys of Continue Watching into row order, in `keys` (with `scratch`
// as room to sort in); stable, so keys the order does not tell apart keep
// their order. Throws when memory runs out, leaving `keys` as it was.
void sort_continue_keys(std::vector<ContinueRank>& keys, std::vector<ContinueRank>& scratch);

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

// Later years first (unless kByYear is false), then titles in the order of
// Title (orders::ByteTitle or orders::NaturalTitle).
template <class Title, bool kByYear>
struct CatalogueKey {
  static constexpr bool kSelectFirst = true;
  Title title;
  int32_t year, pos;
  static CatalogueKey of(const Cand& c, int32_t pos) {
    const Item* item = orders::cand_item(c);
    return CatalogueKey{Title::of(orders::eff_title(c)), item ? item->year : -1, pos};
  }
  static int order(const CatalogueKey& a, const CatalogueKey& b) {
    if (kByYear && a.year != b.year) return b.year > a.year ? 1 : -1;
    return Title::order(a.title, b.title);
  }
};
using YearTitleKey = CatalogueKey<orders::ByteTitle, true>;

// Season, episode, air date (a date before none), then titles in the order
// of Title.
template <class Title>
struct SeasonEpisodeKey {
  static constexpr bool kSelectFirst = false;
  const char* air;
  Title title;
  int32_t season, episode, pos;
  static SeasonEpisodeKey of(const Cand& c, int32_t pos) {
    const Item* item = orders::cand_item(c);
    return SeasonEpisodeKey{item ? item->air_date.get() : nullptr, Title::of(orders::eff_title(c)),
                            item ? item->season : -1, item ? item->episode : -1, pos};
  }
  static int order(const SeasonEpisodeKey& a, const SeasonEpisodeKey& b) {
    if (int c = orders::ascending(a.season, b.season)) return c;
    if (int c = orders::ascending(a.episode, b.episode)) return c;
    if (a.air != nullptr && b.air == nullptr) return -1;
    if (a.air == nullptr && b.air != nullptr) return 1;
    if (a.air != nullptr && b.air != nullptr) {
      const int c = std::strcmp(a.air, b.air);
      if (c != 0) return c < 0 ? -1 : 1;
    }
    return Title::order(a.title, b.title);
  }
};
using EpisodeKey = SeasonEpisodeKey<orders::ByteTitle>;

// Natural order of folder names: runs of digits by number (leading zeros
// aside), everything else byte by byte ignoring ASCII case; names before
// none.
struct FolderKey {
  static constexpr bool kSelectFirst = false;
  const char* title;
  int32_t pos;
  static FolderKey of(const Cand& c, int32_t pos) { return FolderKey{orders::eff_title(c), pos}; }
  static int order(const FolderKey& a, const FolderKey& b) {
    if (a.title == nullptr || b.title == nullptr) return orders::ascending(a.title == nullptr, b.title == nullptr);
    return orders::natural_walk<false>(a.title, b.title);
  }
};

}  // namespace kavo
