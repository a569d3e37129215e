// The watch array: field spellings, rejections, the table and its limit.
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "frame/model.h"
#include "ingest/ingest.h"
#include "support/fixture.h"

using kavo_test::KavoTest;
using kavo_test::str;

namespace {

class WatchTest : public KavoTest {
 protected:
  static const kavo::WatchRec& at(int i) { return kavo::s_watch.at(static_cast<std::size_t>(i)); }
};

TEST_F(WatchTest, NullAndEmptyArrayEmptyTheTableFailuresKeepIt) {
  ASSERT_EQ(kavo_set_watch(R"([{"id":"a","position":1},{"id":"b","position":2}])"), 0);
  ASSERT_EQ(kavo::n_watch(), 2);
  EXPECT_EQ(kavo_set_watch(nullptr), 0);
  EXPECT_EQ(kavo::n_watch(), 0);

  ASSERT_EQ(kavo_set_watch(R"([{"id":"a","position":1}])"), 0);
  EXPECT_EQ(kavo_set_watch(""), 1);
  EXPECT_STREQ(kavo_last_error(), "watch: not valid JSON");
  EXPECT_EQ(kavo_last_code(), 1);
  EXPECT_EQ(kavo::n_watch(), 1);

  EXPECT_EQ(kavo_set_watch(R"({"id":"a"})"), 1);
  EXPECT_STREQ(kavo_last_error(), "watch: expected an array");
  EXPECT_EQ(kavo::n_watch(), 1);

  ASSERT_EQ(kavo_set_watch(R"([{"id":"a","position":1}])"), 0);
  EXPECT_EQ(kavo_set_watch("[]"), 0);
  EXPECT_STREQ(kavo_last_error(), "");
  EXPECT_EQ(kavo::n_watch(), 0);
}

TEST_F(WatchTest, AnEntryIsStoredAsRead) {
  ASSERT_EQ(kavo_set_watch(R"([{"id":7,"position":30},)"
                           R"({"item_id":"x","ItemId":"y","id":"z","imdbId":"tt1","Source":"host",)"
                           R"("Key":"k1","Season":"2","episode":3,"durationSeconds":"1200",)"
                           R"("Value":1.7,"isFinished":"yes","size":"77","updated_ms":123},)"
                           R"({"p5":4,"p6":9,"p7":12345,"positionSeconds":-5,"fraction":0.5}])"),
            0);
  ASSERT_EQ(kavo::n_watch(), 3);
  EXPECT_EQ(str(at(0).item_id.get()), "7");
  EXPECT_DOUBLE_EQ(at(0).position_s, 30);
  EXPECT_EQ(at(0).imdb_id.get(), nullptr);
  EXPECT_EQ(at(0).season, -1);
  EXPECT_EQ(at(0).episode, -1);
  EXPECT_DOUBLE_EQ(at(0).fraction, -1);
  EXPECT_DOUBLE_EQ(at(0).duration_s, -1);
  EXPECT_EQ(at(0).finished, -1);
  EXPECT_EQ(at(0).size, -1);
  EXPECT_EQ(at(0).updated_ms, -1);
  EXPECT_EQ(at(0).source.get(), nullptr);
  EXPECT_EQ(at(0).key.get(), nullptr);
  EXPECT_EQ(at(0).item_index, -1);
  EXPECT_FALSE(at(0).from_server_home);

  EXPECT_EQ(str(at(1).item_id.get()), "x");
  EXPECT_EQ(str(at(1).imdb_id.get()), "tt1");
  EXPECT_EQ(str(at(1).source.get()), "host");
  EXPECT_EQ(str(at(1).key.get()), "k1");
  EXPECT_EQ(at(1).season, 2);
  EXPECT_EQ(at(1).episode, 3);
  EXPECT_DOUBLE_EQ(at(1).duration_s, 1200);
  EXPECT_DOUBLE_EQ(at(1).fraction, 1.7);
  EXPECT_EQ(at(1).finished, 1);
  EXPECT_EQ(at(1).size, 77);
  EXPECT_EQ(at(1).updated_ms, 123);

  EXPECT_EQ(at(2).season, 4);
  EXPECT_EQ(at(2).episode, 9);
  EXPECT_EQ(at(2).size, 12345);
  EXPECT_DOUBLE_EQ(at(2).position_s, -5);  // stored unchanged
  EXPECT_DOUBLE_EQ(at(2).fraction, 0.5);
}

TEST_F(WatchTest, EachKeyListGoesOnPastUnusableValues) {
  ASSERT_EQ(kavo_set_watch(R"([{"item_id":null,"ItemId":{"a":1},"id":"z","finished":null,"Finished":"no",)"
                           R"("isFinished":true,"size":true,"Size":"12abc","Season":3000000000,)"
                           R"("p6":"4294967297","imdbId":["tt0"],"IMDBID":"tt9"},)"
                           R"({"id":"q","isFinished":[true],"position":"30s","fraction":"x","Value":"0.25",)"
                           R"("duration_s":false,"Duration":"90","src":false,"KEY":12.5},)"
                           R"({"id":"r","finished":{"v":true},"position_s":null}])"),
            0);
  ASSERT_EQ(kavo::n_watch(), 2);
  EXPECT_EQ(kavo::s_rejected, 1);
  EXPECT_EQ(str(at(0).item_id.get()), "z");
  EXPECT_EQ(at(0).finished, 0);  // the first key with a usable value decides
  EXPECT_EQ(at(0).size, 12);
  EXPECT_EQ(at(0).season, 0);     // outside the 32-bit range
  EXPECT_EQ(at(0).episode, 1);    // low 32 bits of the text's value
  // Every IMDb spelling finds the earlier array first, exactly or ignoring
  // case, so the later text is never reached.
  EXPECT_EQ(at(0).imdb_id.get(), nullptr);

  EXPECT_EQ(at(1).finished, -1);
  EXPECT_DOUBLE_EQ(at(1).position_s, 30);
  EXPECT_DOUBLE_EQ(at(1).fraction, 0.25);
  EXPECT_DOUBLE_EQ(at(1).duration_s, 90);
  EXPECT_EQ(str(at(1).source.get()), "false");
  EXPECT_EQ(str(at(1).key.get()), "12.5");
}

TEST_F(WatchTest, EntriesWithoutProgressAndNonObjectsAreRejected) {
  ASSERT_EQ(kavo_set_watch(R"([{"id":"a","duration_s":100},3,"x",null,)"
                           R"({"id":"b","finished":false},{"id":"c","Position":0},)"
                           R"({"id":"d","position":-1,"fraction":-0.5}])"),
            0);
  EXPECT_EQ(kavo::s_rejected, 5);
  ASSERT_EQ(kavo::n_watch(), 2);
  EXPECT_EQ(str(at(0).item_id.get()), "b");
  EXPECT_EQ(at(0).finished, 0);
  EXPECT_DOUBLE_EQ(at(0).position_s, -1);
  EXPECT_DOUBLE_EQ(at(0).fraction, -1);
  EXPECT_EQ(str(at(1).item_id.get()), "c");
  EXPECT_DOUBLE_EQ(at(1).position_s, 0);
}

TEST_F(WatchTest, RejectionsRunOnAcrossCallsUntilAClear) {
  ASSERT_EQ(kavo_set_watch(R"([1,{"id":"a","position":1}])"), 0);
  ASSERT_EQ(kavo_set_watch(R"([{"id":"b"}])"), 0);
  EXPECT_EQ(kavo::s_rejected, 2);
  kavo_clear();
  EXPECT_EQ(kavo::s_rejected, 0);
}

TEST_F(WatchTest, UpdateTimeFromNumbersNumericTextAndDateTimes) {
  ASSERT_EQ(kavo_set_watch(R"([{"position":1,"updatedAt":"1705314030001"},)"
                           R"({"position":1,"UpdatedAt":"2024-01-15T12:20:30+02:00"},)"
                           R"({"position":1,"recordUpdated":"2024-01-15T10:20:30.5Z"},)"
                           R"({"position":1,"updated_ms":1e30},)"
                           R"({"position":1,"UpdatedAt":"1969-12-31"},)"
                           R"({"position":1,"updated_ms":true,"updatedAt":"x","recordUpdated":" 2024-01-15"},)"
                           R"({"position":1,"updated_ms":5,"UpdatedAt":"2024-01-15"}])"),
            0);
  ASSERT_EQ(kavo::n_watch(), 7);
  EXPECT_EQ(at(0).updated_ms, 1705314030001LL);
  EXPECT_EQ(at(1).updated_ms, 1705314030000LL);
  EXPECT_EQ(at(2).updated_ms, 1705314030000LL);
  EXPECT_EQ(at(3).updated_ms, INT64_MAX);
  EXPECT_EQ(at(4).updated_ms, -1);  // a date before 1970 is no time
  EXPECT_EQ(at(5).updated_ms, 1705276800000LL);  // keys without a value are passed over
  EXPECT_EQ(at(6).updated_ms, 5);                // the first key decides
  EXPECT_TRUE(kavo::looks_like_datetime("2024-01-15"));
  EXPECT_FALSE(kavo::looks_like_datetime("-2024"));
  EXPECT_FALSE(kavo::looks_like_datetime("1705314030001"));
}

TEST_F(WatchTest, TheTableStopsAt200000Entries) {
  std::string text = "[";
  text.reserve(200001 * 16);
  for (int i = 0; i <= 200000; ++i) {
    if (i > 0) text += ',';
    text += R"({"position":1})";
  }
  text += ']';
  // One entry too many: the call fails and the table stays as it was.
  ASSERT_EQ(kavo_set_watch(R"([{"id":"old","position":1}])"), 0);
  EXPECT_EQ(kavo_set_watch(text.c_str()), 3);
  EXPECT_STREQ(kavo_last_error(), "out of memory");
  EXPECT_EQ(kavo_last_code(), 3);
  EXPECT_EQ(kavo::n_watch(), 1);
  // A full table still turns away what tells nothing, without failing.
  text.resize(text.size() - std::string(R"(,{"position":1}])").size());
  text += R"(,{"id":"x","duration_s":5},3])";
  EXPECT_EQ(kavo_set_watch(text.c_str()), 0);
  EXPECT_EQ(kavo::n_watch(), 200000);
  EXPECT_EQ(kavo::s_watch.capacity(), 200000u);
  EXPECT_EQ(kavo::watch_ensure_room(), 4);
  EXPECT_EQ(kavo::s_rejected, 2);
  EXPECT_EQ(kavo_set_watch("[]"), 0);
  EXPECT_EQ(kavo::n_watch(), 0);
  EXPECT_EQ(kavo::watch_ensure_room(), 0);
}

TEST_F(WatchTest, GrowthStartsAt64AndDoubles) {
  EXPECT_EQ(kavo::watch_ensure_room(), 0);
  EXPECT_EQ(kavo::s_watch.capacity(), 64u);
  std::string text = "[";
  for (int i = 0; i < 65; ++i) text += std::string(i ? "," : "") + R"({"fraction":0})";
  text += ']';
  ASSERT_EQ(kavo_set_watch(text.c_str()), 0);
  EXPECT_EQ(kavo::s_watch.capacity(), 128u);
}


// An array sent again is compared with the text the entries were read from,
// and only the elements that differ are read. Chains of random edits, valid
// and not (bytes put in, taken out or changed, elements changed, added,
// dropped or moved, white space), must give the table, the rejected count
// and the status that reading every array whole gives.
class WatchAgainTest : public KavoTest {
 protected:
  std::mt19937_64 rng_;
  int below(std::size_t n) { return n <= 1 ? 0 : static_cast<int>(rng_() % n); }
  bool chance(int percent) { return below(100) < percent; }

