#include "app/row_status.h"

#include <gtest/gtest.h>

namespace strella::app {
namespace {

// The texts are what the list shows and what kept lists of earlier releases hold.
TEST(RowStatus, EachStateHasOneTextAndOneNameThatReadBack) {
  struct Case {
    TRowStatus status;
    const char* text;
    const char* name;
  };
  const Case cases[] = {
      {TRowStatus::Waiting, "", "waiting"},       {TRowStatus::Converting, "", "converting"},
      {TRowStatus::Done, "Done", "done"},         {TRowStatus::Failed, "Fail", "failed"},
      {TRowStatus::SetUpFailed, "Failed", "setup-failed"}, {TRowStatus::Aborted, "Abort", "aborted"},
      {TRowStatus::Unreadable, "Error", "unreadable"},     {TRowStatus::Skipped, "Skipped", "skipped"},
      {TRowStatus::Stopped, "Stopped", "stopped"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(RowStatusText(c.status), c.text);
    EXPECT_EQ(RowStatusName(c.status), c.name);
    EXPECT_EQ(RowStatusFromName(c.name), c.status);
    // The empty text is shared; it reads back as a row not converted yet.
    EXPECT_EQ(RowStatusFromText(c.text), *c.text ? c.status : TRowStatus::Waiting);
  }
  for (const char* other : {"33%", "done", "Done ", "Finished"})
    EXPECT_EQ(RowStatusFromText(other), std::nullopt) << other;
  for (const char* other : {"Done", "", "33%"}) EXPECT_EQ(RowStatusFromName(other), std::nullopt) << other;
}

TEST(RowStatus, EndedAndFailedStates) {
  for (const TRowStatus status : {TRowStatus::Done, TRowStatus::Failed, TRowStatus::SetUpFailed, TRowStatus::Aborted})
    EXPECT_TRUE(RowEnded(status)) << RowStatusName(status);
  for (const TRowStatus status : {TRowStatus::Waiting, TRowStatus::Converting, TRowStatus::Unreadable,
                                  TRowStatus::Skipped, TRowStatus::Stopped})
    EXPECT_FALSE(RowEnded(status)) << RowStatusName(status);
  EXPECT_TRUE(RowFailed(TRowStatus::Failed));
  EXPECT_TRUE(RowFailed(TRowStatus::SetUpFailed));
  EXPECT_FALSE(RowFailed(TRowStatus::Unreadable));
  EXPECT_FALSE(RowFailed(TRowStatus::Aborted));
}

}  // namespace
}  // namespace strella::app
