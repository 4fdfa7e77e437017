#include <gtest/gtest.h>

#include "osl/osl_log.h"
#include "winsim/winsim_test.h"

namespace {

class EventLog : public ::testing::Test {
 protected:
  void SetUp() override { winsim::clearEvents(); }
  void TearDown() override { winsim::setEventLogAvailable(true); }
};

TEST_F(EventLog, LevelChoosesTypeAndId) {
  struct {
    int level;
    WORD type;
    DWORD id;
  } cases[] = {{1, 1, 0xC0020001}, {2, 1, 0xC0020001}, {3, 1, 0xC0020001},
               {4, 2, 0x80020002}, {5, 2, 0x80020002}, {0, 4, 0x40020003},
               {6, 4, 0x40020003}, {7, 4, 0x40020003}, {9, 4, 0x40020003}};
  for (const auto& c : cases) {
    winsim::clearEvents();
    osl_event_printf(c.level, "level %d", c.level);
    ASSERT_EQ(winsim::events().size(), 1u) << c.level;
    const winsim::EventRecord& event = winsim::events()[0];
    EXPECT_EQ(event.source, "VEDIZO_DUREVERAZE");
    EXPECT_EQ(event.type, c.type) << c.level;
    EXPECT_EQ(event.eventId, c.id) << c.level;
    EXPECT_EQ(event.category, 0);
    ASSERT_EQ(event.strings.size(), 1u);
    EXPECT_EQ(event.strings[0], "level " + std::to_string(c.level));
  }
}

TEST_F(EventLog, FormattedTextArrivesWhole) {
  osl_event_printf(3, "Environment variable (%s) not found!\n", "programdata");
  ASSERT_EQ(winsim::events().size(), 1u);
  EXPECT_EQ(winsim::events()[0].strings[0], "Environment variable (programdata) not found!\n");
  std::string longText(5000, 'z');
  osl_event_printf(6, "%s\xC3\xA9", longText.c_str());
  ASSERT_EQ(winsim::events().size(), 2u);
  EXPECT_EQ(winsim::events()[1].strings[0], longText + "\xC3\xA9");
}

TEST_F(EventLog, UnavailableEventLogIsSilent) {
  winsim::setEventLogAvailable(false);
  osl_event_printf(3, "lost\n");
  EXPECT_TRUE(winsim::events().empty());
}

}  // namespace
