// The inputs linter against actual loads: on random inputs objects it
// predicts the load's outcome and every count of what the load keeps, the
// members it calls unknown are read by nobody, and it changes nothing.
#include <yyjson.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "ingest/ingest.h"
#include "support/fixture.h"

using kavo_test::host_view;
using kavo_test::KavoTest;
using kavo_test::str;

namespace {

// A parsed lint document.
class Lint {
 public:
  explicit Lint(const char* text) : doc_(text ? yyjson_read(text, std::strlen(text), 0) : nullptr) {}
  ~Lint() { yyjson_doc_free(doc_); }
  Lint(const Lint&) = delete;
  Lint& operator=(const Lint&) = delete;
  bool ok() const { return yyjson_is_obj(root()); }
  yyjson_val* root() const { return yyjson_doc_get_root(doc_); }
  yyjson_val* get(const char* key) const { return yyjson_obj_get(root(), key); }
  int64_t num(const char* key) const { return yyjson_get_sint(get(key)); }
  std::string text(const char* key) const { return str(yyjson_get_str(get(key))); }
  // Elements of "turned_away" of one input.
  int64_t turned_away(const std::string& input) const {
    int64_t n = 0;
    std::size_t i, max;
    yyjson_val* e;
    yyjson_arr_foreach(get("turned_away"), i, max, e) n += input == yyjson_get_str(yyjson_obj_get(e, "input"));
    return n;
  }
  // (input, member) of every unknown member.
  std::vector<std::pair<std::string, std::string>> unknown() const {
    std::vector<std::pair<std::string, std::string>> out;
    std::size_t i, max;
    yyjson_val* e;
    yyjson_arr_foreach(get("unknown_members"), i, max, e) {
      yyjson_val* member = yyjson_obj_get(e, "member");
      out.emplace_back(yyjson_get_str(yyjson_obj_get(e, "input")),
                       std::string(yyjson_get_str(member), yyjson_get_len(member)));
    }
    return out;
  }
 private:
  yyjson_doc* doc_;
};

int64_t stat(const char* name) {
  yyjson_doc* doc = yyjson_read(kavo_stats_json(), std::strlen(kavo_stats_json()), 0);
  const int64_t n = yyjson_get_sint(yyjson_obj_get(yyjson_doc_get_root(doc), name));
  yyjson_doc_free(doc);
  return n;
}

// ---- Random inputs objects ------------------------------------------------------

// Random inputs in a mutable document, with the counts of what it holds.
class RandomInputs {
 public:
  explicit RandomInputs(uint32_t seed) : rng_(seed), doc_(yyjson_mut_doc_new(nullptr)) {
    yyjson_mut_val* root = yyjson_mut_obj(doc_);
    yyjson_mut_doc_set_root(doc_, root);
    objects_.emplace_back("inputs", root);
    if (chance(80)) part(root, "server_home", home(), {"server_home/Basics", "server_home/Continues"});
    if (chance(85)) part(root, "items", counted("items", array(16, [this] { return item(true); })), {"items"});
    if (chance(85)) part(root, "watch", counted("watch", array(12, [this] { return watch(); })), {"watch"});
    if (chance(60)) part(root, "library", counted("library", array(8, [this] { return item(false); })), {"library"});
    if (chance(70)) part(root, "store", store(), {"store/favourites"});
    if (chance(10)) add(root, pick({"extras", "Itemz", "watchlist"}), value());
  }
  ~RandomInputs() { yyjson_mut_doc_free(doc_); }
  RandomInputs(const RandomInputs&) = delete;
  RandomInputs& operator=(const RandomInputs&) = delete;

  std::string text() const {
    std::size_t len = 0;
    char* out = yyjson_mut_write(doc_, 0, &len);
    std::string s(out, len);
    std::free(out);
    return s;
  }

