// The thin C layer's safety net: no exception ever crosses the C interface.
// Each exported function runs its C++ body through one of these guards, which
// turn anything thrown (in practice std::bad_alloc) into the call's documented
// failure.
#pragma once

#include <cstdint>
#include <utility>

#include "frame/status.h"

namespace kavo {

// Fallible calls: an exception becomes status 3 with the call's message.
template <class F>
int32_t guard_status(const char* oom_message, F&& body) noexcept {
  try {
    return std::forward<F>(body)();
  } catch (...) {
    return fail(kNoMemory, oom_message);
  }
}

// Queries: an exception gives the query's failure value.
template <class T, class F>
T guard_value(T failure, F&& body) noexcept {
  try {
    return std::forward<F>(body)();
  } catch (...) {
    return failure;
  }
}

// Buffer getters: an exception reads as "oom" and the failure value; the
// status code stays untouched.
template <class F>
const char* guard_getter(const char* failure, F&& body) noexcept {
  try {
    return std::forward<F>(body)();
  } catch (...) {
    set_message("oom");
    return failure;
  }
}

}  // namespace kavo
