// Helpers for the tests of inputs at the limits: big and deep JSON texts and
// reading the documents back.
#pragma once

#include <gtest/gtest.h>
#include <yyjson.h>

#include <time.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "frame/json_doc.h"
#include "support/fixture.h"

namespace limits_test {

// `depth` arrays inside each other: [[[...]]].
inline std::string deep_array(std::size_t depth) {
  return std::string(depth, '[') + std::string(depth, ']');
}

// `depth` objects inside each other, each under the key "a".
inline std::string deep_object(std::size_t depth) {
  std::string s;
  s.reserve(depth * 6 + 2);
  for (std::size_t i = 0; i < depth; ++i) s += "{\"a\":";
  s += "{}";
  s += std::string(depth, '}');
  return s;
}

// `count` copies of `element`, comma-separated, in brackets.
inline std::string array_of(const std::string& element, std::size_t count) {
  std::string s;
  s.reserve(count * (element.size() + 1) + 2);
  s += '[';
  for (std::size_t i = 0; i < count; ++i) {
    if (i) s += ',';
    s += element;
  }
  s += ']';
  return s;
}

// A parsed document, freed at scope end; null root when the text is not JSON.
class Json {
 public:
  explicit Json(const char* text) : doc_(text ? kavo::read_json(text, std::strlen(text)) : nullptr) {}
  yyjson_val* root() const { return yyjson_doc_get_root(doc_.get()); }
  // A member read as an integer (-1 when missing).
  int64_t num(const char* key) const { return num_in(root(), key); }
  static int64_t num_in(yyjson_val* obj, const char* key) {
    yyjson_val* v = yyjson_obj_get(obj, key);
    return yyjson_is_int(v) ? yyjson_get_sint(v) : -1;
  }

 private:
  kavo::JsonDoc doc_;
};

// The "status" of the lint document of a text, and one of its counts.
inline int32_t lint_status(const std::string& text, const char* count_key = nullptr, int64_t* count = nullptr) {
  Json lint(kavo_lint_json(text.c_str()));
  EXPECT_NE(lint.root(), nullptr) << kavo_last_error();
  if (count != nullptr) *count = lint.num(count_key);
  return static_cast<int32_t>(lint.num("status"));
}

// A count from the "stats" member of the result document.
inline int64_t stat(const char* key) {
  Json result(kavo_result_json());
  return Json::num_in(yyjson_obj_get(result.root(), "stats"), key);
}

// Processor seconds of this thread since construction: unlike wall time,
// they do not grow when other work shares the machine.
class Stopwatch {
 public:
  Stopwatch() : start_(now()) {}
  double seconds() const { return now() - start_; }

 private:
  static double now() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
  }
  double start_;
};

// A call with an input at the limits must answer within this many processor
// seconds, under the sanitizers on a slow machine included; a linear pass
// over these inputs takes a fraction of it, a quadratic one far longer.
inline constexpr double kBoundSeconds = 30.0;

// Runs one call and checks that it answered within the bound, stretched by
// KAVO_LIMITS_TIME_SCALE when the tests run under a slow checker (valgrind).
template <class Call>
int32_t timed(const char* what, Call&& call) {
  const char* scale_text = std::getenv("KAVO_LIMITS_TIME_SCALE");
  const double scale = scale_text != nullptr && std::atof(scale_text) > 1.0 ? std::atof(scale_text) : 1.0;
  Stopwatch clock;
  const int32_t rc = call();
  EXPECT_LT(clock.seconds(), kBoundSeconds * scale) << what;
  return rc;
}
#define TIMED(call) limits_test::timed(#call, [&] { return (call); })

}  // namespace limits_test
