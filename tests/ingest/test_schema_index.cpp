// The schema index: lookups answer as obj_get answers, for every key, every
// byte value at every position of short keys (keys are folded eight bytes at
// a time, and only the ASCII capitals A to Z fold), and embedded NULs.
#include <gtest/gtest.h>
#include <yyjson.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "frame/json_doc.h"
#include "ingest/readers.h"

namespace {

std::string json_key(const std::string& raw) {
  std::string out = "\"";
  for (unsigned char c : raw) {
    if (c < 0x20 || c == '"' || c == '\\') {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// The index of `text` over a schema that lists `probe` answers the probe, by
// its listed text and by a copy of it, as obj_get does.
void expect_lookup_as_obj_get(const std::string& text, const std::string& probe) {
  const kavo::JsonDoc doc = kavo::read_json(text.data(), text.size());
  if (doc == nullptr) return;  // not valid UTF-8: a probe only
  yyjson_val* root = yyjson_doc_get_root(doc.get());
  const std::string copy = probe;
  const char* const listed[] = {probe.c_str(), nullptr};
  const auto schema = std::make_unique<kavo::KeySchema>(std::initializer_list<kavo::KeyList>{listed});
  const kavo::SchemaIndex index(*schema, root);
  yyjson_val* expect = kavo::obj_get(root, probe.c_str());
  EXPECT_EQ(index(listed[0]), expect) << text << " " << probe;
  EXPECT_EQ(index(copy.c_str()), expect) << text << " " << probe;
}

TEST(SchemaIndex, EveryByteFoldsAsTheMemberLookupFoldsIt) {
  // Bytes around the capitals and lower-case letters, and lead bytes whose
  // low seven bits are capitals: C3 and E3 differ in the 0x20 bit alone
  // (probes need not be valid UTF-8, member keys are).
  const std::vector<unsigned char> bytes = {'@', 'A', 'M', 'Z', '[', '`', 'a', 'z', '{', '_', '0', 0x7F};
  const std::vector<std::string> high = {"\xC3\x81", "\xE3\x81\x81", "\xC3\xA1", "\xC3\x81\x81"};
  for (std::size_t len = 1; len <= 11; ++len) {
    for (std::size_t pos = 0; pos < len; ++pos) {
      for (unsigned char b : bytes) {
        for (unsigned char c : bytes) {
          // Members whose key differs from the probe in one byte (b against c).
          std::string probe(len, 'k');
          std::string member(len, 'K');
          probe[pos] = static_cast<char>(c);
          member[pos] = static_cast<char>(b);
          expect_lookup_as_obj_get("{" + json_key(member) + ":1," + json_key(probe + "x") + ":2}", probe);
        }
      }
    }
    for (const std::string& h : high) {
      for (const std::string& g : high) {
        expect_lookup_as_obj_get("{" + json_key(std::string(len, 'Q') + g) + ":1}", std::string(len, 'q') + h);
      }
    }
  }
}

}  // namespace

namespace {

// Every member's value is its own (a number, or for every third member a
// text that reads as no number).
std::string make_object(const std::vector<std::string>& keys, std::size_t from, std::size_t to) {
  std::string out = "{";
  for (std::size_t i = from; i < to; ++i) {
    const std::string value = i % 3 == 2 ? "\"n" + std::to_string(i) + "\"" : std::to_string(i);
    out += (i > from ? "," : "") + json_key(keys[i]) + ":" + value;
  }
  return out + "}";
}

TEST(SchemaIndex, AnswersAsTheMemberLookupForEveryKey) {
  // Schema spellings that share classes ("title"/"Title"), that are long
  // ("backdrop_url"), or one letter; keys with embedded NULs and high bytes.
  static const char* const k_a[] = {"title", "Title", "name", nullptr};
  static const char* const k_b[] = {"backdrop_url", "BackdropUrl", "backdropURL", nullptr};
  static const char* const k_c[] = {"a", "imdbId", "imDbID", "IMDbID", "title", nullptr};
  // Past the folded words a class keeps (32 bytes), and just inside them.
  static const char* const k_d[] = {"present_before_ending_percentage_x", "PresentBeforeEndingPercentage_XY",
                                    nullptr};
  // A list whose keys come from the other lists and from copies at other
  // addresses (which the schema answers by their bytes).
  static const std::string k_e_copy = "Title";
  static const char* const k_e[] = {k_c[1], k_e_copy.c_str(), k_b[0], "x", nullptr};
  static const kavo::KeySchema schema({k_a, k_b, k_c, k_d, k_e, nullptr});
  // And one the schema was not made from.
  static const char* const k_f[] = {"name", k_e_copy.c_str(), "imdbid", k_a[1], nullptr};
  const std::vector<std::string> spellings = {
      "title", "Title", "TITLE", "titl", "titles", std::string("ti\0tle", 6), std::string("title\0x", 7),
      "name", "NAME", "backdrop_url", "BACKDROP_URL", "backdropUrl", "backdrop_urk", "a", "A", "",
      "imdbid", "IMDBID", "imDbID", "\xC3\xA9", "x",
      "present_before_ending_percentage_x", "PRESENT_BEFORE_ENDING_PERCENTAGE_X",
      "present_before_ending_percentage_y", "presentbeforeendingpercentage_xy",
      "PresentBeforeEndingPercentage_XZ", std::string("present_before_ending_percentage_x\0z", 36)};
  // Probes: the registered texts themselves, copies of them at other
  // addresses, case variants that are no spelling, and unknown keys.
  std::vector<std::string> copies = {"title", "Title", "TITLE", "name", "Name", "backdrop_url",
                                     "BackdropUrl", "backdropurl", "a", "A", "imdbId", "IMDBID",
                                     "imDbID", "titl", "", "x", "\xC3\xA9",
                                     "present_before_ending_percentage_x", "presentbeforeendingpercentage_xy",
                                     "PRESENT_BEFORE_ENDING_PERCENTAGE_X"};
  std::vector<const char*> probes;
  for (kavo::KeyList list : {k_a, k_b, k_c, k_d}) {
    for (kavo::KeyList k = list; *k; ++k) probes.push_back(*k);
  }
  for (const std::string& c : copies) probes.push_back(c.c_str());

  uint32_t seed = 777;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
  for (int round = 0; round < 400; ++round) {
    const std::size_t n = next() % 30;
    std::vector<std::string> keys;
    for (std::size_t i = 0; i < n; ++i) keys.push_back(spellings[next() % spellings.size()]);
    const std::size_t split = n == 0 ? 0 : next() % (n + 1);
    const std::string whole = make_object(keys, 0, n);
    const kavo::JsonDoc w = kavo::read_json(whole.data(), whole.size());
    const std::string first = make_object(keys, 0, split), second = make_object(keys, split, n);
    const kavo::JsonDoc a = kavo::read_json(first.data(), first.size());
    const kavo::JsonDoc b = kavo::read_json(second.data(), second.size());
    ASSERT_TRUE(w && a && b) << whole;
    const kavo::SchemaIndex one(schema, yyjson_doc_get_root(w.get()));
    const kavo::SchemaIndex two(schema, yyjson_doc_get_root(a.get()), yyjson_doc_get_root(b.get()));
    for (const char* probe : probes) {
      yyjson_val* expect = kavo::obj_get(yyjson_doc_get_root(w.get()), probe);
      yyjson_val* got_one = one(probe);
      yyjson_val* got_two = two(probe);
      ASSERT_EQ(expect == nullptr, got_one == nullptr) << whole << " " << probe;
      ASSERT_EQ(expect == nullptr, got_two == nullptr) << whole << " " << probe;
      if (expect != nullptr) {
        EXPECT_TRUE(yyjson_equals(got_one, expect)) << whole << " " << probe;
        EXPECT_TRUE(yyjson_equals(got_two, expect)) << whole << " " << probe;
      }
    }
    // Whole lists, read through the index as through obj_get: the first key
    // that gives a value wins.
    auto by_obj_get = [&w](const char* key) { return kavo::obj_get(yyjson_doc_get_root(w.get()), key); };
    for (kavo::KeyList list : {k_a, k_b, k_c, k_d, k_e, k_f}) {
      int32_t expect = -7, got_one = -7, got_two = -7;
      const int found = kavo::find_int(by_obj_get, list, &expect);
      EXPECT_EQ(kavo::find_int(one, list, &got_one), found) << whole;
      EXPECT_EQ(kavo::find_int(two, list, &got_two), found) << whole;
      EXPECT_EQ(got_one, expect) << whole;
      EXPECT_EQ(got_two, expect) << whole;
    }
  }
  // No object: nothing found.
  const kavo::SchemaIndex none(schema, nullptr);
  EXPECT_EQ(none("title"), nullptr);
  EXPECT_EQ(none(nullptr), nullptr);
}

}  // namespace

namespace {

TEST(TextValues, ANulInsideAStringEndsTheText) {
  // Copied by the string's own length: the text still ends at the NUL, also
  // past the 8192-byte cut, and in genre lists.
  const std::string long_tail(9000, 'x');
  const std::string text = R"({"a":"ab\u0000cd","b":")" + std::string(100, 'y') + R"(\u0000)" + long_tail +
                           R"(","c":")" + long_tail + R"(\u0000z","g":["p\u0000q","r"]})";
  const kavo::JsonDoc doc = kavo::read_json(text.data(), text.size());
  ASSERT_NE(doc, nullptr);
  yyjson_val* root = yyjson_doc_get_root(doc.get());
  kavo::Text a, b, c;
  EXPECT_EQ(kavo::val_str(kavo::obj_get(root, "a"), &a), 0);
  EXPECT_EQ(std::string(a.get()), "ab");
  EXPECT_EQ(kavo::val_str(kavo::obj_get(root, "b"), &b), 0);
  EXPECT_EQ(std::string(b.get()), std::string(100, 'y'));
  EXPECT_EQ(kavo::val_str(kavo::obj_get(root, "c"), &c), 0);
  EXPECT_EQ(std::string(c.get()), std::string(kavo::kMaxTextBytes, 'x'));
  std::vector<kavo::Text> genres;
  EXPECT_EQ(kavo::val_str_array(kavo::obj_get(root, "g"), &genres), 0);
  ASSERT_EQ(genres.size(), 2u);
  EXPECT_EQ(std::string(genres[0].get()), "p");
  EXPECT_EQ(std::string(genres[1].get()), "r");
}

}  // namespace

