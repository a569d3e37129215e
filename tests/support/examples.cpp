#include <fstream>
#include <sstream>

#include "support/fixture.h"

namespace kavo_test {

std::string example_text(const char* name) {
  std::ifstream in(std::string(KAVO_EXAMPLES_DIR) + "/" + name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace kavo_test
