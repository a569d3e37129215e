// Owned texts and the string map.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "frame/ht.h"
#include "frame/model.h"
#include "frame/text.h"

using kavo::Ht;
using kavo::Text;
using kavo::xstrdup;

TEST(Xstrdup, CopiesAndCutsAtTheLimit) {
  EXPECT_FALSE(xstrdup(nullptr));
  EXPECT_STREQ(xstrdup("").get(), "");

  std::string exact(8192, 'a');
  Text same = xstrdup(exact.c_str());
  EXPECT_EQ(std::string(same.get()), exact);

  std::string longer(10000, 'b');
  EXPECT_EQ(std::strlen(xstrdup(longer.c_str()).get()), 8192u);
}

TEST(Xstrdup, NeverSplitsAUtf8Character) {
  // 8190 ASCII bytes, then a 4-byte character that crosses the 8192 limit.
  std::string text(8190, 'x');
  text += "\xF0\x9F\x98\x80";
  text += "tail";
  Text cut = xstrdup(text.c_str());
  EXPECT_EQ(std::string(cut.get()), std::string(8190, 'x'));

  // A 2-byte character ending exactly at the limit stays whole.
  std::string fits(8190, 'y');
  fits += "\xC3\xA9";
  fits += "more";
  EXPECT_EQ(std::strlen(xstrdup(fits.c_str()).get()), 8192u);

  // A 3-byte character starting at byte 8191 is dropped whole.
  std::string three(8191, 'z');
  three += "\xE2\x82\xAC";
  EXPECT_EQ(std::strlen(xstrdup(three.c_str()).get()), 8191u);
}

TEST(Xstrdup, StrayContinuationBytesAtTheLimitKeepWholeCharacters) {
  // Only a character that reaches past the limit is dropped: a complete one
  // just before a stray continuation byte stays, and so does plain ASCII.
  std::string two(8190, 'y');
  two += "\xC3\xA9\x80tail";
  EXPECT_EQ(std::string(xstrdup(two.c_str()).get()), std::string(8190, 'y') + "\xC3\xA9");

  std::string ascii(8191, 'a');
  ascii += "\x80\x80more";
  EXPECT_EQ(std::string(xstrdup(ascii.c_str()).get()), std::string(8191, 'a') + "\x80");

  std::string three(8189, 'q');
  three += "\xE2\x82\xAC\x80";
  EXPECT_EQ(std::string(xstrdup(three.c_str()).get()), std::string(8189, 'q') + "\xE2\x82\xAC");

  // Only continuation bytes from some point on: cut by the byte count.
  std::string stray(8188, 'r');
  stray += std::string(10, '\x80');
  EXPECT_EQ(std::strlen(xstrdup(stray.c_str()).get()), 8192u);
}

TEST(Ht, GrowsPastThreeQuartersAndKeepsEveryKey) {
  Ht map;
  int32_t v = 0;
  EXPECT_EQ(map.get("missing", &v), 1);  // never filled
  for (int i = 0; i < 48; ++i) map.put(("k" + std::to_string(i)).c_str(), i, false);
  EXPECT_EQ(map.capacity(), 64u);
  map.put("k48", 48, false);
  EXPECT_EQ(map.capacity(), 128u);
  for (int i = 0; i < 49; ++i) {
    ASSERT_EQ(map.get(("k" + std::to_string(i)).c_str(), &v), 0);
    EXPECT_EQ(v, i);
  }
  EXPECT_EQ(map.get(nullptr, &v), 1);
}

TEST(Ht, FirstValueWinsUnlessOverwriting) {
  Ht map;
  int32_t v = 0;
  map.put("key", 1, false);
  map.put("key", 2, false);
  ASSERT_EQ(map.get("key", &v), 0);
  EXPECT_EQ(v, 1);
  map.put("key", 2, true);
  map.get("key", &v);
  EXPECT_EQ(v, 2);
  map.put("KEY", 3, false);  // case matters
  map.get("KEY", &v);
  EXPECT_EQ(v, 3);
  map.get("key", &v);
  EXPECT_EQ(v, 2);
  EXPECT_EQ(map.count(), 2u);
  map.put("", 9, false);  // the empty key is a key
  ASSERT_EQ(map.get("", &v), 0);
  EXPECT_EQ(v, 9);
}

TEST(Ht, SmallTableGrowsAndAbsentKeysEndTheProbe) {
  // A table given a small capacity by its owner grows as keys arrive; a probe
  // for an absent key ends.
  Ht map;
  ASSERT_TRUE(map.reset(4));
  for (int i = 0; i < 100; ++i) map.put(("x" + std::to_string(i)).c_str(), i, false);
  int32_t v = -1;
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(map.get(("x" + std::to_string(i)).c_str(), &v), 0);
    EXPECT_EQ(v, i);
  }
  EXPECT_EQ(map.get("absent", &v), 1);
  map.release();
  EXPECT_EQ(map.get("x1", &v), 1);
  EXPECT_EQ(map.capacity(), 0u);
}

TEST(Ht, BorrowedKeysAreFoundLikeCopies) {
  Ht map;
  std::string a = "tt0001", b = "tt0002";
  map.put_borrowed(a.c_str(), 0, false);
  map.put_borrowed(b.c_str(), 1, false);
  map.put_borrowed(a.c_str(), 5, false);
  int32_t v = -1;
  ASSERT_EQ(map.get("tt0001", &v), 0);
  EXPECT_EQ(v, 0);
  ASSERT_EQ(map.get("tt0002", &v), 0);
  EXPECT_EQ(v, 1);

  // A copy finds the same keys and values; a map owning a key is not copied.
  Ht copy;
  copy.put("stale", 9, false);
  ASSERT_TRUE(copy.copy_borrowed(map));
  EXPECT_EQ(copy.count(), 2u);
  ASSERT_EQ(copy.get("tt0002", &v), 0);
  EXPECT_EQ(v, 1);
  EXPECT_NE(copy.get("stale", &v), 0);
  map.put("owned", 2, false);
  EXPECT_FALSE(copy.copy_borrowed(map));
  EXPECT_EQ(copy.count(), 0u);
}

TEST(Model, EnsureRoomFollowsTheGrowthLadder) {
  std::vector<int> array;
  EXPECT_EQ(kavo::ensure_room(array), 0);
  EXPECT_EQ(array.capacity(), 64u);
  array.resize(64);
  EXPECT_EQ(kavo::ensure_room(array), 0);
  EXPECT_EQ(array.capacity(), 128u);
  array.reserve(131072);
  array.resize(131072);
  EXPECT_EQ(kavo::ensure_room(array), 0);
  EXPECT_EQ(array.capacity(), 200000u);
  array.resize(200000);
  EXPECT_EQ(kavo::ensure_room(array), 4);
}
