// The replaced allocation functions. They forward to glibc's own allocator
// (__libc_malloc and friends), so blocks from either side can be freed by
// the other, and count what they hand out.
#include "interpose.h"

#include <execinfo.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <new>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* block);
}

namespace {

// The test is single-threaded, so plain counters do.
bool g_armed = false;
bool g_persistent = false;
bool g_hit = false;
bool g_trace = false;
int64_t g_fail_at = 0;
int64_t g_seen = 0;
int64_t g_live = 0;

bool fail_now() noexcept {
  if (!g_armed) return false;
  const int64_t n = g_seen++;
  if (n == g_fail_at || (g_persistent && n > g_fail_at)) {
    if (g_trace && n == g_fail_at) {
      // Where the failing allocation was asked for (backtrace itself must
      // not allocate here: it was primed when tracing was switched on).
      void* frames[32];
      const int depth = backtrace(frames, 32);
      backtrace_symbols_fd(frames, depth, 2);
    }
    g_hit = true;
    return true;
  }
  return false;
}

void* counted(void* block) noexcept {
  if (block != nullptr) ++g_live;
  return block;
}

}  // namespace

namespace inject {

void arm(int64_t k, bool persistent) noexcept {
  g_fail_at = k;
  g_persistent = persistent;
  g_seen = 0;
  g_hit = false;
  g_armed = true;
}

int64_t disarm() noexcept {
  g_armed = false;
  return g_seen;
}

bool hit() noexcept { return g_hit; }

void trace_failures(bool on) noexcept {
  if (on) {
    void* frames[2];
    backtrace(frames, 2);  // loads what backtrace needs before any failure
  }
  g_trace = on;
}

int64_t live_blocks() noexcept { return g_live; }

}  // namespace inject

extern "C" {

void* malloc(std::size_t size) {
  if (fail_now()) return nullptr;
  return counted(__libc_malloc(size));
}

void* calloc(std::size_t count, std::size_t size) {
  if (fail_now()) return nullptr;
  return counted(__libc_calloc(count, size));
}

void* realloc(void* block, std::size_t size) {
  if (block == nullptr) return malloc(size);
  if (size == 0) {
    // glibc frees the block and answers NULL.
    --g_live;
    __libc_free(block);
    return nullptr;
  }
  if (fail_now()) return nullptr;  // the block stays as it was
  return __libc_realloc(block, size);
}

void free(void* block) {
  if (block == nullptr) return;
  --g_live;
  __libc_free(block);
}

void* memalign(std::size_t alignment, std::size_t size) {
  if (fail_now()) return nullptr;
  return counted(__libc_memalign(alignment, size));
}

void* aligned_alloc(std::size_t alignment, std::size_t size) { return memalign(alignment, size); }

int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
  void* block = memalign(alignment, size);
  if (block == nullptr) return 12;  // ENOMEM
  *out = block;
  return 0;
}

}  // extern "C"

// operator new reports failure by throwing, as the library's guards expect.
void* operator new(std::size_t size) {
  void* block = malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return malloc(size == 0 ? 1 : size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return malloc(size == 0 ? 1 : size);
}
void operator delete(void* block) noexcept { free(block); }
void operator delete[](void* block) noexcept { free(block); }
void operator delete(void* block, std::size_t) noexcept { free(block); }
void operator delete[](void* block, std::size_t) noexcept { free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { free(block); }
