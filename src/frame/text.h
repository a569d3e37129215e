// Owned C texts of the model.
//
// Every text the model keeps lives in storage that never moves when the
// record holding it is moved, so a pointer handed to the host stays valid
// while the record arrays grow: its own malloc'd block, or a place in a
// TextArena that holds the texts of one whole table and lets them go when the
// table is emptied. An empty Text stands for "none".
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

namespace kavo {

class TextArena;

class Text {
 public:
  Text() noexcept = default;
  // Takes over a malloc'd NUL-terminated text (NULL gives none).
  static Text adopt(char* owned) noexcept {
    Text t;
    t.p_.reset(owned);
    return t;
  }
  // Refers to a text kept by a TextArena (at an even address), which the
  // Text never frees.
  static Text in_arena(char* kept) noexcept {
    Text t;
    t.p_.reset(kept == nullptr ? nullptr : tag(kept));
    return t;
  }

  const char* get() const noexcept { return untag(p_.get()); }
  char* data() noexcept { return untag(p_.get()); }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  // Whether the text is kept by an arena (and not owned by this Text).
  bool arena_kept() const noexcept { return tagged(p_.get()); }
  void reset() noexcept { p_.reset(); }
  // The text as a malloc'd block for the caller to free (for a text kept by
  // an arena, a heap copy; NULL when that copy cannot be made); the Text is
  // none afterwards.
  char* release() noexcept;

 private:
  // The lowest bit of the stored pointer marks a text kept by an arena.
  static char* tag(char* p) noexcept {
    return reinterpret_cast<char*>(reinterpret_cast<std::uintptr_t>(p) | 1u);
  }
  static char* untag(char* p) noexcept {
    return reinterpret_cast<char*>(reinterpret_cast<std::uintptr_t>(p) & ~std::uintptr_t{1});
  }
  static bool tagged(const char* p) noexcept { return (reinterpret_cast<std::uintptr_t>(p) & 1u) != 0; }

  struct Deleter {
    void operator()(char* p) const noexcept {
      if (!tagged(p)) std::free(p);
    }
  };
  std::unique_ptr<char, Deleter> p_;
};

// Whether two texts are equal byte for byte; none equals only none.
inline bool same_text(const char* a, const char* b) noexcept {
  if (a == nullptr || b == nullptr) return a == b;
  return std::strcmp(a, b) == 0;
}

// The longest text the model stores, in bytes (without the NUL).
inline constexpr std::size_t kMaxTextBytes = 8192;

// Notes that an allocation failed and the work went on without it: what the
// rebuild keeps for the next one may then be incomplete (see the model).
void note_allocation_failure() noexcept;
// How many allocation failures were noted so far: a reader whose count did
// not move copied every text it meant to.
uint64_t allocation_failures() noexcept;

// The one way texts enter the model: a copy of `text`, or none when `text` is
// NULL or memory runs out. A text longer than kMaxTextBytes is cut at the
// start of the UTF-8 character that crosses the limit, so a cut never leaves
// a broken character behind (ASCII keeps exactly kMaxTextBytes bytes). The
// copy is a heap block of its own, or a place in the arena of the innermost
// ArenaScope alive.
Text xstrdup(const char* text) noexcept;
// As xstrdup, for `len` bytes that need not be NUL-terminated.
inline Text xstrndup(const char* text, std::size_t len) noexcept;

// While one is alive, xstrdup and xstrndup copy into `arena` (NULL: the heap
// again). The loaders open one around the reading of a record whose texts all
// belong to the arena's table.
namespace text_detail {
// The arena of the innermost ArenaScope alive, or NULL.
inline TextArena* active_arena = nullptr;
// xstrndup when the copy does not fit the active arena's current block as
// it is: the cut, the next block, or the heap.
Text copy_text(const char* text, std::size_t len) noexcept;
}  // namespace text_detail

class ArenaScope {
 public:
  explicit ArenaScope(TextArena* arena) noexcept : previous_(text_detail::active_arena) {
    text_detail::active_arena = arena;
  }
  ~ArenaScope() { text_detail::active_arena = previous_; }
  ArenaScope(const ArenaScope&) = delete;
  ArenaScope& operator=(const ArenaScope&) = delete;

 private:
  TextArena* previous_;
};

// Texts of one table in large blocks: a copy costs a pointer bump, and all
// the table's texts go at once when the table is emptied. The blocks are kept
// for the texts of the next filling, so a table filled again takes no new
// memory from the system; release() gives them back.
class TextArena {
 public:
  TextArena() noexcept = default;
  ~TextArena() { release(); }
  TextArena(const TextArena&) = delete;
  TextArena& operator=(const TextArena&) = delete;
  // Moving hands the blocks over, texts and all: pointers into them stay
  // valid. The source is left empty, with no blocks.
  TextArena(TextArena&& other) noexcept { swap(other); }
  TextArena& operator=(TextArena&& other) noexcept {
    if (this != &other) {
      release();
      swap(other);
    }
    return *this;
  }
  void swap(TextArena& other) noexcept {
    std::swap(blocks_, other.blocks_);
    std::swap(count_, other.count_);
    std::swap(cap_, other.cap_);
    std::swap(current_, other.current_);
  }

  // Room for `bytes` bytes at an even address; NULL when memory runs out.
  char* allocate(std::size_t bytes) noexcept {
    if (char* p = bump(bytes)) return p;
    return allocate_more(bytes);
  }
  // The same room when the block being filled has it; NULL otherwise.
  char* bump(std::size_t bytes) noexcept {
    bytes = (bytes + 1) & ~std::size_t{1};  // keeps every text at an even address
    if (current_ >= count_ || bytes == 0) return nullptr;
    Block& b = blocks_[current_];
    if (kBlockBytes - b.used < bytes) return nullptr;
    char* p = b.data + b.used;
    b.used += bytes;
    return p;
  }

  // The arena's fill level; rollback() gives back everything allocated after
  // it was taken (texts that nobody refers to any more).
  struct Mark {
    std::size_t block = 0;
    std::size_t used = 0;
  };
  Mark mark() const noexcept;
  void rollback(const Mark& mark) noexcept;

  // Forgets every text and keeps the blocks.
  void reset() noexcept;
  // Forgets every text and frees the blocks.
  void release() noexcept;

 private:
  char* allocate_more(std::size_t bytes) noexcept;

  static constexpr std::size_t kBlockBytes = 64 * 1024;  // holds the longest text many times
  struct Block {
    char* data;
    std::size_t used;
  };
  Block* blocks_ = nullptr;
  std::size_t count_ = 0;    // blocks allocated
  std::size_t cap_ = 0;      // room in blocks_
  std::size_t current_ = 0;  // the block being filled (== count_ when none)
};

inline Text xstrndup(const char* text, std::size_t len) noexcept {
  // Most copies are short and go to the block being filled.
  if (TextArena* arena = text_detail::active_arena; arena != nullptr && text != nullptr && len <= kMaxTextBytes) {
    if (char* copy = arena->bump(len + 1)) {
      std::memcpy(copy, text, len);
      copy[len] = '\0';
      return Text::in_arena(copy);
    }
  }
  return text_detail::copy_text(text, len);
}

}  // namespace kavo
