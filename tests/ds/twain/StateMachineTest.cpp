// The entry's dispatch and state machine through the host core (the manager hands the entry
// point over), and the three messages to the application.
#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "DataSourceFixture.h"
#include "tools/twain/Records.h"

namespace {

using dstest::gSource;

class StateMachine : public dstest::HostedSourceTest {};

constexpr uint16_t kAnyButBadValue = 0xFFFF;

TEST_F(StateMachine, OneTableOfStatesAndTriplets) {
  Open();
  host.set_auto_status(false);
  struct Row {
    int16_t state;
    uint32_t dg;
    uint16_t dat, msg;
    bool nullData;
    uint16_t rc, cc;
    int16_t next;
  };
  std::vector<Row> rows;
  for (int16_t s : {35, 40, 50, 60, 70}) {
    rows.push_back({s, 8, DAT_IDENTITY, MSG_GET, false, TWRC_FAILURE, TWCC_BADPROTOCOL, s});
    rows.push_back({s, DG_AUDIO, 0x0201, MSG_GET, true, TWRC_SUCCESS, 0, s});
    rows.push_back({s, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, false, TWRC_NOTDSEVENT, 0, s});
    rows.push_back({s, DG_CONTROL, DAT_STATUS, MSG_GET, false, TWRC_SUCCESS, 0, s});
    rows.push_back({s, DG_CONTROL, DAT_STATUS, MSG_SET, false, TWRC_FAILURE, TWCC_BADPROTOCOL, s});
    rows.push_back({s, DG_CONTROL, DAT_IDENTITY, MSG_GET, false, TWRC_SUCCESS, 0, s});
    rows.push_back(
        {s, DG_CONTROL, DAT_IDENTITY, MSG_SET, false, TWRC_FAILURE, TWCC_BADPROTOCOL, s});
    rows.push_back(
        {s, DG_CONTROL, DAT_XFERGROUP, MSG_SET, false, TWRC_FAILURE, TWCC_BADPROTOCOL, s});
    rows.push_back({s, DG_CONTROL, 0x0077, MSG_GET, false, TWRC_FAILURE, TWCC_BADPROTOCOL, s});
    rows.push_back({s, DG_IMAGE, 0x0100, MSG_GET, false, TWRC_FAILURE, TWCC_BADPROTOCOL, s});
    rows.push_back({s, DG_IMAGE, 0x0106, MSG_GET, false, TWRC_FAILURE, TWCC_BADPROTOCOL, s});
    rows.push_back({s, DG_IMAGE, 0x010C, MSG_GET, false, TWRC_FAILURE, TWCC_BADPROTOCOL, s});
    const bool xferGroupOk = s >= 40 && s <= 60;
    rows.push_back({s, DG_CONTROL, DAT_XFERGROUP, MSG_GET, false,
                    xferGroupOk ? TWRC_SUCCESS : TWRC_FAILURE,
                    xferGroupOk ? TWCC_SUCCESS : TWCC_SEQERROR, s});
    if (s != 35) {
      rows.push_back(
          {s, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, false, TWRC_FAILURE, TWCC_SEQERROR, s});
    }
    if (s != 40) {
      rows.push_back(
          {s, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, false, TWRC_FAILURE, TWCC_SEQERROR, s});
    }
    // Every triplet that reads or writes a record refuses a null one.
    for (uint16_t dat :
         {DAT_CAPABILITY, DAT_EVENT, DAT_IDENTITY, DAT_PENDINGXFERS, DAT_SETUPMEMXFER,
          DAT_SETUPFILEXFER, DAT_STATUS, DAT_USERINTERFACE, DAT_XFERGROUP, DAT_KRCUSTOMCOMMAND}) {
      rows.push_back({s, DG_CONTROL, dat, MSG_GET, true, TWRC_FAILURE, TWCC_BADVALUE, s});
    }
    for (uint16_t dat : {DAT_IMAGEINFO, DAT_IMAGELAYOUT, DAT_IMAGEMEMXFER, DAT_IMAGENATIVEXFER,
                         DAT_EXTIMAGEINFO}) {
      rows.push_back({s, DG_IMAGE, dat, MSG_GET, true, TWRC_FAILURE, TWCC_BADVALUE, s});
    }
    rows.push_back(
        {s, DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, true, TWRC_FAILURE, kAnyButBadValue, s});
    rows.push_back({s, DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, true, TWRC_FAILURE, TWCC_BADVALUE, s});
  }
  rows.push_back({35, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, false, TWRC_SUCCESS, 0, 40});
  rows.push_back({40, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, false, TWRC_SUCCESS, 0, 35});

  for (const Row& r : rows) {
    SCOPED_TRACE("state " + std::to_string(r.state) + " DG " + std::to_string(r.dg) + " DAT " +
                 std::to_string(r.dat) + " MSG " + std::to_string(r.msg) +
                 (r.nullData ? " null" : ""));
    gSource->mCurrentState = r.state;
    ferrolite::gConditionCode = TWCC_SUCCESS;
    twainhost::Bytes record(512);
    record.setU32(0, twainhost::kSourceId);
    const twainhost::Answer a = host.Call(r.dg, r.dat, r.msg, r.nullData ? nullptr : record.data());
    EXPECT_EQ(a.rc, r.rc);
    const auto status = host.GetStatus();
    ASSERT_TRUE(status.ok());
    if (r.cc == kAnyButBadValue) {
      EXPECT_NE(status.value, TWCC_BADVALUE);
    } else {
      EXPECT_EQ(status.value, r.cc);
    }
    EXPECT_EQ(gSource->mCurrentState, r.next);
  }
}

TEST_F(StateMachine, ConditionCodeLivesUntilReadOrASuccess) {
  Open();
  host.set_auto_status(false);
  EXPECT_EQ(host.Call(8, DAT_IDENTITY, MSG_GET, nullptr).rc, TWRC_FAILURE);
  EXPECT_EQ(host.GetStatus().value, TWCC_BADPROTOCOL);
  EXPECT_EQ(host.GetStatus().value, TWCC_SUCCESS);  // read once, then cleared

  EXPECT_EQ(host.Call(8, DAT_IDENTITY, MSG_GET, nullptr).rc, TWRC_FAILURE);
  EXPECT_EQ(host.Call(DG_AUDIO, 0x0201, MSG_GET, nullptr).rc, TWRC_SUCCESS);
  EXPECT_EQ(host.GetStatus().value, TWCC_SUCCESS);  // a success clears it

  // NOTDSEVENT is no success: the code stays.
  EXPECT_EQ(host.Call(8, DAT_IDENTITY, MSG_GET, nullptr).rc, TWRC_FAILURE);
  EXPECT_EQ(host.ProcessEvent().rc, TWRC_NOTDSEVENT);
  EXPECT_EQ(host.GetStatus().value, TWCC_BADPROTOCOL);
}

TEST_F(StateMachine, EventsAreNeverClaimedAndTheTransferGroupIsWhole) {
  Open();
  for (int16_t s : {40, 50, 60, 70}) {
    gSource->mCurrentState = s;
    twainhost::Bytes event(twainhost::layout::kEventSize);
    event.setU16(twainhost::layout::kEventMessage, MSG_XFERREADY);
    EXPECT_EQ(host.Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, event.data()).rc, TWRC_NOTDSEVENT);
    EXPECT_EQ(event.u16(twainhost::layout::kEventMessage), MSG_NULL) << s;
  }
  gSource->mCurrentState = 50;
  const auto group = host.GetXferGroup();
  ASSERT_TRUE(group.ok());
  EXPECT_EQ(group.value, DG_IMAGE);  // all 32 bits, not only the first 16
}