  // Removes every member named `member` from the objects that `input` names
  // ("items", "items/sources", "server_home/List", ...).
  void remove(const std::string& input, const std::string& member) {
    for (const auto& [kind, object] : objects_) {
      if (kind == input) yyjson_mut_obj_remove_keyn(object, member.data(), member.size());
    }
  }

  // The elements given in a list the linter names so ("items",
  // "store/favourites", ...); 0 for one the load does not read.
  int64_t given(const std::string& input) const {
    const auto found = given_.find(input);
    return found != given_.end() ? static_cast<int64_t>(found->second) : 0;
  }

 private:
  bool chance(int percent) { return static_cast<int>(rng_() % 100) < percent; }
  std::size_t below(std::size_t n) { return rng_() % n; }
  const char* pick(std::initializer_list<const char*> names) { return names.begin()[below(names.size())]; }

  yyjson_mut_val* s(const std::string& text) { return yyjson_mut_strncpy(doc_, text.data(), text.size()); }
  void add(yyjson_mut_val* object, const std::string& key, yyjson_mut_val* value) {
    yyjson_mut_obj_add(object, s(key), value);
  }
  // Adds a part, now and then a value of the wrong type in its place, which
  // fails the whole load and whose lists are then not given.
  void part(yyjson_mut_val* root, const char* name, yyjson_mut_val* value, std::initializer_list<const char*> lists) {
    const bool wrong = chance(4);
    add(root, name, wrong ? (chance(50) ? yyjson_mut_null(doc_) : yyjson_mut_sint(doc_, 3)) : value);
    if (wrong) {
      for (const char* list : lists) given_.erase(list);
    }
  }
  yyjson_mut_val* counted(const char* input, yyjson_mut_val* array) {
    given_[input] = yyjson_mut_arr_size(array);
    return array;
  }

  // One of `json`'s elements (a JSON array), copied in.
  yyjson_mut_val* one_of(const char* json) {
    yyjson_doc* values = yyjson_read(json, std::strlen(json), 0);
    yyjson_val* array = yyjson_doc_get_root(values);
    yyjson_mut_val* v = yyjson_val_mut_copy(doc_, yyjson_arr_get(array, below(yyjson_arr_size(array))));
    yyjson_doc_free(values);
    return v;
  }
  yyjson_mut_val* value() {
    return one_of(R"(["a", "12", "yes", "2024-01-15T10:20:30Z", "01:30:00", "", -1, 0, 3, 0.25, 1.5, true,
                     false, null, ["Drama", 5], {"url": "u"}, 1700000000123])");
  }
  yyjson_mut_val* not_an_object() { return one_of(R"([3, "x", null, []])"); }