  std::string space() {
    static const char* const kSpaces[] = {"", "", "", " ", "\n  ", "\t"};
    return kSpaces[below(6)];
  }

  // One element: an entry in one of its spellings, or something turned away.
  std::string element() {
    const int k = below(20);
    if (k == 0) return std::to_string(below(100));
    if (k == 1) return R"({"id":"x)" + std::to_string(below(3)) + R"("})";
    if (k == 2) return "[" + space() + "1" + space() + "]";
    std::string e = "{";
    auto member = [&](const std::string& key, const std::string& value) {
      if (e.size() > 1) e += "," + space();
      e += "\"" + key + "\"" + space() + ":" + space() + value;
    };
    const char* const kIds[] = {"item_id", "ItemId", "id", "ITEM_ID"};
    if (chance(80)) member(kIds[below(4)], "\"i" + std::to_string(below(6)) + "\"");
    if (chance(30)) member(chance(50) ? "imdb_id" : "imdbId", "\"tt" + std::to_string(below(3)) + "\"");
    if (chance(30)) member(chance(80) ? "key" : "Key", "\"k" + std::to_string(below(4)) + "\"");
    if (chance(20)) member("season", std::to_string(below(3)));
    if (chance(20)) member("episode", chance(80) ? std::to_string(below(9)) : "\"4\"");
    if (chance(60)) member(chance(80) ? "position_s" : "Position", std::to_string(below(5000)) + (chance(30) ? ".5" : ""));
    if (chance(30)) member("fraction", chance(90) ? "0." + std::to_string(below(100)) : "-0.0");
    if (chance(20)) member("finished", chance(70) ? "true" : "\"yes\"");
    if (chance(60)) member("updated_ms", chance(90) ? std::to_string(1000 * below(20)) : "\"2024-05-01T10:00:00Z\"");
    if (chance(25)) member(chance(80) ? "source" : "src", chance(50) ? "\"local_store\"" : "\"player\"");
    if (chance(10)) member("size", std::to_string(below(1000000)));
    if (chance(5)) member("item_id", "\"dup\"");  // a key given twice
    if (chance(5)) member("note", "\"a \\\"quoted\\\" , ] } text\"");
    return e + "}";
  }

