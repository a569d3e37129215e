#include "frame/text.h"

#include <cstring>

namespace kavo {

namespace {

bool is_continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Bytes of the sequence a lead byte starts (1 for ASCII and stray bytes).
std::size_t sequence_length(unsigned char lead) {
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

// Length of the longest prefix of `len` bytes that fits kMaxTextBytes without
// splitting a UTF-8 sequence.
std::size_t cut_length(const char* text, std::size_t len) {
  if (len <= kMaxTextBytes) return len;
  std::size_t cut = kMaxTextBytes;
  // Step back over continuation bytes of the character that crosses the cut;
  // a well-formed sequence has at most three of them.
  std::size_t back = 0;
  while (cut > 0 && back < 3 && is_continuation(static_cast<unsigned char>(text[cut]))) {
    --cut;
    ++back;
  }
  if (back == 0) return kMaxTextBytes;
  const unsigned char lead = static_cast<unsigned char>(text[cut]);
  // Only a lead byte whose sequence reaches past the limit is cut off; stray
  // continuation bytes, or a character that ends before the limit followed
  // by stray ones, leave the byte count as it is.
  if (is_continuation(lead) || sequence_length(lead) <= back) return kMaxTextBytes;
  return cut;
}

}  // namespace

char* Text::release() noexcept {
  char* p = p_.release();
  if (p == nullptr || !tagged(p)) return p;
  const char* kept = untag(p);
  const std::size_t n = std::strlen(kept) + 1;
  char* copy = static_cast<char*>(std::malloc(n));
  if (copy != nullptr) std::memcpy(copy, kept, n);
  return copy;
}

Text text_detail::copy_text(const char* text, std::size_t len) noexcept {
  if (text == nullptr) return Text();
  const std::size_t n = cut_length(text, len);
  if (TextArena* arena = text_detail::active_arena) {
    char* copy = arena->allocate(n + 1);
    if (copy == nullptr) {
      note_allocation_failure();
      return Text();
    }
    std::memcpy(copy, text, n);
    copy[n] = '\0';
    return Text::in_arena(copy);
  }
  char* copy = static_cast<char*>(std::malloc(n + 1));
  if (copy == nullptr) {
    note_allocation_failure();
    return Text();
  }
  std::memcpy(copy, text, n);
  copy[n] = '\0';
  return Text::adopt(copy);
}

Text xstrdup(const char* text) noexcept {
  if (text == nullptr) return Text();
  return xstrndup(text, std::strlen(text));
}

char* TextArena::allocate_more(std::size_t bytes) noexcept {
  bytes = (bytes + 1) & ~std::size_t{1};  // keeps every text at an even address
  if (bytes == 0 || bytes > kBlockBytes) return nullptr;
  // The block being filled, then the kept blocks after it, then a new one.
  while (current_ < count_) {
    Block& b = blocks_[current_];
    if (kBlockBytes - b.used >= bytes) {
      char* p = b.data + b.used;
      b.used += bytes;
      return p;
    }
    if (current_ + 1 == count_) break;
    blocks_[++current_].used = 0;
  }
  if (count_ == cap_) {
    const std::size_t cap = cap_ == 0 ? 64 : cap_ * 2;
    auto* grown = static_cast<Block*>(std::realloc(blocks_, cap * sizeof(Block)));
    if (grown == nullptr) return nullptr;
    blocks_ = grown;
    cap_ = cap;
  }
  // malloc gives at least 8-byte alignment, so even offsets are even addresses.
  char* data = static_cast<char*>(std::malloc(kBlockBytes));
  if (data == nullptr) return nullptr;
  blocks_[count_] = Block{data, bytes};
  current_ = count_++;
  return data;
}

TextArena::Mark TextArena::mark() const noexcept {
  if (count_ == 0) return Mark{};
  return Mark{current_, blocks_[current_].used};
}

void TextArena::rollback(const Mark& mark) noexcept {
  if (count_ == 0) return;
  if (mark.block >= count_) {
    reset();
    return;
  }
  current_ = mark.block;
  blocks_[current_].used = mark.used;
}

void TextArena::reset() noexcept {
  current_ = 0;
  if (count_ > 0) blocks_[0].used = 0;
}

void TextArena::release() noexcept {
  for (std::size_t i = 0; i < count_; ++i) std::free(blocks_[i].data);
  std::free(blocks_);
  blocks_ = nullptr;
  count_ = cap_ = current_ = 0;
}

}  // namespace kavo
