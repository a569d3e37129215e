// Owned C texts of the model.
//
// Every text the model keeps lives in its own malloc'd block that never moves
// when the record holding it is moved, so a pointer handed to the host stays
// valid while the record arrays grow. An empty Text stands for "none".
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>

namespace kavo {

struct FreeDeleter {
  void operator()(void* p) const noexcept { std::free(p); }
};

class Text {
 public:
  Text() noexcept = default;
  // Takes over a malloc'd NUL-terminated text (NULL gives none).
  static Text adopt(char* owned) noexcept {
    Text t;
    t.p_.reset(owned);
    return t;
  }

  const char* get() const noexcept { return p_.get(); }
  char* data() noexcept { return p_.get(); }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  void reset() noexcept { p_.reset(); }
  char* release() noexcept { return p_.release(); }

 private:
  std::unique_ptr<char, FreeDeleter> p_;
};

// The longest text the model stores, in bytes (without the NUL).
inline constexpr std::size_t kMaxTextBytes = 8192;

// The one way texts enter the model: a heap copy of `text`, or none when
// `text` is NULL or memory runs out. A text longer than kMaxTextBytes is cut
// at the start of the UTF-8 character that crosses the limit, so a cut never
// leaves a broken character behind (ASCII keeps exactly kMaxTextBytes bytes).
Text xstrdup(const char* text) noexcept;
// As xstrdup, for `len` bytes that need not be NUL-terminated.
Text xstrndup(const char* text, std::size_t len) noexcept;

}  // namespace kavo
