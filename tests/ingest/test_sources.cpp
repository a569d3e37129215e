// Playback sources: field reading, the "theFile" merge, ranking and ordering.
#include <gtest/gtest.h>
#include <yyjson.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "documents/writers.h"
#include "ingest/ingest.h"
#include "ingest/readers.h"

using namespace kavo;

namespace {

class Doc {
 public:
  explicit Doc(const std::string& text) : doc_(read_json(text.c_str(), text.size())) {}
  bool ok() const { return doc_ != nullptr; }
  yyjson_val* root() const { return yyjson_doc_get_root(doc_.get()); }

 private:
  JsonDoc doc_;
};

std::string s(const Text& t) { return t ? std::string(t.get()) : std::string("<none>"); }

Source source_of(const std::string& json) {
  Doc d(json);
  Source out;
  EXPECT_EQ(parse_source_impl(d.root(), &out), 0) << json;
  return out;
}

Item item_of(const std::string& json) {
  // An item's members as the item loader indexes them (the schema's
  // spellings are other texts than the ones looked up: answered by bytes).
  static const char* const k_lists[] = {"sources", "entries", nullptr};
  static const KeySchema schema({k_lists});
  Doc d(json);
  Item item;
  EXPECT_EQ(read_item_sources(SchemaIndex(schema, d.root()), &item), 0) << json;
  return item;
}

// Every field of a source as one comparable text.
std::string describe(const Source& x) {
  std::string out;
  for (const Text* t : {&x.key, &x.uri, &x.url, &x.quality, &x.codec, &x.extension,
                        &x.subtitle_languages}) {
    out += s(*t) + "|";
  }
  for (int64_t n : {int64_t{x.active}, int64_t{x.hdr}, int64_t{x.hevc}, int64_t{x.dolby},
                    int64_t{x.audio_channels}, int64_t{x.width}, int64_t{x.height}, x.size,
                    int64_t{x.content_source}, int64_t{x.subtitle_count}, int64_t{x.rank}}) {
    out += std::to_string(n) + "|";
  }
  return out;
}

// The merge done the long way: a new document holding the members of
// "theFile" and then those of the element, written out, parsed again and
// read as one source.
bool merged_by_rewrite(yyjson_val* the_file, yyjson_val* element, Source* out) {
  const MutJsonDoc held = new_mut_doc();
  yyjson_mut_doc* doc = held.get();
  yyjson_mut_val* root = yyjson_mut_obj(doc);
  yyjson_mut_doc_set_root(doc, root);
  for (yyjson_val* object : {the_file, element}) {
    std::size_t idx, max;
    yyjson_val *k, *v;
    yyjson_obj_foreach(object, idx, max, k, v) {
      yyjson_mut_val* copy = mut_from_val(doc, v);
      if (copy == nullptr) continue;
      yyjson_mut_obj_add(root, yyjson_mut_strncpy(doc, yyjson_get_str(k), yyjson_get_len(k)), copy);
    }
  }
  const Text text = write_doc(doc);
  if (!text) return false;
  const JsonDoc again = read_json(text.get(), std::strlen(text.get()));
  if (again == nullptr) return false;
  parse_source_impl(yyjson_doc_get_root(again.get()), out);
  return true;
}

bool deep_copy_available() {
  Doc d(R"({"a":[1]})");
  const MutJsonDoc doc = new_mut_doc();
  return mut_from_val(doc.get(), d.root()) != nullptr;
}

}  // namespace

TEST(Sources, FieldsAndDefaults) {
  Source none;
  Doc arr("[1]");
  EXPECT_EQ(parse_source_impl(arr.root(), &none), 1);
  EXPECT_EQ(parse_source_impl(nullptr, &none), 1);
  EXPECT_EQ(describe(none), "<none>|<none>|<none>|<none>|<none>|<none>|<none>|-1|-1|-1|-1|-1|-1|-1|-1|-1|-1|0|");

  Source full = source_of(
      R"({"key":7,"uri":"u","URL":"w","quality":"4K","codec":"h265","Extension":"mkv",)"
      R"("isActive":"yes","IsHDR":1,"is_hevc":false,"isDolbyAtmos":"on","audioChannelCount":"6",)"
      R"("videoWidth":3840.9,"Height":"2160px","Size":"123","contentSource":"3",)"
      R"("subtitleCount":true,"subtitle_languages":["en"],"subtitleLanguages":2})");
  EXPECT_EQ(describe(full), "7|u|w|4K|h265|mkv|2|1|1|0|1|6|3840|2160|123|3|1|0|");

  // A name is no content source; a text array is no language text.
  Source named = source_of(R"({"content_source":"local","subtitle_languages":["en","de"]})");
  EXPECT_EQ(named.content_source, -1);
  EXPECT_FALSE(named.subtitle_languages);
  EXPECT_EQ(s(source_of(R"({"subtitle_languages":2})").subtitle_languages), "2");

  // Parsing resets a reused record.
  Source reused = source_of(R"({"key":"a","width":10})");
  Doc d(R"({"uri":"x"})");
  ASSERT_EQ(parse_source_impl(d.root(), &reused), 0);
  EXPECT_FALSE(reused.key);
  EXPECT_EQ(reused.width, -1);
}

