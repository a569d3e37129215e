// Settings objects that spell out every member at its default must give what
// the empty objects give: the same documents, byte for byte, on random
// inputs that touch every rule the members change.
#include <random>
#include <string>

#include "support/fixture.h"

namespace {

const char* const kResumeDefaults =
    R"({"remember_last_position":true,"remember_audio":false,"finished_fraction":0,"resume_min_s":5,
        "resume_min_fraction":0,"short_item_s":0,"finished_at_proposal":false,"keep_finished_on_replay":false,
        "continue_skip_finished":false,"continue_next_up":false,"next_episode_following":false,
        "title_sort":"bytes","title_articles":["the","a","an"],"catalogue_by_year":true,
        "recent_group_shows":false,"recent_skip_finished":false,"show_rows_max":-1})";
const char* const kAutoplay =
    R"({"use_fixed_present_before":true,"present_before_duration_s":45,"enable_counting_down":true,
        "countdown_duration_s":20)";
const char* const kAutoplayDefaults = R"(,"present_before_steps":[],"present_at_credits":false,
        "proposal_only_with_next":false})";

class Inputs {
 public:
  explicit Inputs(unsigned seed) : rng_(seed) {}

  std::string make() {
    static const char* const titles[] = {"The Abyss", "alien", "Aliens", "10 Lane", "2 Fast", "A Man", "An Ant",
                                         "the thing", "\u00e9t\u00e9", "Part 9", "Part 10"};
    static const char* const kinds[] = {"movie", "tv", "episode", "file", "folder", "other"};
    std::string items = "[", watch = "[", dismissed = "{";
    for (int i = 0; i < 60; ++i) {
      const std::string id = "i" + std::to_string(i);
      items += (i ? "," : "") + std::string(R"({"id":")") + id + R"(","kind":")" + kinds[pick(6)] +
               R"(","title":")" + titles[pick(11)] + R"(","imdb_id":"tt)" + std::to_string(pick(4)) +
               R"(","season":)" + std::to_string(pick(4)) + R"(,"episode":)" + std::to_string(pick(6)) +
               R"(,"year":)" + std::to_string(2018 + pick(3)) + R"(,"added_ms":)" + std::to_string(pick(5) * 100) +
               R"(,"duration_s":)" + std::to_string(pick(3) * 1500) + R"(,"credits_start_s":)" +
               std::to_string(pick(4) * 900) + (pick(4) ? R"(,"sources":[{"url":"u)" + std::to_string(pick(3)) + "\"}]" : "") +
               "}";
      for (int k = pick(3); k > 0; --k) {
        watch += (watch.size() > 1 ? "," : "") + std::string(R"({"item_id":")") + id + R"(","position":)" +
                 std::to_string(pick(3001)) + R"(,"updated_ms":)" + std::to_string(pick(6) * 100) +
                 (pick(4) == 0 ? R"(,"finished":true)" : "") + (pick(4) == 0 ? R"(,"source":"local_store")" : "") + "}";
      }
      if (pick(6) == 0) dismissed += (dismissed.size() > 1 ? "," : "") + ("\"" + id + "\":") + std::to_string(pick(6) * 100);
    }
    return R"({"items":)" + items + R"(],"watch":)" + watch + R"(],"store":{"favourites":[{"token":"i1"}],"dismissed":)" +
           dismissed + "}}}";
  }
  int pick(int n) { return static_cast<int>(rng_() % static_cast<unsigned>(n)); }

 private:
  std::mt19937 rng_;
};

std::string view_under(const std::string& inputs, const char* resume, const std::string& autoplay, int select) {
  kavo_test::reset_library();
  EXPECT_EQ(kavo_set_resume_settings(resume), 0);
  EXPECT_EQ(kavo_set_autoplay_settings(autoplay.c_str()), 0);
  EXPECT_EQ(kavo_load_inputs(inputs.c_str()), 0) << kavo_last_error();
  kavo_select_item(("i" + std::to_string(select)).c_str());
  return kavo_test::host_view();
}

class SettingsDefaults : public kavo_test::KavoTest {};

TEST_F(SettingsDefaults, EveryMemberAtItsDefaultChangesNoDocument) {
  for (unsigned seed = 1; seed <= 40; ++seed) {
    Inputs gen(seed);
    const std::string inputs = gen.make();
    const int select = gen.pick(60);
    const std::string autoplay = std::string(kAutoplay) + "}";
    const std::string plain = view_under(inputs, "{}", autoplay, select);
    EXPECT_EQ(plain, view_under(inputs, kResumeDefaults, std::string(kAutoplay) + kAutoplayDefaults, select))
        << "seed " << seed;
    EXPECT_EQ(plain, view_under(inputs, nullptr, autoplay, select)) << "seed " << seed;
    EXPECT_EQ(view_under(inputs, "{}", "{}", select), view_under(inputs, kResumeDefaults, "{\"x\":0" + std::string(kAutoplayDefaults), select))
        << "seed " << seed;
  }
}

}  // namespace
