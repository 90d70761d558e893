// Events as the services build and send them, read back in order.
#include <string>

#include <gtest/gtest.h>

#include "platform_vistrel_test.h"

namespace {

namespace control = platform_vistrel_test;

class VistrelTest : public ::testing::Test {
 protected:
  void SetUp() override { control::clear(); }
  void TearDown() override { control::clear(); }
};

TEST_F(VistrelTest, SentEventsKeepTheirFieldsInOrder) {
  QuonEvent upload(906201003);
  upload.putInt("vibEffectID", -1);
  upload.putString("vibType", "Long vibration");
  upload.putInt("vibDuration", 30);
  upload.putString("keyword", "ioctl EVIOCSFF failed");
  ASSERT_EQ(0, Vistrel::sendEvent(upload));
  QuonEvent fault(912001004);
  fault.putInt("panel_id", 0);
  fault.putString("fault_name", "TpThpInitFail");
  fault.putInt("error_code", -5);
  ASSERT_EQ(0, Vistrel::sendEvent(fault));

  auto events = control::sentEvents();
  ASSERT_EQ(2u, events.size());
  EXPECT_EQ(906201003, events[0].id);
  ASSERT_EQ(4u, events[0].fields.size());
  EXPECT_EQ("vibEffectID", events[0].fields[0].first);
  EXPECT_EQ("keyword", events[0].fields[3].first);
  EXPECT_EQ(-1, events[0].intField("vibEffectID"));
  EXPECT_EQ("Long vibration", events[0].stringField("vibType"));
  EXPECT_EQ(std::nullopt, events[0].intField("vibType"));  // a string, not an int
  EXPECT_EQ(912001004, events[1].id);
  EXPECT_EQ(-5, events[1].intField("error_code"));
}

TEST_F(VistrelTest, FieldsAreBoundedAndReplacedInPlace) {
  QuonEvent e(1);
  EXPECT_EQ(0, e.putInt("a", 1));
  EXPECT_EQ(0, e.putString("b", "x"));
  EXPECT_EQ(0, e.putInt("a", 2));
  ASSERT_EQ(2u, e.fields().size());
  EXPECT_EQ(2, std::get<int>(e.fields()[0].second));
  EXPECT_EQ(-1, e.putInt(nullptr, 1));
  EXPECT_EQ(-1, e.putInt("", 1));
  EXPECT_EQ(-1, e.putInt(std::string(QuonEvent::kMaxKeyLength + 1, 'k').c_str(), 1));
  EXPECT_EQ(-1, e.putString("c", nullptr));
  EXPECT_EQ(-1, e.putString("c", std::string(QuonEvent::kMaxStringLength + 1, 'v').c_str()));
  for (size_t i = e.fields().size(); i < QuonEvent::kMaxFields; ++i) {
    ASSERT_EQ(0, e.putInt(("f" + std::to_string(i)).c_str(), 0));
  }
  EXPECT_EQ(-1, e.putInt("one-too-many", 0));
  EXPECT_EQ(0, e.putInt("a", 3));  // replacing still works when full
  EXPECT_EQ(QuonEvent::kMaxFields, e.fields().size());
}

TEST_F(VistrelTest, FailedSendIsReportedAndNotRecorded) {
  QuonEvent e(5);
  control::failSends(-11);
  EXPECT_EQ(-11, Vistrel::sendEvent(e));
  control::failSends(0);
  EXPECT_EQ(0, Vistrel::sendEvent(e));
  EXPECT_EQ(1u, control::sentEvents().size());
}

}  // namespace