#include <cctype>
#include <cmath>
#include <cstring>

#include "ingest/ingest.h"

namespace {

// Random objects read through lists and names resolved once by the schema,
// and by a field walk, against the key-list loops over obj_get: every
// coercion of every list and every single key answers alike, for one object
// and for one split in two.
TEST(SchemaIndex, ResolvedListsAndNamesReadAsTheKeyListLoops) {
  static const char* const k_unlisted[] = {"Title", "nope", "Season", "size", nullptr};
  uint32_t seed = 4242;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
  const std::vector<std::string> values = {
      "1",     "-7",     "0",         "18446744073709551615", "2.5",  "-1e300", "4e9",     "\"12\"",
      "\"x\"", "\" 3z\"", "\"1e999\"", "\"yes\"",              "true", "false",  "null",     "[1,\"a\"]",
      "{}",    "\"\"",   "\"a\\u0000b\""};
  for (std::span<const kavo::KeyList> lists :
       {kavo::item_key_lists(), kavo::source_key_lists(), kavo::watch_key_lists(), kavo::basic_key_lists()}) {
    const auto made = std::make_unique<kavo::KeySchema>(lists);
    const kavo::KeySchema& schema = *made;
    std::vector<kavo::KeyList> all(lists.begin(), lists.end());
    all.push_back(k_unlisted);  // a list the schema was not made from: walked by its texts
    std::vector<kavo::KeySchema::Field> fields;
    for (kavo::KeyList list : all) fields.push_back(schema.field(list));
    // Member names: the spellings, case variants, one byte off, prefixes and
    // extensions, NULs inside, keys past the packed words, unknown names.
    std::vector<std::string> pool = {"", "x", "unknown_member_name", std::string(40, 'k')};
    std::vector<std::string> copies;  // names resolved by their bytes, not their address
    for (kavo::KeyList list : all) {
      for (kavo::KeyList k = list; *k != nullptr; ++k) {
        const std::string key = *k;
        std::string upper = key, lower = key;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        std::string last = key;
        last.back() = '~';
        for (const std::string& p : {key, key, upper, lower, last, key.substr(0, key.size() - 1), key + "s",
                                     key + std::string(1, '\0') + "z", std::string(1, '\0') + key,
                                     key + "_with_a_tail_past_the_packed_words"}) {
          pool.push_back(p);
        }
        copies.push_back(key);
        copies.push_back(upper);
      }
    }
    std::vector<kavo::KeySchema::Name> names;
    for (kavo::KeyList list : all) {
      for (kavo::KeyList k = list; *k != nullptr; ++k) names.push_back(schema.name(*k));
    }
    for (const std::string& c : copies) names.push_back(schema.name(c.c_str()));
    // The same lists, and single names, as the fields of a field walk.
    std::vector<std::array<const char*, 2>> singles;
    for (const kavo::KeySchema::Name& name : names) {
      if (all.size() + singles.size() >= kavo::FieldSchema::kMaxFields) break;
      singles.push_back({name.key, nullptr});
    }
    std::vector<kavo::KeyList> field_lists = all;
    for (const auto& single : singles) field_lists.push_back(single.data());
    const auto field_schema = std::make_unique<kavo::FieldSchema>(schema, field_lists);
    for (int round = 0; round < 600; ++round) {
      const std::size_t n = next() % 24;
      std::vector<std::string> keys;
      for (std::size_t i = 0; i < n; ++i) keys.push_back(pool[next() % pool.size()]);
      const std::size_t split = next() % (n + 1);
      std::string whole = "{", first = "{", second = "{";
      for (std::size_t i = 0; i < n; ++i) {
        const std::string member = json_key(keys[i]) + ":" + values[next() % values.size()];
        whole += (i > 0 ? "," : "") + member;
        (i < split ? first : second) += ((i < split ? i > 0 : i > split) ? "," : "") + member;
      }
      whole += "}", first += "}", second += "}";
      const kavo::JsonDoc w = kavo::read_json(whole.data(), whole.size());
      const kavo::JsonDoc a = kavo::read_json(first.data(), first.size());
      const kavo::JsonDoc b = kavo::read_json(second.data(), second.size());
      ASSERT_TRUE(w && a && b) << whole;
      yyjson_val* root = yyjson_doc_get_root(w.get());
      const auto by_obj_get = [root](const char* key) { return kavo::obj_get(root, key); };
      const kavo::SchemaIndex one(schema, root);
      const kavo::SchemaIndex two(schema, yyjson_doc_get_root(a.get()), yyjson_doc_get_root(b.get()));
      const kavo::SchemaIndex then(schema, yyjson_doc_get_root(b.get()));
      const kavo::SchemaIndex merged(yyjson_doc_get_root(a.get()), then);
      const kavo::FieldMembers walked(*field_schema, root);
      kavo::FieldMembers walked_two(*field_schema, yyjson_doc_get_root(b.get()));
      walked_two.add_first(yyjson_doc_get_root(a.get()));
      for (std::size_t f = 0; f < all.size(); ++f) {
        const kavo::KeyList list = all[f];
        const std::string at = whole + " list " + list[0];
        kavo::Text es;
        int32_t ei = -5;
        int64_t el = -5;
        double ed = -5;
        int eb = -5;
        const int rs = kavo::find_str(by_obj_get, list, &es), ri = kavo::find_int(by_obj_get, list, &ei),
                  rl = kavo::find_ll(by_obj_get, list, &el), rd = kavo::find_dbl(by_obj_get, list, &ed),
                  rb = kavo::find_bool(by_obj_get, list, &eb);
        for (const kavo::SchemaIndex* index : {&one, &two, &merged}) {
          kavo::Text gs;
          int32_t gi = -5;
          int64_t gl = -5;
          double gd = -5;
          int gb = -5;
          ASSERT_EQ(kavo::find_str(*index, fields[f], &gs), rs) << at;
          ASSERT_EQ(kavo::find_int(*index, fields[f], &gi), ri) << at;
          ASSERT_EQ(kavo::find_ll(*index, fields[f], &gl), rl) << at;
          ASSERT_EQ(kavo::find_dbl(*index, fields[f], &gd), rd) << at;
          ASSERT_EQ(kavo::find_bool(*index, fields[f], &gb), rb) << at;
          EXPECT_EQ(std::string(gs ? gs.get() : "<none>"), std::string(es ? es.get() : "<none>")) << at;
          EXPECT_EQ(gi, ei) << at;
          EXPECT_EQ(gl, el) << at;
          EXPECT_TRUE(gd == ed || (std::isnan(gd) && std::isnan(ed))) << at;
          EXPECT_EQ(gb, eb) << at;
        }
        // Every value offered to a reader that takes none, in order: what a
        // text copy failing each time would be offered.
        std::vector<yyjson_val*> offered_by_index, offered_by_walk;
        one.first_taken(fields[f], [&](yyjson_val* v) { return offered_by_index.push_back(v), 1; });
        walked.first_taken(static_cast<int>(f), [&](yyjson_val* v) { return offered_by_walk.push_back(v), 1; });
        ASSERT_EQ(offered_by_walk, offered_by_index) << at;
        for (const kavo::FieldMembers* fields : {&walked, static_cast<const kavo::FieldMembers*>(&walked_two)}) {
          kavo::Text gs;
          int32_t gi = -5;
          int64_t gl = -5;
          double gd = -5;
          int gb = -5;
          const int field = static_cast<int>(f);
          ASSERT_EQ(kavo::find_str(*fields, field, &gs), rs) << at;
          ASSERT_EQ(kavo::find_int(*fields, field, &gi), ri) << at;
          ASSERT_EQ(kavo::find_ll(*fields, field, &gl), rl) << at;
          ASSERT_EQ(kavo::find_dbl(*fields, field, &gd), rd) << at;
          ASSERT_EQ(kavo::find_bool(*fields, field, &gb), rb) << at;
          EXPECT_EQ(std::string(gs ? gs.get() : "<none>"), std::string(es ? es.get() : "<none>")) << at;
          EXPECT_EQ(gi, ei) << at;
          EXPECT_EQ(gl, el) << at;
          EXPECT_TRUE(gd == ed || (std::isnan(gd) && std::isnan(ed))) << at;
          EXPECT_EQ(gb, eb) << at;
        }
      }
      for (std::size_t i = 0; i < singles.size(); ++i) {
        const int field = static_cast<int>(all.size() + i);
        yyjson_val* expect = kavo::obj_get(root, singles[i][0]);
        ASSERT_EQ(walked.get(field), expect) << whole << " " << singles[i][0];
        yyjson_val* got = walked_two.get(field);
        ASSERT_EQ(got == nullptr, expect == nullptr) << whole << " " << singles[i][0];
        if (expect != nullptr) {
          EXPECT_TRUE(yyjson_equals(got, expect)) << whole << " " << singles[i][0];
        }
      }
      for (const kavo::KeySchema::Name& name : names) {
        yyjson_val* expect = kavo::obj_get(root, name.key);
        ASSERT_EQ(one(name), expect) << whole << " " << name.key;
        for (const kavo::SchemaIndex* index : {&two, &merged}) {
          yyjson_val* got = (*index)(name);
          ASSERT_EQ(got == nullptr, expect == nullptr) << whole << " " << name.key;
          if (expect != nullptr) {
            EXPECT_TRUE(yyjson_equals(got, expect)) << whole << " " << name.key;
          }
        }
      }
    }
  }
}

}  // namespace

