// The result document built and written in memory kept from one rebuild to
// the next: the texts are those of a fresh build, a refused document leaves
// the kept buffer usable, and a larger model grows it.
#include <cmath>
#include <limits>
#include <string>

#include "support/fixture.h"
#include "documents/documents.h"
#include "documents/writers.h"
#include "frame/model.h"

using kavo_test::KavoTest;
using kavo_test::str;

namespace {

std::string inputs(int n) {
  std::string items = "[";
  for (int i = 0; i < n; ++i) {
    const std::string id = std::to_string(i);
    items += (i ? "," : "") + std::string(R"({"id":"m)") + id + R"(","kind":"movie","title":"Movie )" + id +
             R"(","year":)" + std::to_string(1990 + i % 30) + R"(,"added_ms":)" + std::to_string(1000 + i) +
             R"(,"duration_s":3600,"sources":[{"key":"k","url":"u)" + id + R"("}]})";
  }
  items += "]";
  return R"({"items":)" + items + R"(,"watch":[{"id":"m1","fraction":0.5,"updated_ms":7}]})";
}

class KeptMemoryTest : public KavoTest {};

TEST_F(KeptMemoryTest, ResultTextsAreThoseOfAFreshBuild) {
  const std::string small = inputs(3), large = inputs(3000);
  // Fresh: nothing kept yet.
  ASSERT_EQ(kavo_load_inputs(large.c_str()), 0);
  const std::string large_fresh = str(kavo_result_json());
  ASSERT_EQ(kavo_load_inputs(small.c_str()), 0);
  const std::string small_after_large = str(kavo_result_json());
  kavo_shutdown();
  ASSERT_EQ(kavo_load_inputs(small.c_str()), 0);
  EXPECT_EQ(str(kavo_result_json()), small_after_large);
  // Growing from a small kept buffer to a large one, and rebuilding the same.
  ASSERT_EQ(kavo_load_inputs(large.c_str()), 0);
  EXPECT_EQ(str(kavo_result_json()), large_fresh);
  ASSERT_EQ(kavo_select_item("m1"), 0);
  ASSERT_EQ(kavo_select_item("m2"), 0);
  ASSERT_EQ(kavo_load_inputs(large.c_str()), 0);
  EXPECT_EQ(str(kavo_result_json()), large_fresh);
  EXPECT_NE(large_fresh.find(R"("row_count":)"), std::string::npos);
}

TEST_F(KeptMemoryTest, ARefusedDocumentLeavesTheBufferUsable) {
  const std::string text = inputs(50);
  ASSERT_EQ(kavo_load_inputs(text.c_str()), 0);
  const std::string good = str(kavo_result_json());
  // A number the writer refuses, in a cell of the first row.
  kavo::Item& item = kavo::s_items.at(static_cast<std::size_t>(kavo::s_rows.at(0).cells.at(0).item_index));
  const double kept = item.progress_fraction;
  item.progress_fraction = std::numeric_limits<double>::quiet_NaN();
  kavo::rebuild_result();
  EXPECT_EQ(str(kavo_result_json()), "{}");
  item.progress_fraction = kept;
  kavo::rebuild_result();
  EXPECT_EQ(str(kavo_result_json()), good);
  // The kept memory goes with shutdown and comes back with the next build.
  kavo_shutdown();
  EXPECT_EQ(str(kavo_result_json()), "{}");
  ASSERT_EQ(kavo_load_inputs(text.c_str()), 0);
  EXPECT_EQ(str(kavo_result_json()), good);
}

}  // namespace