TEST(Sources, RankArithmetic) {
  auto rank = [](const std::string& json) { return source_rank(source_of(json)); };
  EXPECT_EQ(rank("{}"), 2000000);
  EXPECT_EQ(rank(R"({"width":1920,"height":1080})"), 1997926);
  EXPECT_EQ(rank(R"({"width":3840,"height":2160})"), 1991705);
  EXPECT_EQ(rank(R"({"width":1920})"), 2000000);
  EXPECT_EQ(rank(R"({"width":1920,"height":-1080})"), 2000000);
  EXPECT_EQ(rank(R"({"active":true,"content_source":3,"width":1920,"height":1080,"hevc":true,)"
                 R"("size":10000000000})"),
            1497806);
  EXPECT_EQ(rank(R"({"active":false})"), 3000000);
  EXPECT_EQ(rank(R"({"active":false,"content_source":3})"), 2500000);
  EXPECT_EQ(rank(R"({"hdr":true,"dolby":true,"hevc":true})"), 2000000 - 90);
  EXPECT_EQ(rank(R"({"hdr":2})"), 2000000 - 40);  // any non-zero flag reads as 1
  EXPECT_EQ(rank(R"({"size":99999999})"), 2000000);
  EXPECT_EQ(rank(R"({"size":-500000000})"), 2000000);
  // Beyond 2e9 pixels the resolution term turns negative, truncated toward zero.
  EXPECT_EQ(rank(R"({"width":100000,"height":20001})"), -100);
  EXPECT_EQ(rank(R"({"width":2000000,"height":1000,"size":-5})"), 0);
}

TEST(Sources, RankSaturatesInsteadOfWrapping) {
  // A huge resolution and a huge size push the 64-bit score far below the
  // 32-bit range; the stored rank stops at its limit.
  EXPECT_EQ(source_rank(source_of(R"({"width":2147483647,"height":2147483647})")), INT32_MIN);
  EXPECT_EQ(source_rank(source_of(R"({"size":"9223372036854775807"})")), INT32_MIN);
  Source wide;
  wide.width = 2147483647;
  wide.height = 2;
  EXPECT_EQ(source_rank(wide), -2294967);  // 64-bit product, no overflow
  // And it still sorts first.
  Item item = item_of(R"({"sources":[{"key":"a"},{"key":"b","size":1e19}]})");
  ASSERT_EQ(item.source_count(), 2);
  EXPECT_EQ(s(item.sources[0].key), "b");
  EXPECT_EQ(item.sources[0].rank, INT32_MIN);
}