namespace {

// Member keys one byte off a spelling, at any position (a case flip, the
// next byte value, a NUL), among keys spelled as listed: read through the
// index of one object, of one split in two and of one merged, every name
// answers as the member lookup. Keys of 9 to 24 bytes are compared by
// overlapping words, so a byte off in the middle of a long key is the case
// to catch.
TEST(SchemaIndex, KeysOneByteOffAnswerAsTheMemberLookup) {
  uint32_t seed = 9901;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
  for (std::span<const kavo::KeyList> lists :
       {kavo::item_key_lists(), kavo::source_key_lists(), kavo::watch_key_lists(), kavo::basic_key_lists()}) {
    const auto made = std::make_unique<kavo::KeySchema>(lists);
    const kavo::KeySchema& schema = *made;
    std::vector<std::string> spellings;
    for (kavo::KeyList list : lists) {
      for (kavo::KeyList k = list; *k != nullptr; ++k) spellings.push_back(*k);
    }
    std::vector<kavo::KeySchema::Name> names;
    for (const std::string& s : spellings) names.push_back(schema.name(s.c_str()));
    for (int round = 0; round < 1500; ++round) {
      const std::size_t n = 1 + next() % 12;
      std::vector<std::string> keys;
      for (std::size_t i = 0; i < n; ++i) {
        std::string key = spellings[next() % spellings.size()];
        if (next() % 3 != 0) {
          const std::size_t pos = next() % key.size();
          const unsigned char c = static_cast<unsigned char>(key[pos]);
          switch (next() % 3) {
            case 0:
              key[pos] = static_cast<char>(std::isalpha(c) ? c ^ 0x20 : c + 1);
              break;
            case 1:
              key[pos] = static_cast<char>(c == 0x7E ? 0x21 : c + 1);
              break;
            default:
              key[pos] = '\0';
          }
        }
        keys.push_back(key);
      }
      const std::size_t split = next() % (n + 1);
      const std::string whole = make_object(keys, 0, n);
      const std::string first = make_object(keys, 0, split), second = make_object(keys, split, n);
      const kavo::JsonDoc w = kavo::read_json(whole.data(), whole.size());
      const kavo::JsonDoc a = kavo::read_json(first.data(), first.size());
      const kavo::JsonDoc b = kavo::read_json(second.data(), second.size());
      ASSERT_TRUE(w && a && b) << whole;
      yyjson_val* root = yyjson_doc_get_root(w.get());
      const kavo::SchemaIndex one(schema, root);
      const kavo::SchemaIndex two(schema, yyjson_doc_get_root(a.get()), yyjson_doc_get_root(b.get()));
      const kavo::SchemaIndex then(schema, yyjson_doc_get_root(b.get()));
      const kavo::SchemaIndex merged(yyjson_doc_get_root(a.get()), then);
      for (std::size_t s = 0; s < spellings.size(); ++s) {
        yyjson_val* expect = kavo::obj_get(root, spellings[s].c_str());
        ASSERT_EQ(one(names[s]), expect) << whole << " " << spellings[s];
        ASSERT_EQ(one(spellings[s].c_str()), expect) << whole << " " << spellings[s];
        for (const kavo::SchemaIndex* index : {&two, &merged}) {
          yyjson_val* got = (*index)(names[s]);
          ASSERT_EQ(got == nullptr, expect == nullptr) << whole << " " << spellings[s];
          if (expect != nullptr) {
            EXPECT_TRUE(yyjson_equals(got, expect)) << whole << " " << spellings[s];
          }
        }
      }
    }
  }
}

}  // namespace

