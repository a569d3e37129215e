// The inputs linter against actual loads: on random inputs objects it
// predicts the load's outcome and every count of what the load keeps, the
// members it calls unknown are read by nobody, and it changes nothing.
#include <yyjson.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <set>
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
  // The first unknown member's "nearest" ("<null>" for null).
  std::string nearest_of(const std::string& member) const {
    std::size_t i, max;
    yyjson_val* e;
    yyjson_arr_foreach(get("unknown_members"), i, max, e) {
      if (member == yyjson_get_str(yyjson_obj_get(e, "member"))) return str(yyjson_get_str(yyjson_obj_get(e, "nearest")));
    }
    return "(not reported)";
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
    if (chance(80) && !part(root, "server_home", home())) basics = continues = 0;
    if (chance(85)) part(root, "items", array(16, [this] { return item(true); }));
    if (chance(85)) part(root, "watch", array(12, [this] { return watch(); }));
    if (chance(60)) part(root, "library", array(8, [this] { return item(false); }));
    if (chance(70) && !part(root, "store", store())) favourites = 0;
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
    for (yyjson_mut_val* object : objects_of(input)) {
      yyjson_mut_obj_remove_keyn(object, member.data(), member.size());
    }
  }

  // Elements given for the parts the store and server home read.
  std::size_t favourites = 0, basics = 0, continues = 0;

 private:
  bool chance(int percent) { return static_cast<int>(rng_() % 100) < percent; }
  std::size_t below(std::size_t n) { return rng_() % n; }
  const char* pick(std::initializer_list<const char*> names) { return names.begin()[below(names.size())]; }

  yyjson_mut_val* s(const std::string& text) { return yyjson_mut_strncpy(doc_, text.data(), text.size()); }
  void add(yyjson_mut_val* object, const std::string& key, yyjson_mut_val* value) {
    yyjson_mut_obj_add(object, s(key), value);
  }
  // Adds a part, now and then in place of a value of the wrong type, which
  // fails the whole load; whether `value` went in.
  bool part(yyjson_mut_val* root, const char* name, yyjson_mut_val* value) {
    const bool wrong = chance(4);
    add(root, name, wrong ? (chance(50) ? yyjson_mut_null(doc_) : yyjson_mut_sint(doc_, 3)) : value);
    return !wrong;
  }

  yyjson_mut_val* value() {
    switch (below(9)) {
      case 0: return s(pick({"a", "12", "yes", "2024-01-15T10:20:30Z", "01:30:00", ""}));
      case 1: return yyjson_mut_sint(doc_, static_cast<int64_t>(below(5)) - 1);
      case 2: return yyjson_mut_real(doc_, pick({"0.25", "1.5", "1e21"})[0] == '0' ? 0.25 : 1.5);
      case 3: return yyjson_mut_bool(doc_, chance(50));
      case 4: return yyjson_mut_null(doc_);
      case 5: {
        yyjson_mut_val* a = yyjson_mut_arr(doc_);
        yyjson_mut_arr_append(a, s("Drama"));
        yyjson_mut_arr_append(a, yyjson_mut_sint(doc_, 5));
        return a;
      }
      case 6: {
        yyjson_mut_val* o = yyjson_mut_obj(doc_);
        add(o, "url", s("u"));
        return o;
      }
      default: return yyjson_mut_uint(doc_, 1700000000000ull + below(1000));
    }
  }
  yyjson_mut_val* not_an_object() {
    switch (below(4)) {
      case 0: return yyjson_mut_sint(doc_, 3);
      case 1: return s("x");
      case 2: return yyjson_mut_null(doc_);
      default: return yyjson_mut_arr(doc_);
    }
  }

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
  // Members read under `lists`, and some that nothing reads.
  void members(yyjson_mut_val* object, std::span<const kavo::KeyList> lists, std::size_t most) {
    for (std::size_t n = below(most + 1); n > 0; --n) add(object, spelling(lists), value());
    for (std::size_t n = chance(40) ? below(3) : 0; n > 0; --n) add(object, unknown_name(), value());
  }

  yyjson_mut_val* array(std::size_t most, const std::function<yyjson_mut_val*()>& element) {
    yyjson_mut_val* a = yyjson_mut_arr(doc_);
    for (std::size_t n = below(most + 1); n > 0; --n) yyjson_mut_arr_append(a, element());
    return a;
  }

  yyjson_mut_val* item(bool catalogue) {
    if (chance(6)) return not_an_object();
    yyjson_mut_val* o = yyjson_mut_obj(doc_);
    const std::string id = "i" + std::to_string(below(catalogue ? 14 : 6));
    switch (below(8)) {
      case 0: break;  // no id
      case 1: add(o, "id", s("")); break;
      case 2: add(o, "key", s(id)); break;
      case 3: add(o, "ID", yyjson_mut_sint(doc_, static_cast<int64_t>(below(3)))); break;
      default: add(o, "id", s(id)); break;
    }
    members(o, kavo::item_key_lists(), 5);
    if (chance(50)) {
      yyjson_mut_val* list = array(3, [this] { return source(); });
      add(o, chance(80) ? "sources" : "entries", list);
    }
    return o;
  }
  yyjson_mut_val* source() {
    if (chance(10)) return not_an_object();
    yyjson_mut_val* o = yyjson_mut_obj(doc_);
    members(o, kavo::source_key_lists(), 4);
    if (chance(20)) {
      yyjson_mut_val* file = yyjson_mut_obj(doc_);
      members(file, kavo::source_key_lists(), 3);
      add(o, "theFile", file);
    }
    return o;
  }
  yyjson_mut_val* watch() {
    if (chance(6)) return not_an_object();
    yyjson_mut_val* o = yyjson_mut_obj(doc_);
    if (chance(70)) add(o, "item_id", s("i" + std::to_string(below(14))));
    members(o, kavo::watch_key_lists(), 3);
    return o;
  }
  yyjson_mut_val* store() {
    yyjson_mut_val* o = yyjson_mut_obj(doc_);
    yyjson_mut_val* favs = array(6, [this] {
      if (chance(10)) return not_an_object();
      yyjson_mut_val* f = yyjson_mut_obj(doc_);
      if (chance(75)) add(f, pick({"token", "Token"}), chance(80) ? s("i" + std::to_string(below(14))) : value());
      members(f, kavo::favourite_key_lists(), 2);
      return f;
    });
    favourites = yyjson_mut_arr_size(favs);
    add(o, chance(80) ? "favourites" : "favorites", favs);
    if (chance(50)) {
      add(o, "playlists", array(4, [this] {
            yyjson_mut_val* p = yyjson_mut_obj(doc_);
            members(p, kavo::playlist_key_lists(), 3);
            return p;
          }));
    }
    if (chance(20)) add(o, unknown_name(), value());
    return o;
  }
  yyjson_mut_val* home() {
    yyjson_mut_val* o = yyjson_mut_obj(doc_);
    yyjson_mut_val* b = array(5, [this] {
      if (chance(10)) return not_an_object();
      yyjson_mut_val* e = yyjson_mut_obj(doc_);
      if (chance(70)) add(e, "IMDbId", s("tt" + std::to_string(below(5))));
      members(e, kavo::basic_key_lists(), 3);
      return e;
    });
    basics = yyjson_mut_arr_size(b);
    add(o, "Basics", b);
    yyjson_mut_val* c = array(5, [this] {
      if (chance(10)) return not_an_object();
      yyjson_mut_val* e = yyjson_mut_obj(doc_);
      if (chance(70)) add(e, "Value", chance(80) ? yyjson_mut_real(doc_, 0.5) : yyjson_mut_sint(doc_, -1));
      add(e, "IMDbId", s("tt" + std::to_string(below(5))));
      members(e, kavo::continue_key_lists(), 2);
      return e;
    });
    continues = yyjson_mut_arr_size(c);
    add(o, "Continues", c);
    for (const kavo::HomeList& list : kavo::home_lists()) {
      if (!chance(40)) continue;
      add(o, list.member, array(3, [&] {
            yyjson_mut_val* e = yyjson_mut_obj(doc_);
            members(e, list.element_keys, 2);
            return e;
          }));
    }
    if (chance(20)) add(o, unknown_name(), value());
    return o;
  }

  // The objects of one kind, as the generator placed them.
  std::vector<yyjson_mut_val*> objects_of(const std::string& input) {
    std::vector<yyjson_mut_val*> out;
    yyjson_mut_val* root = yyjson_mut_doc_get_root(doc_);
    auto elements = [&](yyjson_mut_val* array) {
      std::vector<yyjson_mut_val*> objects;
      std::size_t i, max;
      yyjson_mut_val* e;
      if (yyjson_mut_is_arr(array)) {
        yyjson_mut_arr_foreach(array, i, max, e) {
          if (yyjson_mut_is_obj(e)) objects.push_back(e);
        }
      }
      return objects;
    };
    const std::size_t slash = input.find('/');
    const std::string part = input.substr(0, slash);
    const std::string inner = slash == std::string::npos ? "" : input.substr(slash + 1);
    if (input == "inputs") return {root};
    yyjson_mut_val* value = yyjson_mut_obj_get(root, part.c_str());
    if ((part == "server_home" || part == "store") && inner.empty()) return {value};
    if (part == "server_home" || part == "store") {
      yyjson_mut_val* list = yyjson_mut_obj_get(value, inner.c_str());
      if (inner == "favourites" && list == nullptr) list = yyjson_mut_obj_get(value, "favorites");
      return elements(list);
    }
    for (yyjson_mut_val* element : elements(value)) {
      if (inner.empty()) {
        out.push_back(element);
        continue;
      }
      yyjson_mut_val* list = yyjson_mut_obj_get(element, "sources");
      if (list == nullptr) list = yyjson_mut_obj_get(element, "entries");
      for (yyjson_mut_val* source : elements(list)) {
        out.push_back(source);
        if (yyjson_mut_val* file = yyjson_mut_obj_get(source, "theFile")) out.push_back(file);
      }
    }
    return out;
  }

  std::mt19937 rng_;
  yyjson_mut_doc* doc_;
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
    std::size_t n_items = 0, n_watch = 0, n_library = 0;
    {
      yyjson_doc* d = yyjson_read(text.data(), text.size(), 0);
      yyjson_val* root = yyjson_doc_get_root(d);
      n_items = yyjson_arr_size(yyjson_obj_get(root, "items"));
      n_watch = yyjson_arr_size(yyjson_obj_get(root, "watch"));
      n_library = yyjson_arr_size(yyjson_obj_get(root, "library"));
      const bool has_home = yyjson_obj_get(root, "server_home") != nullptr;
      const bool has_store = yyjson_obj_get(root, "store") != nullptr;
      yyjson_doc_free(d);
      if (!has_home) inputs.basics = inputs.continues = 0;
      if (!has_store) inputs.favourites = 0;
    }
    EXPECT_EQ(lint.num("rejected"), stat("rejected"));
    EXPECT_EQ(lint.turned_away("items") + lint.turned_away("watch") + lint.turned_away("library"),
              stat("rejected"));
    EXPECT_EQ(static_cast<int64_t>(n_items) - lint.turned_away("items"), stat("items"));
    EXPECT_EQ(static_cast<int64_t>(n_library) - lint.turned_away("library"), stat("library"));
    EXPECT_EQ(static_cast<int64_t>(inputs.favourites) - lint.turned_away("store/favourites"), stat("favourites"));
    EXPECT_EQ(static_cast<int64_t>(inputs.basics) - lint.turned_away("server_home/Basics"), stat("basics"));
    EXPECT_EQ(static_cast<int64_t>(n_watch) - lint.turned_away("watch") + static_cast<int64_t>(inputs.continues) -
                  lint.turned_away("server_home/Continues"),
              stat("watch"));

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
  for (int round = 0; round < 400; ++round) {
    std::string text;
    if (round % 2 == 0) {
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

TEST_F(LintTest, SyntaxErrorsAreLocated) {
  const Lint lint(kavo_lint_json("{\"items\": [\n  {\"id\": \"a\"},\n  {\"id\": \"b\",}\n]}"));
  EXPECT_EQ(lint.num("status"), 1);
  EXPECT_EQ(lint.text("message"), "inputs: not valid JSON");
  yyjson_val* e = lint.get("syntax_error");
  EXPECT_EQ(yyjson_get_sint(yyjson_obj_get(e, "line")), 3);
  EXPECT_EQ(yyjson_get_sint(yyjson_obj_get(e, "column")), 13);  // at the comma
  EXPECT_EQ(yyjson_get_sint(yyjson_obj_get(e, "byte")), 39);
  EXPECT_STREQ(yyjson_get_str(yyjson_obj_get(e, "message")), "trailing comma is not allowed");

  const Lint empty(kavo_lint_json(""));
  EXPECT_EQ(empty.num("status"), 1);
  EXPECT_TRUE(yyjson_is_obj(empty.get("syntax_error")));
}

TEST_F(LintTest, EveryWrongPartIsListedTheFirstDecides) {
  const Lint lint(kavo_lint_json(R"({"store":[],"items":{},"watch":null,"library":[3]})"));
  EXPECT_EQ(lint.num("status"), 1);
  EXPECT_EQ(lint.text("message"), "items must be an array");
  std::vector<std::string> messages;
  std::size_t i, max;
  yyjson_val* e;
  yyjson_arr_foreach(lint.get("errors"), i, max, e) messages.push_back(yyjson_get_str(yyjson_obj_get(e, "message")));
  EXPECT_EQ(messages, (std::vector<std::string>{"items must be an array", "watch must be an array",
                                                "store must be an object"}));
  // The parts of the right type are still looked at.
  EXPECT_EQ(lint.turned_away("library"), 1);

  const Lint root(kavo_lint_json("[]"));
  EXPECT_EQ(root.text("message"), "inputs: root not object");
  EXPECT_TRUE(yyjson_is_null(root.get("syntax_error")));
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

TEST_F(LintTest, ReasonsIdsAndNearestSpellings) {
  const Lint lint(kavo_lint_json(
      R"({"items":[{"id":"a","AddedMs":1,"titel":"x","zzzzzz":1},{"id":"a","AddedMs":2},{"name":"x"},7],)"
      R"("watch":[{"item_id":"a","PositionTicks":10}],"store":{"favourites":[{"token":"a","Tokens":1},{"Tokens":2}]}})"));
  EXPECT_EQ(lint.num("status"), 0);
  std::vector<std::string> seen;
  std::size_t i, max;
  yyjson_val* e;
  yyjson_arr_foreach(lint.get("turned_away"), i, max, e) {
    seen.push_back(str(yyjson_get_str(yyjson_obj_get(e, "pointer"))) + " " +
                   str(yyjson_get_str(yyjson_obj_get(e, "id"))) + " " + yyjson_get_str(yyjson_obj_get(e, "reason")));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"/items/1 a duplicate id", "/items/2 <null> no id",
                                            "/items/3 <null> not an object",
                                            "/watch/0 a progress that says nothing",
                                            "/store/favourites/1 <null> no token"}));
  EXPECT_EQ(lint.num("rejected"), 4);
  // Members of elements turned away count too (one may be the reason).
  yyjson_val* first = yyjson_arr_get_first(lint.get("unknown_members"));
  EXPECT_EQ(yyjson_get_sint(yyjson_obj_get(first, "count")), 2);
  EXPECT_STREQ(yyjson_get_str(yyjson_obj_get(first, "pointer")), "/items/0/AddedMs");
  EXPECT_EQ(lint.nearest_of("PositionTicks"), "position_s");
  EXPECT_EQ(lint.nearest_of("AddedMs"), "added_ms");
  EXPECT_EQ(lint.nearest_of("titel"), "title");
  EXPECT_EQ(lint.nearest_of("zzzzzz"), "<null>");
  EXPECT_EQ(lint.nearest_of("Tokens"), "token");
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
