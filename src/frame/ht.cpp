#include "frame/ht.h"

#include <cstdlib>
#include <cstring>

#include "frame/text.h"

namespace kavo {

uint64_t text_hash64(const char* text) noexcept {
  constexpr uint64_t kMul = 0x9E3779B97F4A7C15ull;
  std::size_t n = std::strlen(text);
  uint64_t h = (n + 1) * kMul;
  for (; n >= 8; n -= 8, text += 8) {
    uint64_t w;
    std::memcpy(&w, text, 8);
    h = (h ^ w) * kMul;
    h ^= h >> 29;
  }
  if (n > 0) {
    uint64_t w = 0;
    std::memcpy(&w, text, n);
    h = (h ^ w) * kMul;
  }
  return h ^ (h >> 32);
}

uint32_t Ht::hash(const char* key) noexcept { return static_cast<uint32_t>(text_hash64(key)); }

void Ht::free_owned_keys() noexcept {
  // A map of borrowed keys only is not walked.
  if (owned_ == 0) return;
  owned_ = 0;
  for (std::size_t i = 0; i < capacity_; ++i) {
    if (entries_[i].key != nullptr && entries_[i].owned()) {
      std::free(const_cast<char*>(entries_[i].key));
    }
  }
}

void Ht::release() noexcept {
  free_owned_keys();
  std::free(entries_);
  entries_ = nullptr;
  capacity_ = 0;
  count_ = 0;
  stale_ = false;
}

void Ht::empty() noexcept {
  if (entries_ == nullptr) return;
  free_owned_keys();  // while the slots still tell them
  count_ = 0;
  stale_ = true;
}

void Ht::zero_stale() noexcept {
  std::memset(static_cast<void*>(entries_), 0, capacity_ * sizeof(Entry));
  stale_ = false;
}

bool Ht::reset(std::size_t capacity) noexcept {
  if (capacity == 0) capacity = 1;
  // A table of about the size asked for is emptied and kept: a map rebuilt
  // again and again over a large model then touches no fresh pages.
  if (entries_ != nullptr && capacity_ >= capacity && capacity_ / 4 <= capacity) {
    free_owned_keys();
    zero_stale();
    count_ = 0;
    return true;
  }
  release();
  auto* fresh = static_cast<Entry*>(std::calloc(capacity, sizeof(Entry)));
  if (fresh == nullptr) {
    note_allocation_failure();
    return false;
  }
  entries_ = fresh;
  capacity_ = capacity;
  return true;
}

int Ht::get(const char* key, int32_t* value) const noexcept {
  if (entries_ == nullptr || key == nullptr) return 1;
  return get_hashed(key, hash(key), value);
}

int Ht::get_hashed(const char* key, uint32_t hash, int32_t* value) const noexcept {
  if (entries_ == nullptr || key == nullptr || stale_) return 1;
  const uint32_t h = hash & kHashBits;
  std::size_t slot = slot_of(h, capacity_);
  for (std::size_t probes = 0; probes < capacity_; ++probes) {
    const Entry& e = entries_[slot];
    if (e.key == nullptr) return 1;
    if (e.hash() == h && std::strcmp(e.key, key) == 0) {
      if (value != nullptr) *value = e.value;
      return 0;
    }
    slot = (slot + 1 == capacity_) ? 0 : slot + 1;
  }
  return 1;  // every slot holds another key
}

void Ht::put(const char* key, int32_t value, bool overwrite) noexcept {
  if (key != nullptr) insert(key, hash(key), value, overwrite, false);
}

void Ht::put_borrowed(const char* key, int32_t value, bool overwrite) noexcept {
  if (key != nullptr) insert(key, hash(key), value, overwrite, true);
}

void Ht::put_borrowed_hashed(const char* key, uint32_t hash, int32_t value, bool overwrite) noexcept {
  if (key != nullptr) insert(key, hash, value, overwrite, true);
}

void Ht::insert(const char* key, uint32_t hash, int32_t value, bool overwrite, bool borrow) noexcept {
  if (entries_ == nullptr && !reset(64)) return;
  if (stale_) zero_stale();
  const uint32_t h = hash & kHashBits;
  std::size_t slot = slot_of(h, capacity_);
  std::size_t probes = 0;
  for (; probes < capacity_; ++probes) {
    Entry& e = entries_[slot];
    if (e.key == nullptr) break;
    if (e.hash() == h && std::strcmp(e.key, key) == 0) {
      if (overwrite) e.value = value;
      return;
    }
    slot = (slot + 1 == capacity_) ? 0 : slot + 1;
  }
  if (probes == capacity_) return;  // full and could not grow: refuse the key

  const char* stored = key;
  if (!borrow) {
    Text copy = xstrdup(key);
    if (!copy) return;
    stored = copy.release();
  }
  entries_[slot] = Entry{stored, h | (borrow ? 0u : 1u), value};
  ++count_;
  if (!borrow) ++owned_;
  if (4 * count_ > 3 * capacity_) grow();
}

void Ht::grow() noexcept {
  rehash(capacity_ * 2);  // on failure: keep working at a higher load
}

bool Ht::reserve(std::size_t keys) noexcept {
  // The capacities growing by doubling from 64 reaches.
  std::size_t bigger = capacity_ != 0 ? capacity_ : 64;
  while (4 * keys > 3 * bigger) bigger *= 2;
  if (entries_ == nullptr || stale_) return reset(bigger);
  return bigger == capacity_ || rehash(bigger);
}

bool Ht::copy_borrowed(const Ht& other) noexcept {
  if (this == &other) return other.owned_ == 0;
  if (other.owned_ != 0 || other.entries_ == nullptr || other.stale_) {
    release();
    return other.owned_ == 0;
  }
  if (entries_ != nullptr && capacity_ == other.capacity_) {
    free_owned_keys();
  } else {
    release();
    entries_ = static_cast<Entry*>(std::malloc(other.capacity_ * sizeof(Entry)));
    if (entries_ == nullptr) return false;
    capacity_ = other.capacity_;
  }
  std::memcpy(static_cast<void*>(entries_), other.entries_, other.capacity_ * sizeof(Entry));
  count_ = other.count_;
  stale_ = false;
  return true;
}

bool Ht::rehash(std::size_t bigger) noexcept {
  auto* fresh = static_cast<Entry*>(std::calloc(bigger, sizeof(Entry)));
  if (fresh == nullptr) return false;
  for (std::size_t i = 0; i < capacity_; ++i) {
    const Entry& e = entries_[i];
    if (e.key == nullptr) continue;
    std::size_t slot = slot_of(e.hash(), bigger);
    while (fresh[slot].key != nullptr) slot = (slot + 1 == bigger) ? 0 : slot + 1;
    fresh[slot] = e;
  }
  std::free(entries_);
  entries_ = fresh;
  capacity_ = bigger;
  return true;
}

}  // namespace kavo