  // A spelling of one of the lists, sometimes in other letter case.
  std::string spelling(std::span<const kavo::KeyList> lists) {
    const kavo::KeyList list = lists[below(lists.size())];
    std::size_t n = 0;
    while (list[n] != nullptr) ++n;
    std::string key = list[below(n)];
    if (chance(15)) {
      for (char& c : key) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
    if (chance(3)) key += std::string(1, '\0') + "tail";  // read up to its NUL ignoring case
    return key;
  }
  std::string unknown_name() {
    return pick({"AddedMs", "titel", "PositionTicks", "imdb-id", "zz", "a/b~c", "ratingz", "Tokens", "Valeu"});
  }
  // Members read under `lists`, and some that nothing reads, in an object of
  // the kind the linter calls `input`.
  void members(yyjson_mut_val* object, std::span<const kavo::KeyList> lists, std::size_t most,
               const std::string& input) {
    objects_.emplace_back(input, object);
    for (std::size_t n = below(most + 1); n > 0; --n) add(object, spelling(lists), value());
    for (std::size_t n = chance(40) ? below(3) : 0; n > 0; --n) add(object, unknown_name(), value());
  }

  yyjson_mut_val* array(std::size_t most, const std::function<yyjson_mut_val*()>& element) {
    yyjson_mut_val* a = yyjson_mut_arr(doc_);
    for (std::size_t n = below(most + 1); n > 0; --n) yyjson_mut_arr_append(a, element());
    return a;
  }

  // An element of a list: now and then no object, else an object that starts
  // as one of `starts` (a JSON array of objects) and has random members.
  yyjson_mut_val* record(const std::string& input, std::span<const kavo::KeyList> lists, std::size_t most,
                         const char* starts) {
    if (chance(8)) return not_an_object();
    yyjson_mut_val* o = one_of(starts);
    members(o, lists, most, input);
    return o;
  }

  // Ids from a small pool, so that some repeat.
  yyjson_mut_val* item(bool catalogue) {
    const char* input = catalogue ? "items" : "library";
    yyjson_mut_val* o = record(input, kavo::item_key_lists(), 5,
                               R"([{}, {"id": ""}, {"key": "i3"}, {"ID": 2}, {"id": "i1"}, {"id": "i2"},
                                   {"id": "i5"}, {"id": "i9"}, {"id": "i12"}, {"id": "i13"}])");
    if (yyjson_mut_is_obj(o) && chance(50)) {
      const std::string sources = std::string(input) + "/sources";
      add(o, chance(80) ? "sources" : "entries", array(3, [&] {
            yyjson_mut_val* source = record(sources, kavo::source_key_lists(), 4, "[{}]");
            if (yyjson_mut_is_obj(source) && chance(20)) {
              add(source, "theFile", record(sources, kavo::source_key_lists(), 3, "[{}]"));
            }
            return source;
          }));
    }
    return o;
  }
  yyjson_mut_val* watch() {
    return record("watch", kavo::watch_key_lists(), 3,
                  R"([{}, {"item_id": "i1"}, {"item_id": "i2"}, {"item_id": "i7"}, {"item_id": "i12"}])");
  }
  yyjson_mut_val* store() {
    yyjson_mut_val* o = yyjson_mut_obj(doc_);
    yyjson_mut_val* favs = array(6, [this] {
      return record("store/favourites", kavo::favourite_key_lists(), 2,
                    R"([{}, {"token": "i1"}, {"Token": "i2"}, {"token": 3}, {"token": null}])");
    });
    add(o, chance(80) ? "favourites" : "favorites", counted("store/favourites", favs));
    if (chance(50)) {
      add(o, "playlists", array(4, [this] {
            return record("store/playlists", kavo::playlist_key_lists(), 3, R"([{}, {"key": "p"}])");
          }));
    }
    members(o, {}, 0, "store");
    return o;
  }
  yyjson_mut_val* home() {
    yyjson_mut_val* o = yyjson_mut_obj(doc_);
    members(o, {}, 0, "server_home");
    add(o, "Basics", counted("server_home/Basics", array(5, [this] {
                               return record("server_home/Basics", kavo::basic_key_lists(), 3,
                                             R"([{}, {"IMDbId": "tt1"}, {"IMDbId": "tt2"}])");
                             })));
    add(o, "Continues", counted("server_home/Continues", array(5, [this] {
                                  return record("server_home/Continues", kavo::continue_key_lists(), 2,
                                                R"([{"IMDbId": "tt1"}, {"Value": 0.5, "IMDbId": "tt1"},
                                                    {"Value": 0.5, "IMDbId": "tt2"}, {"Value": -1}])");
                                })));
    for (const kavo::HomeList& list : kavo::home_lists()) {
      if (!chance(40)) continue;
      add(o, list.member, array(3, [&] {
            return record(std::string("server_home/") + list.member, list.element_keys, 2, "[{}]");
          }));
    }
    return o;
  }

  std::mt19937 rng_;
  yyjson_mut_doc* doc_;
  std::vector<std::pair<std::string, yyjson_mut_val*>> objects_;  // by the linter's name of their kind
  std::map<std::string, std::size_t> given_;
};