  static std::string array(const std::vector<std::string>& elements, const std::vector<std::string>& gaps) {
    std::string s = gaps[0] + "[" + gaps[1];
    for (std::size_t i = 0; i < elements.size(); ++i) {
      s += elements[i];
      s += i + 1 < elements.size() ? gaps[2 + i % (gaps.size() - 3)] + "," + gaps[1] : gaps.back();
    }
    return s + "]";
  }

  // The text after one random edit; `elements` follows edits of whole
  // elements.
  std::string edit(const std::string& text, std::vector<std::string>& elements, std::vector<std::string>& gaps) {
    const int k = below(20);
    if (k < 6 || text.empty()) {  // a byte
      static const char kBytes[] = " ,\"{}[]:1a\\\n-.e";
      std::string t = text;
      const std::size_t at = static_cast<std::size_t>(below(t.size() + 1));
      const char c = kBytes[below(sizeof kBytes - 1)];
      if (k < 2 || at == t.size()) {
        t.insert(at, 1, c);
      } else if (k < 4) {
        t.erase(at, k == 3 ? 1 + static_cast<std::size_t>(below(40)) : 1);
      } else {
        t[at] = c;
      }
      return t;
    }
    if (k < 15 && !elements.empty()) {  // an element changed, several now and then
      for (int n = chance(70) ? 1 : 2 + below(3); n > 0; --n) elements[static_cast<std::size_t>(below(elements.size()))] = element();
    } else if (k < 17) {
      elements.insert(elements.begin() + below(elements.size() + 1), element());
    } else if (k < 18 && !elements.empty()) {
      elements.erase(elements.begin() + below(elements.size()));
    } else if (k < 19 && elements.size() > 1) {
      std::swap(elements[static_cast<std::size_t>(below(elements.size()))], elements.back());
    } else {
      gaps[static_cast<std::size_t>(below(gaps.size()))] = space();
    }
    return array(elements, gaps);
  }

