#include "app/settings_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "setup/version_text.h"
#include "fixtures/log_capture.h"

namespace {

struct Members {
  char server[kSettingsValueSize] = "";
  int port = 8889;
  char client[kSettingsValueSize] = "Kestrelon";
  char version[kSettingsValueSize] = "";
  char sid[kStarterSidSize] = "old-sid";
  char setting[kKeptSettingSize] = "";
  SettingsMembers Targets() { return SettingsMembers{server, &port, client, version, sid, setting}; }
};

std::string Field(const char* name, const std::string& value) {
  return std::string("<__") + name + "__>" + value + "</__" + name + "__>\n";
}

TEST(ReadSettingsText, MissingFieldsKeepDefaultsButTheStarterIdEmpties) {
  Members m;
  std::string text = Field("Role", "attendee");
  EXPECT_EQ(ReadSettingsText(text.c_str(), m.Targets()), SettingsReadResult::kApplied);
  EXPECT_STREQ(m.server, "");
  EXPECT_EQ(m.port, 8889);
  EXPECT_STREQ(m.client, "Kestrelon");
  EXPECT_STREQ(m.sid, "");
  EXPECT_EQ(text, m.setting);
}

TEST(ReadSettingsText, ReadsEveryFieldItNeeds) {
  Members m;
  std::string text = Field("AccountServerIP", "as.test") + Field("AccountServerPort", "443") +
                     Field("ClientName", "Fennimo") + Field("Version", "5.2") + Field("StarterSid", "sid-9") +
                     Field("Role", "host") + Field("Unknown", "passed on");
  EXPECT_EQ(ReadSettingsText(text.c_str(), m.Targets()), SettingsReadResult::kApplied);
  EXPECT_STREQ(m.server, "as.test");
  EXPECT_EQ(m.port, 443);
  EXPECT_STREQ(m.client, "Fennimo");
  EXPECT_STREQ(m.version, "5.2");
  EXPECT_STREQ(m.sid, "sid-9");
  EXPECT_EQ(text, m.setting);
  EXPECT_STREQ(GetVersionText(), "5.2 V5.0 SP1 of Bootwick");
}

// What a meeting link without "port" and "client_name" decodes to.
TEST(ReadSettingsText, EmptyPortAndClientNameKeepTheirDefaults) {
  Members m;
  std::string text = Field("AccountServerIP", "as.test") + Field("AccountServerPort", "") + Field("ClientName", "") +
                     Field("Version", "") + Field("Role", "host");
  EXPECT_EQ(ReadSettingsText(text.c_str(), m.Targets()), SettingsReadResult::kApplied);
  EXPECT_STREQ(m.server, "as.test");
  EXPECT_EQ(m.port, 8889);
  EXPECT_STREQ(m.client, "Kestrelon");
  EXPECT_EQ(text, m.setting);
}

TEST(ReadSettingsText, VersionTextStartsWithTheBlankWithoutAVersion) {
  Members m;
  ReadSettingsText(Field("Role", "x").c_str(), m.Targets());
  EXPECT_STREQ(GetVersionText(), " V5.0 SP1 of Bootwick");
}

TEST(ReadSettingsText, EmptyTextChangesNothing) {
  Members m;
  EXPECT_EQ(ReadSettingsText("", m.Targets()), SettingsReadResult::kEmpty);
  EXPECT_EQ(ReadSettingsText(nullptr, m.Targets()), SettingsReadResult::kEmpty);
  EXPECT_STREQ(m.sid, "old-sid");
}

// Each limit: the largest value is kept whole, one byte more refuses the whole
// text (logged) and leaves every member as it was.
TEST(ReadSettingsText, LimitsRefuseTheWholeTextNeverCut) {
  struct Case {
    const char* field;
    size_t largest;
  } cases[] = {{"AccountServerIP", 511}, {"ClientName", 511}, {"Version", 511}, {"AccountServerPort", 511},
               {"StarterSid", 127}};
  for (const Case& c : cases) {
    Members fits;
    EXPECT_EQ(ReadSettingsText(Field(c.field, std::string(c.largest, '7')).c_str(), fits.Targets()),
              SettingsReadResult::kApplied)
        << c.field;

    Members m;
    LogCapture log;
    std::string text = Field(c.field, std::string(c.largest + 1, '7')) + Field("ClientName", "Changed");
    EXPECT_EQ(ReadSettingsText(text.c_str(), m.Targets()), SettingsReadResult::kRefused) << c.field;
    EXPECT_STREQ(m.client, "Kestrelon");
    EXPECT_STREQ(m.sid, "old-sid");
    EXPECT_STREQ(m.setting, "");
    EXPECT_TRUE(log.HasFragment(c.field)) << log.Dump();
  }
}

TEST(ReadSettingsText, KeptTextLimitIs2047Bytes) {
  std::string head = Field("Role", "r");
  Members fits;
  std::string text = head + std::string(2047 - head.size(), 'p');
  EXPECT_EQ(ReadSettingsText(text.c_str(), fits.Targets()), SettingsReadResult::kApplied);
  EXPECT_EQ(std::string(fits.setting), text);

  Members m;
  LogCapture log;
  text += 'p';
  EXPECT_EQ(ReadSettingsText(text.c_str(), m.Targets()), SettingsReadResult::kRefused);
  EXPECT_STREQ(m.setting, "");
  EXPECT_TRUE(log.HasFragment("2048 bytes")) << log.Dump();
}

}  // namespace
