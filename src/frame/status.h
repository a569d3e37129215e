// The call frame: status codes and the last-error text shared by all calls.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kavo {

enum Status : int32_t {
  kOk = 0,
  kBadJson = 1,      // not valid JSON, or the wrong JSON shape
  kBadArgument = 2,  // NULL or out-of-range argument
  kNoMemory = 3,     // allocation failed, or a table is full
  kBufferSmall = 4,  // the caller's output buffer is too small
  kNotFound = 5,     // no such item or source, or nothing selected
};

inline constexpr std::size_t kErrBytes = 1024;

extern char s_err[kErrBytes];
extern int32_t s_err_code;

// A failing fallible call: writes `message`, stores `code` and returns it.
int32_t fail(int32_t code, const char* message) noexcept;
// A successful fallible call: empties the message, stores 0, returns 0.
int32_t succeed() noexcept;
// Getters that fail write a message but leave the status code alone.
void set_message(const char* message) noexcept;

}  // namespace kavo