  // The table with every field, the rejected count and the last status.
  static std::string state(int32_t rc) {
    std::string s = "rc " + std::to_string(rc) + " " + kavo_last_error() + " rejected " +
                    std::to_string(kavo::s_rejected) + "\n";
    for (const kavo::WatchRec& w : kavo::s_watch) {
      char numbers[256];
      std::snprintf(numbers, sizeof numbers, "|%d|%d|%a|%a|%a|%d|%lld|%lld|%d|", w.season, w.episode, w.position_s,
                    w.fraction, w.duration_s, w.finished, static_cast<long long>(w.size),
                    static_cast<long long>(w.updated_ms), w.from_server_home ? 1 : 0);
      s += str(w.item_id.get()) + "|" + str(w.imdb_id.get()) + numbers + str(w.source.get()) + "|" +
           str(w.key.get()) + "\n";
    }
    return s;
  }

  // Sets the arrays one after another, comparing with the texts kept and
  // then reading each whole; the states after each must agree.
  void compare_chain(const std::vector<std::string>& texts, bool server, const std::string& what) {
    std::vector<std::string> in_place;
    for (int whole = 0; whole <= 1; ++whole) {
      kavo_clear();
      if (server) {
        ASSERT_EQ(kavo_set_server_home(R"({"Continues":[{"IMDbId":"tt1","Value":0.5}]})"), 0);
      }
      for (std::size_t i = 0; i < texts.size(); ++i) {
        if (whole) kavo::s_model.watch.host_text.valid = false;
        const std::string s = state(kavo_set_watch(texts[i].c_str()));
        if (!whole) {
          in_place.push_back(s);
          continue;
        }
        ASSERT_EQ(in_place[i], s) << what << ", array " << i << ": " << texts[i]
                                  << "\nafter: " << (i ? texts[i - 1] : "");
      }
    }
  }
};

TEST_F(WatchAgainTest, EditedArraysReadAsWhenReadWhole) {
  const std::string a = R"({"id":"a","position":1})", b = R"({"id":"b","position":2})";
  const std::vector<std::vector<std::string>> chains = {
      {"[" + a + ",7]", "[" + a + ",]", "[" + a + ", 7 ]", "[" + a + ",  ]", "[" + a + "]"},
      {"[7," + a + "]", "[," + a + "]", "[ 7 ," + a + "]", "[  ," + a + "]"},
      {"[1,2]", "[12]", "[1 2]", "[1,2]", "[1,,2]", "[1,2,]"},
      {"[" + a + "," + b + "]", "[" + a + b + "]", "[" + a + "," + b + "]]", "[" + a + "," + b + "] x",
       "[" + a + "," + b + "," + a + "]", "[" + b + "," + a + "]"},
      {R"(["a,b",)" + a + "]", R"(["a",b",)" + a + "]", R"(["a\",b",)" + a + "]", R"(["a\\",b",)" + a + "]"},
      {"[7]", "[]", "[7]", " [7]", "[7] ", "[ ]"},
      {"[" + a + "]", "[" + b + "]", R"([{"id":"b","position":2,"id":"c"}])", R"([{"ID":"b","position":2}])"},
  };
  for (std::size_t c = 0; c < chains.size(); ++c) {
    compare_chain(chains[c], c % 2 == 1, "chain " + std::to_string(c));
    if (HasFailure()) return;
  }
  for (uint64_t seed = 1; seed <= 60; ++seed) {
    rng_.seed(seed);
    std::vector<std::string> elements;
    for (int n = below(30); n > 0; --n) elements.push_back(element());
    std::vector<std::string> gaps;
    for (int n = 4 + below(3); n > 0; --n) gaps.push_back(space());
    std::vector<std::string> texts = {array(elements, gaps)};
    for (int n = 0; n < 60; ++n) texts.push_back(edit(chance(85) ? array(elements, gaps) : texts.back(), elements, gaps));
    // Now and then the server's progress follows the host's.
    compare_chain(texts, seed % 3 == 0, "seed " + std::to_string(seed));
    if (HasFailure()) return;
  }
}

}  // namespace