class LintTest : public KavoTest {
 protected:
  // A model to keep: the example loaded, an item selected, and a failure
  // in the status frame.
  static void load_example() {
    ASSERT_EQ(kavo_load_inputs(kavo_test::example_text("inputs.json").c_str()), 0);
    ASSERT_EQ(kavo_select_item("harbor-s01e02"), 0);
    ASSERT_EQ(kavo_set_row_cap(0), 2);
  }
  // Lints `text` and checks that nothing a host sees changed.
  static std::string lint_keeping_the_model(const std::string& text) {
    load_example();
    const std::string before = host_view();
    kavo_set_row_cap(0);  // host_view stored a code through kavo_detail_json
    const char* doc = kavo_lint_json(text.c_str());
    EXPECT_NE(doc, nullptr) << kavo_last_error();
    std::string out = str(doc);
    EXPECT_EQ(kavo_last_code(), 2);
    EXPECT_STREQ(kavo_last_error(), "row cap out of range");
    EXPECT_EQ(host_view(), before);
    return out;
  }
};

}  // namespace

TEST_F(LintTest, PredictsWhatRandomLoadsKeepAndReadsNothingItCallsUnknown) {
  int loaded = 0, failed = 0, turned = 0, unknown = 0;
  for (uint32_t round = 0; round < 300; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    RandomInputs inputs(round);
    const std::string text = inputs.text();
    SCOPED_TRACE(text);
    const std::string doc_text = lint_keeping_the_model(text);
    const Lint lint(doc_text.c_str());
    ASSERT_TRUE(lint.ok()) << doc_text;

    // The outcome of the load.
    const int32_t rc = kavo_load_inputs(text.c_str());
    ASSERT_EQ(lint.num("status"), rc);
    ASSERT_EQ(lint.text("message"), kavo_last_error());
    if (rc != 0) {
      ++failed;
      continue;
    }
    ++loaded;
    turned += static_cast<int>(yyjson_arr_size(lint.get("turned_away")));

    // What it keeps, part by part.
    auto kept = [&](const char* input) { return inputs.given(input) - lint.turned_away(input); };
    EXPECT_EQ(lint.num("rejected"), stat("rejected"));
    EXPECT_EQ(lint.turned_away("items") + lint.turned_away("watch") + lint.turned_away("library"),
              stat("rejected"));
    EXPECT_EQ(kept("items"), stat("items"));
    EXPECT_EQ(kept("library"), stat("library"));
    EXPECT_EQ(kept("store/favourites"), stat("favourites"));
    EXPECT_EQ(kept("server_home/Basics"), stat("basics"));
    EXPECT_EQ(kept("watch") + kept("server_home/Continues"), stat("watch"));

    // Without the members called unknown, the load gives the same model,
    // and the linter finds none left.
    const std::string model = host_view();
    const auto names = lint.unknown();
    unknown += static_cast<int>(names.size());
    for (const auto& [input, member] : names) inputs.remove(input, member);
    const std::string trimmed = inputs.text();
    ASSERT_EQ(kavo_load_inputs(trimmed.c_str()), 0);
    EXPECT_EQ(host_view(), model);
    const Lint again(kavo_lint_json(trimmed.c_str()));
    EXPECT_EQ(yyjson_arr_size(again.get("unknown_members")), 0u);
  }
  // The rounds reach every branch they are meant to.
  EXPECT_GT(loaded, 150);
  EXPECT_GT(failed, 10);
  EXPECT_GT(turned, 300);
  EXPECT_GT(unknown, 100);
}

