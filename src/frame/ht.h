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
    std::swap(owned_, other.owned_);
    std::swap(stale_, other.stale_);
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

  // The same calls with the key's hash (hash(key)) computed by the caller,
  // who can then have the key's slot fetched into the cache (prefetch) well
  // before asking: a lookup in a map of a few hundred thousand keys otherwise
  // waits on memory.
  int get_hashed(const char* key, uint32_t hash, int32_t* value) const noexcept;
  void put_borrowed_hashed(const char* key, uint32_t hash, int32_t value, bool overwrite) noexcept;
  void prefetch(uint32_t hash) const noexcept {
    if (entries_ != nullptr) __builtin_prefetch(&entries_[slot_of(hash & kHashBits, capacity_)]);
  }

  // Has the key in the slot where a search for `hash` starts fetched into
  // the cache: a search that finds its key compares texts, and the key
  // filed lies elsewhere in memory. Worth it once that slot was fetched
  // (prefetch, a little earlier).
  void prefetch_key(uint32_t hash) const noexcept {
    if (entries_ == nullptr || stale_) return;
    if (const char* key = entries_[slot_of(hash & kHashBits, capacity_)].key) __builtin_prefetch(key);
  }

  // Frees every key and the table; the map is empty and unallocated.
  void release() noexcept;
  // Frees every key and keeps the table for the next keys. The table is
  // zeroed only when a key goes in: a map emptied with its model is mostly
  // made anew by reset() or copy_borrowed() before it is used again.
  void empty() noexcept;
  // Empties the map and gives it a zeroed table of at least `capacity` slots
  // (at least 1): its own table when that is at most four times as large,
  // else a fresh one. Returns false when the table cannot be allocated.
  bool reset(std::size_t capacity) noexcept;

  // Grows the table, keeping its keys, so that `keys` keys in all fit
  // without growing again; false when the larger table cannot be allocated
  // (the map is then as it was).
  bool reserve(std::size_t keys) noexcept;

  // Makes this map a copy of `other`, whose keys must all be borrowed (the
  // copy borrows them from the same owner), in its own table when that has
  // the same size. False when `other` owns keys or the table cannot be
  // allocated; this map is then empty.
  bool copy_borrowed(const Ht& other) noexcept;

  std::size_t capacity() const noexcept { return capacity_; }
  std::size_t count() const noexcept { return count_; }

  static uint32_t hash(const char* key) noexcept;

 private:
  // 16 bytes, so that four share a cache line: the hash's lowest bit is
  // replaced by whether the map owns the key.
  struct Entry {
    const char* key;  // NULL marks a free slot
    uint32_t hash_owned;
    int32_t value;
    uint32_t hash() const noexcept { return hash_owned & kHashBits; }
    bool owned() const noexcept { return (hash_owned & 1u) != 0; }
  };
  static constexpr uint32_t kHashBits = ~1u;
  // The first slot to probe for a (masked) hash: its high bits scaled to the
  // capacity, which needs no division.
  static std::size_t slot_of(uint32_t hash, std::size_t capacity) noexcept {
    return static_cast<std::size_t>((static_cast<uint64_t>(hash) * capacity) >> 32);
  }

  void insert(const char* key, uint32_t hash, int32_t value, bool overwrite, bool borrow) noexcept;
  void free_owned_keys() noexcept;
  void zero_stale() noexcept;
  void grow() noexcept;
  bool rehash(std::size_t capacity) noexcept;

  Entry* entries_ = nullptr;
  std::size_t capacity_ = 0;
  std::size_t count_ = 0;
  std::size_t owned_ = 0;  // keys the map owns
  // The slots are to be read as free (after empty()): zeroed before the next
  // key goes in.
  bool stale_ = false;
};

}  // namespace kavo
