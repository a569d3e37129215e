// Resume and autoplay settings.
#include <cstring>
#include "frame/model.h"
#include "support/fixture.h"

using kavo_test::KavoTest;

namespace {

class SettingsTest : public KavoTest {
 protected:
  static void expect_autoplay(int configured, int fixed, int pct, int countdown, int autoplay,
                              double fixed_s, double pct_val, double countdown_s) {
    EXPECT_EQ(kavo::s_ap_configured, configured);
    EXPECT_EQ(kavo::s_ap_fixed, fixed);
    EXPECT_EQ(kavo::s_ap_pct, pct);
    EXPECT_EQ(kavo::s_ap_countdown, countdown);
    EXPECT_EQ(kavo::s_ap_autoplay, autoplay);
    EXPECT_DOUBLE_EQ(kavo::s_ap_fixed_dur_s, fixed_s);
    EXPECT_DOUBLE_EQ(kavo::s_ap_pct_val, pct_val);
    EXPECT_DOUBLE_EQ(kavo::s_ap_countdown_s, countdown_s);
  }
  static const char* full_autoplay() {
    return R"({"useFixedPresentBefore":1,"usePercentagePresentBefore":true,)"
           R"("EnableCountingDown":true,"AutomaticPlayNext":true,"PresentBeforeEndingDuration":30,)"
           R"("PresentBeforeEndingPercentage":95,"CountdownDuration":10})";
  }
};

TEST_F(SettingsTest, ResumeDefaultsForNullEmptyAndEmptyObject) {
  for (const char* text : {static_cast<const char*>(nullptr), "", "{}"}) {
    kavo::s_remember_last_position = 0;
    kavo::s_remember_audio = 1;
    EXPECT_EQ(kavo_set_resume_settings(text), 0);
    EXPECT_EQ(kavo::s_remember_last_position, 1);
    EXPECT_EQ(kavo::s_remember_audio, 0);
    EXPECT_STREQ(kavo_last_error(), "");
  }
}

TEST_F(SettingsTest, ResumeValuesAndKeySpellings) {
  EXPECT_EQ(kavo_set_resume_settings(R"({"remember_last_position":false,"remember_audio":true})"), 0);
  EXPECT_EQ(kavo::s_remember_last_position, 0);
  EXPECT_EQ(kavo::s_remember_audio, 1);
  // Unnamed settings fall back to their defaults, not to the earlier values.
  EXPECT_EQ(kavo_set_resume_settings(R"({"REMEMBER_AUDIO":"on"})"), 0);
  EXPECT_EQ(kavo::s_remember_last_position, 1);
  EXPECT_EQ(kavo::s_remember_audio, 1);
  EXPECT_EQ(kavo_set_resume_settings(R"({"remember_last_position":0,"remember_audio":"no"})"), 0);
  EXPECT_EQ(kavo::s_remember_last_position, 0);
  EXPECT_EQ(kavo::s_remember_audio, 0);
}

TEST_F(SettingsTest, ResumeFailuresKeepTheEarlierValues) {
  ASSERT_EQ(kavo_set_resume_settings(R"({"remember_last_position":false,"remember_audio":true})"), 0);
  EXPECT_EQ(kavo_set_resume_settings("x"), 1);
  EXPECT_STREQ(kavo_last_error(), "resume settings: not valid JSON");
  EXPECT_EQ(kavo_last_code(), 1);
  EXPECT_EQ(kavo_set_resume_settings("[1]"), 1);
  EXPECT_STREQ(kavo_last_error(), "resume settings: root not object");
  EXPECT_EQ(kavo::s_remember_last_position, 0);
  EXPECT_EQ(kavo::s_remember_audio, 1);
}

TEST_F(SettingsTest, AutoplayUnconfiguredByDefaultAndConfiguredByAnyObject) {
  expect_autoplay(0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(kavo_set_autoplay_settings("{}"), 0);
  expect_autoplay(1, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(kavo_detail_autoplay_configured(), 1);
  EXPECT_EQ(kavo_set_autoplay_settings(""), 0);
  expect_autoplay(0, 0, 0, 0, 0, 0, 0, 0);
}

TEST_F(SettingsTest, AutoplayValuesInBothSpellings) {
  EXPECT_EQ(kavo_set_autoplay_settings(full_autoplay()), 0);
  expect_autoplay(1, 1, 1, 1, 1, 30, 95, 10);
  EXPECT_EQ(kavo_set_autoplay_settings(
                R"({"use_fixed_present_before":"yes","enable_counting_down":0,)"
                R"("present_before_duration_s":"12.5s","countdown_duration_s":null})"),
            0);
  expect_autoplay(1, 1, 0, 0, 0, 12.5, 0, 0);
}

TEST_F(SettingsTest, AutoplayFailuresKeepTheSettings) {
  ASSERT_EQ(kavo_set_autoplay_settings(full_autoplay()), 0);
  const kavo::AutoplaySettings before = kavo::s_settings.autoplay;
  EXPECT_EQ(before.configured, 1);
  EXPECT_EQ(kavo_set_autoplay_settings("x"), 1);
  EXPECT_STREQ(kavo_last_error(), "autoplay settings: not valid JSON");
  EXPECT_EQ(std::memcmp(&kavo::s_settings.autoplay, &before, sizeof before), 0);
  EXPECT_EQ(kavo_set_autoplay_settings("[]"), 1);
  EXPECT_STREQ(kavo_last_error(), "autoplay settings: root not object");
  EXPECT_EQ(kavo_last_code(), 1);
  EXPECT_EQ(std::memcmp(&kavo::s_settings.autoplay, &before, sizeof before), 0);
}

TEST_F(SettingsTest, AutoplaySwitchedOffStaysUnconfigured) {
  std::string off = std::string(full_autoplay());
  off.insert(1, R"("enabled":false,)");
  EXPECT_EQ(kavo_set_autoplay_settings(off.c_str()), 0);
  EXPECT_STREQ(kavo_last_error(), "");
  expect_autoplay(0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(kavo_set_autoplay_settings(R"({"Enabled":"no","CountdownDuration":5})"), 0);
  expect_autoplay(0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(kavo_set_autoplay_settings(R"({"enabled":true,"CountdownDuration":5})"), 0);
  expect_autoplay(1, 0, 0, 0, 0, 0, 0, 5);
}

TEST_F(SettingsTest, SettingsSurviveClearAndLoadInputs) {
  ASSERT_EQ(kavo_set_resume_settings(R"({"remember_last_position":false})"), 0);
  ASSERT_EQ(kavo_set_autoplay_settings(full_autoplay()), 0);
  EXPECT_EQ(kavo_clear(), 0);
  EXPECT_EQ(kavo_load_inputs("{}"), 0);
  EXPECT_EQ(kavo::s_remember_last_position, 0);
  expect_autoplay(1, 1, 1, 1, 1, 30, 95, 10);
}

}  // namespace