TEST_F(LintTest, AnyTextGivesADocumentThatAgreesWithTheLoad) {
  // Random bytes, and valid inputs cut short or with one byte changed.
  std::mt19937 rng(7);
  const std::string example = kavo_test::example_text("inputs.json");
  const char* const fixed[] = {"", "[]", "3", "{\"items\":[}", R"({"store":[],"items":{},"watch":null})"};
  for (int round = 0; round < 400; ++round) {
    std::string text;
    if (round < 5) {
      text = fixed[round];
    } else if (round % 2 == 0) {
      const std::size_t n = rng() % 64;
      for (std::size_t i = 0; i < n; ++i) text += static_cast<char>(1 + rng() % 255);
    } else {
      text = example.substr(0, rng() % example.size());
      if (round % 4 == 1 && !text.empty()) text[rng() % text.size()] = static_cast<char>(1 + rng() % 255);
    }
    const Lint lint(kavo_lint_json(text.c_str()));
    ASSERT_TRUE(lint.ok()) << text;
    const int32_t rc = kavo_load_inputs(text.c_str());
    ASSERT_EQ(lint.num("status"), rc) << text;
    ASSERT_EQ(lint.text("message"), kavo_last_error()) << text;
    EXPECT_EQ(yyjson_is_obj(lint.get("syntax_error")), std::string(kavo_last_error()) == "inputs: not valid JSON");
  }
}

TEST_F(LintTest, UsableElementsPastTheTableLimitFailTheLoad) {
  // 200000 distinct items and one duplicate fit: the duplicate is turned
  // away and does not count; one more distinct item does not fit.
  std::string items = "[";
  for (int i = 0; i < 200000; ++i) items += "{\"id\":\"n" + std::to_string(i) + "\"},";
  const std::string fits = "{\"items\":" + items + "{\"id\":\"n7\"}]}";
  const std::string too_many = "{\"items\":" + items + "{\"id\":\"extra\"}]}";
  const Lint ok(kavo_lint_json(fits.c_str()));
  EXPECT_EQ(ok.num("status"), 0);
  EXPECT_EQ(ok.num("rejected"), 1);
  const Lint full(kavo_lint_json(too_many.c_str()));
  EXPECT_EQ(full.num("status"), 3);
  EXPECT_EQ(full.text("message"), "out of memory");
  EXPECT_EQ(kavo_load_inputs(too_many.c_str()), 3);
}

TEST_F(LintTest, ListsTheFirstThousandAndCountsAll) {
  std::string items = "[";
  for (int i = 0; i < 1500; ++i) items += "{\"n" + std::to_string(i % 1200) + "\":1},";
  items += "3]";
  const std::string inputs = "{\"items\":" + items + ",\"watch\":[{}]}";
  const Lint lint(kavo_lint_json(inputs.c_str()));
  EXPECT_EQ(lint.num("turned_away_count"), 1502);
  EXPECT_EQ(lint.num("rejected"), 1502);
  EXPECT_EQ(yyjson_arr_size(lint.get("turned_away")), 1000u);
  EXPECT_EQ(lint.num("unknown_member_count"), 1200);
  EXPECT_EQ(yyjson_arr_size(lint.get("unknown_members")), 1000u);
  // A listed name keeps counting where it comes again past the list's end.
  EXPECT_EQ(yyjson_get_sint(yyjson_obj_get(yyjson_arr_get_first(lint.get("unknown_members")), "count")), 2);
  ASSERT_EQ(kavo_load_inputs(inputs.c_str()), 0);
  EXPECT_EQ(stat("rejected"), 1502);
}

TEST_F(LintTest, NullAndLifetime) {
  ASSERT_EQ(kavo_set_row_cap(0), 2);
  EXPECT_EQ(kavo_lint_json(nullptr), nullptr);
  EXPECT_STREQ(kavo_last_error(), "null inputs");
  EXPECT_EQ(kavo_last_code(), 2);
  const char* first = kavo_lint_json("{}");
  ASSERT_NE(first, nullptr);
  EXPECT_STREQ(first,
               R"({"status":0,"message":"","syntax_error":null,"errors":[],"rejected":0,"turned_away_count":0,)"
               R"("turned_away":[],"unknown_member_count":0,"unknown_members":[]})");
  // The document outlives input calls and clears, up to the next lint.
  const std::string kept = first;
  ASSERT_EQ(kavo_load_inputs(kavo_test::example_text("inputs.json").c_str()), 0);
  kavo_clear();
  EXPECT_EQ(kept, first);
}
