// Shared test fixture: every test starts from a freshly loaded library state
// (empty model, default settings and row cap, empty status frame).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "kavo.h"

namespace kavo_test {

inline void reset_library() {
  kavo_shutdown();
  kavo_set_row_cap(200);
  kavo_set_resume_settings(nullptr);
  kavo_set_autoplay_settings(nullptr);
  kavo_clear();
}

class KavoTest : public ::testing::Test {
 protected:
  void SetUp() override { reset_library(); }
  void TearDown() override { kavo_shutdown(); }
};

// A returned text as a std::string ("<null>" for NULL), for comparisons.
inline std::string str(const char* text) { return text ? std::string(text) : std::string("<null>"); }

}  // namespace kavo_test
