// A manager that hands over no entry point: the source finds the program's DSM_Entry.
#include <gtest/gtest.h>

#include "DataSourceFixture.h"

namespace {

class Exported : public dstest::HostedSourceTest {
 protected:
  Exported() : HostedSourceTest(twainhost::EntryMode::kExported) {}
};

TEST_F(Exported, MessagesFindTheProgramsDsmEntry) {
  Open();
  EXPECT_FALSE(host.entryPointPushed());
  EXPECT_FALSE(twain::HasManagerEntryPoint());
  EXPECT_EQ(twain::ManagerEntry(), &DSM_Entry);
  EXPECT_EQ(dstest::gSource->closeDSRequest(), TWRC_SUCCESS);
  const auto messages = Messages(1);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].message, MSG_CLOSEDSREQ);
  EXPECT_EQ(messages[0].origin.id, twainhost::kSourceId);
  EXPECT_EQ(messages[0].destination.id, twainhost::kApplicationId);
}

}  // namespace