TEST_F(StateMachine, TheIdentityKeepsTheManagersIdAndTheApplication) {
  twainhost::Identity application = host.application();
  application.productName = "Scan Studio";
  application.manufacturer = "Adobe Systems";
  host.SetApplication(application);
  Open();  // the host checks that MSG_GET and MSG_OPENDS keep Id 3
  EXPECT_TRUE(host.entryPointPushed());
  EXPECT_TRUE(twain::HasManagerEntryPoint());
  EXPECT_EQ(TW_UINT32{gSource->mIdentity.Id}, twainhost::kSourceId);
  EXPECT_EQ(TW_UINT32{gSource->mAppIdentity.Id}, twainhost::kApplicationId);
  EXPECT_STREQ(gSource->mAppIdentity.ProductName, "Scan Studio");
  EXPECT_STREQ(gSource->mAppIdentity.Manufacturer, "Adobe Systems");
  EXPECT_EQ(gSource->mCurrentState, 40);

  const auto identity = host.GetIdentity();
  EXPECT_EQ(identity.value.id, twainhost::kSourceId);  // as the host sent it
  EXPECT_EQ(identity.value.productName, "Ferrolite");
  EXPECT_EQ(identity.value.supportedGroups, 0x40000003u);
}

TEST_F(StateMachine, TheThreeMessagesReachTheApplication) {
  Open();
  EXPECT_EQ(gSource->postToManager(MSG_XFERREADY), TWRC_SUCCESS);
  EXPECT_EQ(gSource->closeDSRequest(), TWRC_SUCCESS);
  EXPECT_FALSE(gSource->isCloseDSOK);
  EXPECT_EQ(gSource->closeDSOK(), TWRC_SUCCESS);
  EXPECT_TRUE(gSource->isCloseDSOK);
  const auto messages = Messages(3);
  ASSERT_EQ(messages.size(), 3u);
  const uint16_t expected[3] = {MSG_XFERREADY, MSG_CLOSEDSREQ, MSG_CLOSEDSOK};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(messages[i].dat, DAT_CALLBACK);
    EXPECT_EQ(messages[i].message, expected[i]);
    EXPECT_EQ(messages[i].origin.id, twainhost::kSourceId);
    EXPECT_EQ(messages[i].origin.productName, "Ferrolite");
    EXPECT_EQ(messages[i].destination.id, twainhost::kApplicationId);
    EXPECT_EQ(messages[i].destination.productName, host.application().productName);
  }
}

TEST_F(StateMachine, ShortEntryPointsAreRefused) {
  makeSource();
  twainhost::Bytes entry(twainhost::layout::kEntryPointSize);
  entry.setU32(twainhost::layout::kEntrySize, twainhost::layout::kEntryPointSize - 1);
  TW_STATUS status{};
  EXPECT_EQ(dstest::InProcessEntry(nullptr, DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, entry.data()),
            TWRC_FAILURE);
  EXPECT_EQ(dstest::InProcessEntry(nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &status),
            TWRC_SUCCESS);
  EXPECT_EQ(status.ConditionCode, TWCC_BADVALUE);
  EXPECT_FALSE(twain::HasManagerEntryPoint());
}

TEST_F(StateMachine, ANullOriginOpensToo) {
  makeSource();
  TW_IDENTITY identity{};
  identity.Id = 7;
  EXPECT_EQ(dstest::InProcessEntry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity),
            TWRC_SUCCESS);
  EXPECT_EQ(TW_UINT32{identity.Id}, 7u);
  EXPECT_EQ(TW_UINT32{gSource->mIdentity.Id}, 7u);
  EXPECT_EQ(TW_UINT32{gSource->mAppIdentity.Id}, 0u);
  EXPECT_EQ(dstest::InProcessEntry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &identity),
            TWRC_SUCCESS);
  EXPECT_EQ(gSource->mCurrentState, 35);
}

}  // namespace
