#include "frame/status.h"

#include <cstring>

namespace kavo {

char s_err[kErrBytes];
int32_t s_err_code = 0;

void set_message(const char* message) noexcept {
  // Messages are fixed literals well under the buffer size; copy with the NUL
  // over the start of the buffer and leave the bytes behind it alone.
  std::size_t n = std::strlen(message);
  if (n >= kErrBytes) n = kErrBytes - 1;
  std::memcpy(s_err, message, n);
  s_err[n] = '\0';
}

int32_t fail(int32_t code, const char* message) noexcept {
  set_message(message);
  s_err_code = code;
  return code;
}

int32_t succeed() noexcept {
  s_err[0] = '\0';
  s_err_code = 0;
  return 0;
}

}  // namespace kavo