namespace {

// Records of one kind read one after another through one field schema, as
// the loaders read them: made from a few member lists, each member kept,
// dropped, moved, or given a key one byte off (anywhere, so also inside the
// packed words of keys of 9 to 24 bytes), in other letter case, with a NUL
// inside, or longer than the packed words; half of them come as two
// objects, the second put before the first. Every field offers what the
// key-list loop over obj_get offers.
TEST(SchemaIndex, FieldWalksRecordAfterRecordReadAsTheKeyListLoops) {
  uint32_t seed = 777;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
  for (std::span<const kavo::KeyList> lists :
       {kavo::item_key_lists(), kavo::source_key_lists(), kavo::watch_key_lists(), kavo::basic_key_lists()}) {
    const auto schema = std::make_unique<kavo::KeySchema>(lists);
    const auto fields = std::make_unique<kavo::FieldSchema>(*schema, lists);
    std::vector<std::string> spellings;
    for (kavo::KeyList list : lists) {
      for (kavo::KeyList k = list; *k != nullptr; ++k) spellings.push_back(*k);
    }
    std::vector<std::vector<std::string>> shapes(3);
    for (auto& shape : shapes) {
      for (std::size_t i = 0, n = 4 + next() % 10; i < n; ++i) shape.push_back(spellings[next() % spellings.size()]);
    }
    for (int round = 0; round < 3000; ++round) {
      std::vector<std::string> keys;
      for (const std::string& listed : shapes[next() % shapes.size()]) {
        std::string key = listed;
        const unsigned r = next() % 20;
        if (r == 0) continue;
        if (r == 1 && !keys.empty()) std::swap(key, keys.back());
        if (r >= 2 && r <= 4) {
          const std::size_t pos = next() % key.size();
          const unsigned char c = static_cast<unsigned char>(key[pos]);
          key[pos] = static_cast<char>(r == 2 ? (std::isalpha(c) ? c ^ 0x20 : c + 1) : r == 3 ? c + 1 : 0);
        }
        if (r == 5) key += std::string(1 + next() % 30, 'x');
        if (r == 6) key = std::string(8 * (1 + next() % 3), 'k');
        keys.push_back(key);
      }
      const std::size_t split = next() % 2 == 0 ? keys.size() : next() % (keys.size() + 1);
      const std::string whole = make_object(keys, 0, keys.size());
      const kavo::JsonDoc w = kavo::read_json(whole.data(), whole.size());
      const std::string front = make_object(keys, 0, split), back = make_object(keys, split, keys.size());
      const kavo::JsonDoc a = kavo::read_json(front.data(), front.size());
      const kavo::JsonDoc b = kavo::read_json(back.data(), back.size());
      ASSERT_TRUE(w && a && b) << whole;
      yyjson_val* root = yyjson_doc_get_root(w.get());
      kavo::FieldMembers walked(*fields, split == keys.size() ? root : yyjson_doc_get_root(b.get()));
      if (split != keys.size()) walked.add_first(yyjson_doc_get_root(a.get()));
      for (int f = 0; f < fields->field_count(); ++f) {
        std::vector<yyjson_val*> expect, got;
        for (kavo::KeyList k = lists[f]; *k != nullptr; ++k) {
          if (yyjson_val* v = kavo::obj_get(root, *k)) expect.push_back(v);
        }
        walked.first_taken(f, [&got](yyjson_val* v) { return got.push_back(v), 1; });
        ASSERT_EQ(got.size(), expect.size()) << whole << " " << lists[f][0];
        for (std::size_t i = 0; i < got.size(); ++i) {
          ASSERT_TRUE(yyjson_equals(got[i], expect[i])) << whole << " " << lists[f][0];
        }
      }
    }
  }
}

}  // namespace
