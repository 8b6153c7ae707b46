// The data source's side of the manager, in-process: the entry-point hand-over before the
// source's dispatch, the messages, the blocks through the manager's functions, the strings.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "platform/twain/Source.h"

namespace {

// A manager that records what the source asked of it.
struct FakeManager {
  std::vector<std::vector<uint8_t>> calls;  // origin Id, destination Id and the callback bytes
  TW_IDENTITY* origin = nullptr;
  TW_IDENTITY* destination = nullptr;
  TW_UINT32 dg = 0;
  TW_UINT16 dat = 0, msg = 0;
  TW_CALLBACK callback{};
  std::set<void*> blocks;
  int locks = 0, unlocks = 0, frees = 0;
  TW_UINT16 answer = TWRC_SUCCESS;
};
FakeManager* gManager = nullptr;

TW_UINT16 FakeEntry(TW_IDENTITY* origin, TW_IDENTITY* dest, TW_UINT32 dg, TW_UINT16 dat,
                    TW_UINT16 msg, TW_MEMREF data) {
  gManager->origin = origin;
  gManager->destination = dest;
  gManager->dg = dg;
  gManager->dat = dat;
  gManager->msg = msg;
  std::memcpy(&gManager->callback, data, sizeof(TW_CALLBACK));
  return gManager->answer;
}
TW_HANDLE FakeAllocate(TW_UINT32 size) {
  // Not zeroed, so that the source's own zeroing shows.
  void* block = std::malloc(size);
  std::memset(block, 0xA5, size);
  gManager->blocks.insert(block);
  return block;
}
void FakeFree(TW_HANDLE block) {
  ++gManager->frees;
  gManager->blocks.erase(block);
  std::free(block);
}
TW_MEMREF FakeLock(TW_HANDLE block) {
  ++gManager->locks;
  return block;
}
void FakeUnlock(TW_HANDLE) { ++gManager->unlocks; }

// The source's dispatch and condition, as a data source supplies them.
struct SourceSeen {
  int dispatched = 0;
  TW_UINT32 dg = 0;
  TW_UINT16 dat = 0, msg = 0;
  TW_MEMREF data = nullptr;
  TW_UINT16 condition = 0xFFFF;
};
SourceSeen gSeen;

TW_UINT16 Dispatch(TW_IDENTITY*, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  ++gSeen.dispatched;
  gSeen.dg = dg;
  gSeen.dat = dat;
  gSeen.msg = msg;
  gSeen.data = data;
  return TWRC_CHECKSTATUS;
}
void SetCondition(TW_UINT16 condition) { gSeen.condition = condition; }
constexpr twain::SourceHooks kHooks{&Dispatch, &SetCondition};

class ManagerLink : public ::testing::Test {
 protected:
  void SetUp() override {
    gManager = &manager;
    gSeen = SourceSeen{};
    twain::ForgetManagerEntryPoint();
  }
  void TearDown() override {
    twain::ForgetManagerEntryPoint();
    for (void* b : manager.blocks) std::free(b);
    gManager = nullptr;
  }
  TW_ENTRYPOINT Entry(TW_UINT32 size = sizeof(TW_ENTRYPOINT)) {
    return TW_ENTRYPOINT{size, &FakeEntry, &FakeAllocate, &FakeFree, &FakeLock, &FakeUnlock};
  }
  TW_UINT16 Push(TW_ENTRYPOINT* entry, TW_UINT16 msg = MSG_SET) {
    return twain::EnterSource(kHooks, nullptr, DG_CONTROL, DAT_ENTRYPOINT, msg, entry);
  }
  FakeManager manager;
};

TEST_F(ManagerLink, TakesTheEntryPointBeforeTheSourcesDispatch) {
  TW_ENTRYPOINT entry = Entry();
  EXPECT_EQ(Push(&entry), TWRC_SUCCESS);
  EXPECT_EQ(gSeen.condition, TWCC_SUCCESS);
  EXPECT_EQ(gSeen.dispatched, 0);
  EXPECT_TRUE(twain::HasManagerEntryPoint());
  EXPECT_EQ(twain::ManagerEntry(), &FakeEntry);

  // Everything else goes to the source as it came.
  int data = 0;
  EXPECT_EQ(twain::EnterSource(kHooks, nullptr, DG_IMAGE, DAT_ENTRYPOINT, MSG_SET, &data),
            TWRC_CHECKSTATUS);
  EXPECT_EQ(twain::EnterSource(kHooks, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &data),
            TWRC_CHECKSTATUS);
  EXPECT_EQ(gSeen.dispatched, 2);
  EXPECT_EQ(gSeen.dat, DAT_IDENTITY);
  EXPECT_EQ(gSeen.msg, MSG_OPENDS);
  EXPECT_EQ(gSeen.data, &data);
}

TEST_F(ManagerLink, RefusesABadEntryPointAndKeepsNone) {
  struct Case {
    const char* name;
    bool null;
    TW_UINT32 size;
    TW_UINT16 msg;
    bool noEntry;
    TW_UINT16 condition;
  };
  const Case cases[] = {
      {"null record", true, 44, MSG_SET, false, TWCC_BADVALUE},
      {"Size 43", false, 43, MSG_SET, false, TWCC_BADVALUE},
      {"Size 0", false, 0, MSG_SET, false, TWCC_BADVALUE},
      {"no DSM_Entry", false, 44, MSG_SET, true, TWCC_BADVALUE},
      {"MSG_GET", false, 44, MSG_GET, false, TWCC_BADPROTOCOL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TW_ENTRYPOINT entry = Entry(c.size);
    if (c.noEntry) entry.DSM_Entry = nullptr;
    EXPECT_EQ(Push(c.null ? nullptr : &entry, c.msg), TWRC_FAILURE);
    EXPECT_EQ(gSeen.condition, c.condition);
    EXPECT_FALSE(twain::HasManagerEntryPoint());
    EXPECT_EQ(gSeen.dispatched, 0);
  }
}

TEST_F(ManagerLink, PostsTheMessageFromTheSourceToTheApplication) {
  TW_ENTRYPOINT entry = Entry();
  ASSERT_EQ(Push(&entry), TWRC_SUCCESS);
  TW_IDENTITY source{}, application{};
  source.Id = 3;
  application.Id = 1;
  manager.answer = TWRC_CHECKSTATUS;
  EXPECT_EQ(twain::PostToApplication(&source, &application, MSG_CLOSEDSOK), TWRC_CHECKSTATUS);
  EXPECT_EQ(manager.origin, &source);
  EXPECT_EQ(manager.destination, &application);
  EXPECT_EQ(manager.dg, DG_CONTROL);
  EXPECT_EQ(manager.dat, DAT_CALLBACK);
  EXPECT_EQ(manager.msg, MSG_INVOKE_CALLBACK);
  EXPECT_EQ(manager.callback.CallBackProc, nullptr);
  EXPECT_EQ(manager.callback.RefCon, 0u);
  EXPECT_EQ(manager.callback.Message, MSG_CLOSEDSOK);
}

TEST_F(ManagerLink, WithoutAManagerAMessageFails) {
  // This program exports no DSM_Entry, and no entry point came.
  ASSERT_EQ(dlsym(RTLD_DEFAULT, "DSM_Entry"), nullptr);
  EXPECT_EQ(twain::ManagerEntry(), nullptr);
  TW_IDENTITY source{}, application{};
  EXPECT_EQ(twain::PostToApplication(&source, &application, MSG_XFERREADY), TWRC_FAILURE);
}

TEST_F(ManagerLink, BlocksComeZeroedFromTheManagersAllocator) {
  TW_ENTRYPOINT entry = Entry();
  ASSERT_EQ(Push(&entry), TWRC_SUCCESS);
  auto* block = static_cast<uint8_t*>(twain::AllocateBlock(26));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(manager.blocks.count(block), 1u);
  for (int i = 0; i < 26; ++i) ASSERT_EQ(block[i], 0) << i;
  {
    twain::LockedBlock locked(block);
    EXPECT_EQ(locked.as<uint8_t>(), block);
  }
  EXPECT_GE(manager.locks, 1);
  EXPECT_EQ(manager.locks, manager.unlocks);
  twain::FreeBlock(block);
  EXPECT_EQ(manager.frees, 1);
  EXPECT_TRUE(manager.blocks.empty());
}

TEST_F(ManagerLink, WithoutTheEntryPointBlocksAreCallocAndHandlesThemselves) {
  auto* block = static_cast<uint8_t*>(twain::AllocateBlock(20));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 20; ++i) ASSERT_EQ(block[i], 0) << i;
  EXPECT_EQ(twain::LockBlock(block), block);
  twain::UnlockBlock(block);
  twain::FreeBlock(block);  // free(): ASan would see a mismatch
  EXPECT_TRUE(manager.blocks.empty());
  EXPECT_EQ(manager.locks, 0);
  EXPECT_EQ(twain::AllocateBlock(size_t{1} << 33), nullptr) << "no 32-bit size for it";
}

TEST(TwainStrings, LengthPrefixedAndZeroTerminatedConvertBothWays) {
  struct Case {
    std::string text;
    std::string expect;  // what a 34-byte TW_STR32 holds
  };
  const Case cases[] = {
      {"", ""},
      {"Ferrolite", "Ferrolite"},
      {std::string(33, 'x'), std::string(33, 'x')},
      {std::string(40, 'y'), std::string(33, 'y')},  // cut to leave the terminator
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    unsigned char prefixed[256];
    prefixed[0] = static_cast<unsigned char>(c.text.size());
    std::memcpy(prefixed + 1, c.text.data(), c.text.size());
    TW_STR32 field;
    std::memset(field, 'z', sizeof field);
    twain::FromLengthPrefixed(field, prefixed);
    EXPECT_EQ(std::string(field), c.expect);
    for (size_t i = c.expect.size(); i < sizeof field; ++i) ASSERT_EQ(field[i], 0) << i;

    unsigned char back[34];
    twain::ToLengthPrefixed(back, field);
    EXPECT_EQ(back[0], c.expect.size());
    EXPECT_EQ(std::string(reinterpret_cast<char*>(back + 1), back[0]), c.expect);

    TW_STR32 copied;
    twain::CopyText(copied, c.text);
    EXPECT_EQ(std::string(copied), c.expect);
  }
  // A 255-character file name fills a TW_STR255 and comes back whole.
  const std::string name(255, 'f');
  TW_STR255 file;
  twain::CopyText(file, name);
  unsigned char prefixed[256];
  twain::ToLengthPrefixed(prefixed, file);
  EXPECT_EQ(prefixed[0], 255);
  // A field without a terminator is read no further than its size.
  char unterminated[4] = {'a', 'b', 'c', 'd'};
  unsigned char small[8];
  twain::ToLengthPrefixed(small, unterminated);
  EXPECT_EQ(small[0], 4);
}

}  // namespace