TEST(Sources, ListLookupAndOrder) {
  EXPECT_EQ(item_of(R"({"sources":null,"entries":[{"uri":"x"}]})").source_count(), 0);
  EXPECT_EQ(item_of(R"({"sources":{},"entries":[{"uri":"x"}]})").source_count(), 0);
  Item from_entries = item_of(R"({"Entries":[{"uri":"x"}]})");
  EXPECT_EQ(from_entries.source_count(), 1);
  EXPECT_EQ(from_entries.playable, 1);
  EXPECT_EQ(item_of(R"({"sources":[]})").source_count(), 0);

  // Non-objects are skipped, the rest kept.
  Item mixed = item_of(R"({"sources":[1,{"key":"a"},null,"x",{"key":"b"}]})");
  ASSERT_EQ(mixed.source_count(), 2);
  EXPECT_EQ(s(mixed.sources[0].key), "a");
  EXPECT_EQ(s(mixed.sources[1].key), "b");

  // Explicitly inactive falls behind; equal ranks keep input order.
  Item inactive = item_of(R"({"sources":[{"key":"a","active":false},{"key":"b"},{"key":"c","active":true}]})");
  ASSERT_EQ(inactive.source_count(), 3);
  EXPECT_EQ(s(inactive.sources[0].key), "b");
  EXPECT_EQ(s(inactive.sources[1].key), "c");
  EXPECT_EQ(s(inactive.sources[2].key), "a");

  std::string many = R"({"sources":[)";
  for (int i = 0; i < 40; ++i) many += (i ? "," : "") + std::string(R"({"key":")") + std::to_string(i) + "\"}";
  many += "]}";
  Item tied = item_of(many);
  ASSERT_EQ(tied.source_count(), 40);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(s(tied.sources[i].key), std::to_string(i));

  // Local moves ahead of a better non-local source; resolution beats none.
  Item local = item_of(R"({"sources":[{"key":"none"},{"key":"hd","width":1920,"height":1080},)"
                       R"({"key":"uhd","width":3840,"height":2160},{"key":"loc","content_source":3}]})");
  ASSERT_EQ(local.source_count(), 4);
  EXPECT_EQ(s(local.sources[0].key), "loc");
  EXPECT_EQ(s(local.sources[1].key), "uhd");
  EXPECT_EQ(s(local.sources[2].key), "hd");
  EXPECT_EQ(s(local.sources[3].key), "none");
}

TEST(Sources, Playable) {
  EXPECT_EQ(item_of(R"({"sources":[{"key":"k"}]})").playable, 0);
  EXPECT_EQ(item_of(R"({"sources":[{"uri":"u"}]})").playable, 1);
  EXPECT_EQ(item_of(R"({"sources":[{"key":"k"},{"url":""}]})").playable, 1);
  EXPECT_EQ(item_of(R"({"sources":[{"uri":null}]})").playable, 0);
  EXPECT_EQ(item_of(R"({"sources":[{"url":5}]})").playable, 1);
  EXPECT_EQ(item_of("{}").playable, 0);
}

TEST(Sources, TheFileMerge) {
  Item item = item_of(R"({"sources":[{"theFile":{"url":"u1","width":1920},"url":"u2","key":"k"}]})");
  ASSERT_EQ(item.source_count(), 1);
  EXPECT_EQ(s(item.sources[0].url), "u1");
  EXPECT_EQ(item.sources[0].width, 1920);
  EXPECT_EQ(s(item.sources[0].key), "k");
  EXPECT_EQ(item.playable, 1);

  // An exact key of the element beats a key of "theFile" differing in case;
  // among folded matches "theFile" comes first.
  Item cased = item_of(R"({"sources":[{"THEFILE":{"URL":"file","Key":"fk"},"url":"elem","KEY":"ek"}]})");
  ASSERT_EQ(cased.source_count(), 1);
  EXPECT_EQ(s(cased.sources[0].url), "elem");
  EXPECT_EQ(s(cased.sources[0].key), "fk");

  // A "theFile" that is no object is ignored.
  Item plain = item_of(R"({"sources":[{"theFile":[{"url":"x"}],"key":"k"}]})");
  ASSERT_EQ(plain.source_count(), 1);
  EXPECT_FALSE(plain.sources[0].url);
}

