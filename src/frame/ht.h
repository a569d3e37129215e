// A string-keyed open-addressing map from text to a signed 32-bit value.
//
// Hashing eight bytes at a time (text_hash64), linear probing, kept at most
// three quarters full. Keys are compared exactly, byte for byte. There is no
// removal of single keys.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

namespace kavo {

// A 64-bit hash of a NUL-terminated text, eight bytes at a time: ids and
// paths are hashed by the hundred thousand on every rebuild.
uint64_t text_hash64(const char* text) noexcept;

class Ht {
 public:
  Ht() noexcept = default;
  ~Ht() { release(); }
  Ht(const Ht&) = delete;
  Ht& operator=(const Ht&) = delete;
  // Moving hands the table over; the source is left empty and unallocated.
  Ht(Ht&& other) noexcept { swap(other); }
  Ht& operator=(Ht&& other) noexcept {
    if (this != &other) {
      release();
      swap(other);
    }
    return *this;
  }
  void swap(Ht& other) noexcept {
    std::swap(entries_, other.entries_);
    std::swap(capacity_, other.capacity_);
    std::swap(count_, other.count_);
  }

  // Stores `value` under `key` (which must not be NULL). An existing key is
  // overwritten only when `overwrite` is set, so without it the first value
  // wins. A new key is stored as an owned copy; when the copy cannot be made,
  // or the map is full and cannot grow, nothing is stored.
  void put(const char* key, int32_t value, bool overwrite) noexcept;
  // As put, but the map keeps `key` itself instead of a copy. The caller
  // guarantees the text outlives the map's current contents.
  void put_borrowed(const char* key, int32_t value, bool overwrite) noexcept;
  // 0 and the value when present; 1 when absent, the key is NULL or the map
  // was never filled.
  int get(const char* key, int32_t* value) const noexcept;

  // Frees every key and the table; the map is empty and unallocated.
  void release() noexcept;
  // Frees every key and keeps the table, zeroed, for the next keys.
  void empty() noexcept;
  // Empties the map and gives it a zeroed table of at least `capacity` slots
  // (at least 1): its own table when that is at most four times as large,
  // else a fresh one. Returns false when the table cannot be allocated.
  bool reset(std::size_t capacity) noexcept;

  std::size_t capacity() const noexcept { return capacity_; }
  std::size_t count() const noexcept { return count_; }

  static uint32_t hash(const char* key) noexcept;

 private:
  struct Entry {
    const char* key;  // NULL marks a free slot
    uint32_t hash;
    int32_t value;
    bool owned;
  };

  void insert(const char* key, int32_t value, bool overwrite, bool borrow) noexcept;
  void free_owned_keys() noexcept;
  void grow() noexcept;

  Entry* entries_ = nullptr;
  std::size_t capacity_ = 0;
  std::size_t count_ = 0;
};

}  // namespace kavo
