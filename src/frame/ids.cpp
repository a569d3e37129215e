#include "frame/ids.h"

#include <cstring>

namespace kavo {

std::vector<std::string> split_ids(const char* text) {
  std::vector<std::string> tokens;
  if (text == nullptr) return tokens;
  try {
    tokens.reserve(32);
    const char* p = text;
    for (;;) {
      const char* end = std::strchr(p, ',');
      const char* stop = end ? end : p + std::strlen(p);
      const char* b = p;
      while (b < stop && *b == ' ') ++b;
      const char* e = stop;
      while (e > b && (e[-1] == '\t' || e[-1] == '\n' || e[-1] == '\r' || e[-1] == ' ')) --e;
      if (e > b) tokens.emplace_back(b, static_cast<std::size_t>(e - b));
      if (end == nullptr) break;
      p = end + 1;
    }
  } catch (...) {
    // out of memory: what was gathered so far
  }
  return tokens;
}

}  // namespace kavo