TEST(Sources, MergeMatchesRewriteAndReparse) {
  if (!deep_copy_available()) GTEST_SKIP() << "deep copy not available yet";
  const char* cases[] = {
      R"({"theFile":{"url":"u1","width":1920},"url":"u2","key":"k"})",
      R"({"theFile":{},"uri":"x","Width":"1280","height":720.75})",
      R"({"theFile":{"Uri":"a","URI":"b"},"uri":"c"})",
      R"({"theFile":{"uri":"a"},"theFile":{"uri":"b"}})",
      R"({"theFile":{"size":-0.0,"key":-0.0,"width":1e300,"height":-1e-300,"url":1.5e-7}})",
      R"({"theFile":{"size":18446744073709551615,"key":18446744073709551615,"width":-9223372036854775808}})",
      R"({"theFile":{"key":0.1,"quality":123456789.123456789,"codec":5e-324}})",
      R"({"theFile":{"key":"a\u0000b","url":"\u00e9\ud83d\ude00","codec":"\"\\/"}})",
      R"({"theFile":{"active":"YES","hdr":"1 ","hevc":[true],"dolby":{"x":1}},"isActive":false})",
      R"({"theFile":{"theFile":{"key":"deep"},"nested":[[[{}]]]},"key":{"a":[1,2]}})",
      R"({"theFile":{"subtitle_languages":["en"]},"subtitleLanguages":"de"})",
      R"({"theFile":{"content_source":null},"contentSource":"3 ","SIZE":"12e3"})",
      R"({"theFile":{"key":-0,"url":123456789012345678901234567890,"codec":1e20},"quality":-0.0})",
      R"({"theFile":{"hevc":-0,"dolby":-0.0,"hdr":1e-300,"size":-1.5},"Dolby":1})",
  };
  for (const char* json : cases) {
    Doc d(json);
    ASSERT_TRUE(d.ok()) << json;
    yyjson_val* the_file = obj_get(d.root(), "theFile");
    Source direct, rewritten;
    ASSERT_EQ(parse_merged_source(the_file, d.root(), &direct), 0) << json;
    ASSERT_TRUE(merged_by_rewrite(the_file, d.root(), &rewritten)) << json;
    EXPECT_EQ(describe(direct), describe(rewritten)) << json;
  }
}

// Random source lists (spellings, case variants, repeated keys, "theFile"
// objects, values of every kind) read by the item reader, against each
// element read on its own by parse_source_impl or parse_merged_source and
// sorted stably by rank.
TEST(Sources, ListReadsAsEachSourceAlone) {
  std::vector<std::string> keys = {"theFile", "THEFILE", "other", ""};
  for (KeyList list : source_key_lists()) {
    for (KeyList k = list; *k != nullptr; ++k) {
      std::string upper = *k;
      for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      keys.insert(keys.end(), {*k, *k, upper});
    }
  }
  const std::vector<std::string> values = {
      "1",    "-7",      "0",        "3840",     "2160",  "1e10",  "2.5",   "\"12\"", "\"x\"", "\"yes\"",
      "true", "false",   "null",     "[\"en\"]", "{}",    "\"\"",  "\"3\"", "3",      "-1e300",
      "\"a\\u0000b\"",   "18446744073709551615"};
  uint32_t seed = 2024;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
  auto object = [&](std::size_t n, bool nest) {
    std::string out = "{";
    for (std::size_t i = 0; i < n; ++i) {
      const std::string& key = keys[next() % keys.size()];
      std::string value = values[next() % values.size()];
      if (nest && key.size() == 7 && next() % 2 == 0) {
        value = "{";
        for (std::size_t j = 0, m = next() % 8; j < m; ++j) {
          value += (j ? ",\"" : "\"") + keys[next() % keys.size()] + "\":" + values[next() % values.size()];
        }
        value += "}";
      }
      out += (i ? ",\"" : "\"") + key + "\":" + value;
    }
    return out + "}";
  };
  for (int round = 0; round < 1500; ++round) {
    std::string list = "[";
    for (std::size_t i = 0, n = next() % 10 == 0 ? 17 + next() % 4 : next() % 5; i < n; ++i) {
      list += (i ? "," : "") + (next() % 8 == 0 ? std::string("7") : object(next() % 14, true));
    }
    list += "]";
    Doc d(list);
    ASSERT_TRUE(d.ok()) << list;
    Item item;
    ASSERT_EQ(read_source_list(d.root(), &item), 0) << list;
    std::vector<Source> expect;
    int playable = 0;
    std::size_t idx, max;
    yyjson_val* element;
    yyjson_arr_foreach(d.root(), idx, max, element) {
      if (!yyjson_is_obj(element)) continue;
      Source one;
      if (yyjson_val* the_file = source_the_file(element)) {
        parse_merged_source(the_file, element, &one);
      } else {
        parse_source_impl(element, &one);
      }
      one.rank = source_rank(one);
      if (one.uri || one.url) playable = 1;
      expect.push_back(std::move(one));
    }
    std::stable_sort(expect.begin(), expect.end(), [](const Source& a, const Source& b) { return a.rank < b.rank; });
    ASSERT_EQ(item.sources.size(), expect.size()) << list;
    for (std::size_t i = 0; i < expect.size(); ++i) EXPECT_EQ(describe(item.sources[i]), describe(expect[i])) << list;
    EXPECT_EQ(item.playable, playable) << list;
  }
}
