// The host as the Linux manager and as the application, in the manager mode: this program does
// not export DSM_Entry, so a source reaches the manager only through the entry point it is given.
#include <dlfcn.h>
#include <gmock/gmock.h>

#include <algorithm>
#include <fstream>

#include "HostFixture.h"

namespace {

using ::testing::HasSubstr;
using twainhost::Container;
using twainhost::Identity;
using twainhost::kApplicationId;
using twainhost::kSourceId;

using Host = hosttest::SampleBundle;

// The (DAT, MSG) pairs the source was sent, in order.
std::vector<std::pair<uint16_t, uint16_t>> Sent(const twainhost::Host& host) {
  std::vector<std::pair<uint16_t, uint16_t>> sent;
  for (const auto& e : host.journal()) sent.emplace_back(e.dat, e.msg);
  return sent;
}

TEST_F(Host, LoadsLikeTheManagerAndHandsTheEntryPointOverBeforeOpening) {
  ASSERT_EQ(dlsym(RTLD_DEFAULT, "DSM_Entry"), nullptr) << "this program must not export it";
  std::string error;
  ASSERT_TRUE(host.OpenManager(bundle, &error)) << error;
  EXPECT_EQ(host.modulePath(), bundle + "/Samplesource.ds");
  EXPECT_FALSE(twainhost::Host::IsResident(host.modulePath())) << "unloaded after the identity";

  const Identity& id = host.source();
  EXPECT_EQ(id.id, kSourceId);
  EXPECT_EQ(id.major, 2);
  EXPECT_EQ(id.minor, 1);
  EXPECT_EQ(id.language, TWLG_ENGLISH_USA);
  EXPECT_EQ(id.country, TWCY_USA);
  EXPECT_EQ(id.info, "2.1");
  EXPECT_EQ(id.protocolMajor, 1);
  EXPECT_EQ(id.protocolMinor, 9);
  EXPECT_EQ(id.supportedGroups, 0x40000003u);
  EXPECT_EQ(id.manufacturer, "Vantrel project");
  EXPECT_EQ(id.productFamily, "Test sources");
  EXPECT_EQ(id.productName, "Samplesource");

  ASSERT_TRUE(host.OpenSource().ok()) << host.DescribeJournal();
  EXPECT_TRUE(twainhost::Host::IsResident(host.modulePath()));
  EXPECT_TRUE(host.entryPointPushed());
  const std::vector<std::pair<uint16_t, uint16_t>> expected = {
      {DAT_IDENTITY, MSG_GET},    // the application opens the manager
      {DAT_IDENTITY, MSG_GET},    // and the source: identity once more
      {DAT_ENTRYPOINT, MSG_SET},  // loaded for the session
      {DAT_IDENTITY, MSG_OPENDS}};
  EXPECT_EQ(Sent(host), expected);
  const auto probe = AskProbe();
  EXPECT_EQ(probe.entryPointAtOpen, 1u);
  EXPECT_EQ(probe.managerFound, 1u);
  twainhost::Bytes folder(twainhost::layout::kStr255);
  ASSERT_TRUE(host.Call(DG_CONTROL, samplesource::kDatFolder, MSG_GET, folder.data()).ok());
  EXPECT_EQ(folder.text(0, folder.size()), bundle) << "the source finds its own bundle";

  ASSERT_TRUE(host.CloseSource().ok());
  EXPECT_FALSE(host.sessionLoaded());
  EXPECT_FALSE(twainhost::Host::IsResident(host.modulePath()));
  EXPECT_EQ(host.liveBlocks(), 0u);
}

TEST_F(Host, TwoSessionsEachStartFreshAndLeaveNothingLoaded) {
  for (int cycle = 0; cycle < 2; ++cycle) {
    SCOPED_TRACE(cycle);
    Open();
    EXPECT_EQ(AskProbe().constructions, 1u) << "the module's statics start anew with each load";
    ASSERT_TRUE(host.EnableDs(false).ok());
    EXPECT_EQ(host.TakeMessages().size(), 1u);
    ASSERT_TRUE(host.DisableDs().ok());
    ASSERT_TRUE(host.CloseSource().ok());
    EXPECT_FALSE(twainhost::Host::IsResident(host.modulePath()));
  }
}

TEST_F(Host, EveryMessageGoesFromTheSourcesIdToTheApplication) {
  Identity application = host.application();
  application.productName = "Photo Editor";
  application.manufacturer = "Someone";
  host.SetApplication(application);
  Open();
  ASSERT_TRUE(host.EnableDs(false).ok());  // without an interface: MSG_XFERREADY
  EXPECT_EQ(AskPost(MSG_CLOSEDSREQ), TWRC_SUCCESS);
  EXPECT_EQ(AskPost(MSG_CLOSEDSOK), TWRC_SUCCESS);

  const auto messages = host.TakeMessages();
  const std::vector<uint16_t> expected = {MSG_XFERREADY, MSG_CLOSEDSREQ, MSG_CLOSEDSOK};
  ASSERT_EQ(messages.size(), expected.size());
  for (size_t i = 0; i < messages.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(messages[i].dat, DAT_CALLBACK);
    EXPECT_EQ(messages[i].message, expected[i]);
    EXPECT_EQ(messages[i].origin.id, kSourceId);
    EXPECT_EQ(messages[i].origin.productName, "Samplesource");
    EXPECT_EQ(messages[i].destination.id, kApplicationId);
    EXPECT_EQ(messages[i].destination.Write().vector(), host.application().Write().vector());
  }
  ASSERT_TRUE(host.DisableDs().ok());
  ASSERT_TRUE(host.CloseSource().ok());
}

// What the manager would not see in a return code, and the host must.
struct FaultCase {
  const char* fault;
  const char* shows;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.fault << ": " << c.shows; }

class Misbehaving : public hosttest::SampleBundle,
                    public ::testing::WithParamInterface<FaultCase> {};

TEST_P(Misbehaving, IsCaught) {
  setenv(samplesource::kFaultsVariable, GetParam().fault, 1);
  // The thread left behind never ends: no need to wait out the patience a toolkit gets.
  host.SetThreadExitPatience(std::chrono::milliseconds(100));
  Open();
  // A message and an enable give each fault its chance to show.
  AskPost(MSG_CLOSEDSREQ);
  host.EnableDs(true);
  host.DisableDs();
  host.CloseSource();
  const auto faults = host.faults();
  std::string all;
  for (const auto& f : faults) all += f + "\n";
  EXPECT_THAT(all, HasSubstr(GetParam().shows));
  host.ClearFaults();
}

INSTANTIATE_TEST_SUITE_P(
    Host, Misbehaving,
    ::testing::Values(FaultCase{"forget-id", "overwrote the Id the manager gave (3 became 1)"},
                      FaultCase{"forget-id", "origin Id 1 is not the source's 3"},
                      FaultCase{"leak", "leaked 1 block(s) of the manager's allocator (100 bytes)"},
                      FaultCase{"double-free", "does not know (double free?)"},
                      FaultCase{"reenter", "re-entrant"},
                      FaultCase{"null-destination", "null destination"},
                      FaultCase{"thread", "left 1 thread(s) running"}),
    [](const auto& info) {
      std::string name = info.param.fault;
      std::replace(name.begin(), name.end(), '-', '_');
      return name + "_" + std::to_string(info.index);
    });

TEST_F(Host, RefusesANullDestinationAndUnknownMessagesWithoutQueueing) {
  Open();
  EXPECT_EQ(AskPost(0x0999), TWRC_FAILURE);
  EXPECT_EQ(host.managerCondition(), TWCC_BADPROTOCOL);
  host.ClearFaults();
  setenv(samplesource::kFaultsVariable, "null-destination", 1);
  EXPECT_EQ(AskPost(MSG_XFERREADY), TWRC_FAILURE);
  EXPECT_EQ(host.managerCondition(), TWCC_BADDEST);
  EXPECT_EQ(host.pendingMessages(), 0u);
  host.ClearFaults();
  ASSERT_TRUE(host.CloseSource().ok());
}

TEST_F(Host, AVersionOneSourceGetsNoEntryPointAndFindsNoManagerHere) {
  setenv(samplesource::kFaultsVariable, "version1", 1);
  Open();
  EXPECT_FALSE(host.entryPointPushed());
  for (const auto& e : host.journal()) EXPECT_NE(e.dat, DAT_ENTRYPOINT);
  const auto probe = AskProbe();
  EXPECT_EQ(probe.entryPointAtOpen, 0u);
  EXPECT_EQ(probe.managerFound, 0u);
  EXPECT_EQ(AskPost(MSG_XFERREADY), TWRC_FAILURE);
  ASSERT_TRUE(host.CloseSource().ok());
}

TEST_F(Host, KeepsOnlySourcesOfBothGroups) {
  setenv(samplesource::kFaultsVariable, "image-only", 1);
  std::string error;
  EXPECT_FALSE(host.OpenManager(bundle, &error));
  EXPECT_THAT(error, HasSubstr("lack DG_CONTROL or DG_IMAGE"));
}

TEST_F(Host, FindsTheOneModuleOfABundleAndSkipsLinks) {
  std::string error;
  std::filesystem::create_symlink(bundle + "/Samplesource.ds", bundle + "/Resources/Link.ds");
  ASSERT_TRUE(host.OpenManager(bundle, &error)) << error;
  EXPECT_EQ(host.modulePath(), bundle + "/Samplesource.ds");

  std::ofstream(bundle + "/Resources/Notes.dsx") << "not a module";
  EXPECT_FALSE(host.OpenManager(bundle, &error));
  EXPECT_THAT(error, HasSubstr("more than one"));

  const auto empty = folder / "Empty";
  std::filesystem::create_directories(empty);
  EXPECT_FALSE(host.OpenManager(empty.string(), &error));
  EXPECT_THAT(error, HasSubstr("no data source"));
}

// The application's typed helpers read at the table's offsets what the source wrote through the
// platform's structs: every field lands where the other side looks.
TEST_F(Host, ApplicationRecordsMatchThePlatformLayout) {
  Open();
  auto status = host.GetStatus();
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(status.value, TWCC_SUCCESS);
  auto event = host.ProcessEvent();
  EXPECT_EQ(event.rc, TWRC_NOTDSEVENT);
  EXPECT_EQ(event.value, MSG_NULL);
  EXPECT_EQ(host.GetXferGroup().value, DG_IMAGE);
  EXPECT_EQ(host.Call(DG_CONTROL, DAT_IDENTITY, MSG_GET, host.source().Write().data(), true).rc,
            TWRC_SUCCESS)
      << "a null origin is accepted";

  auto resolution = host.Capability(MSG_GET, ICAP_XRESOLUTION);
  ASSERT_TRUE(resolution.ok());
  EXPECT_EQ(resolution.value.conType, TWON_RANGE);
  EXPECT_EQ(resolution.value.itemType, TWTY_FIX32);
  EXPECT_EQ(resolution.value.min, twainhost::Fix32Word(72));
  EXPECT_EQ(resolution.value.max, twainhost::Fix32Word(600));
  EXPECT_EQ(resolution.value.currentValue, twainhost::Fix32Word(200));
  ASSERT_TRUE(host.SetCapability(ICAP_XRESOLUTION, Container::OneFix32(300)).ok());
  EXPECT_EQ(host.Capability(MSG_GET, ICAP_XRESOLUTION).value.currentValue,
            twainhost::Fix32Word(300));

  ASSERT_TRUE(host.SetCapability(ICAP_PIXELTYPE, Container::OneValue(TWTY_UINT16, 2)).ok());
  auto pixel = host.Capability(MSG_GET, ICAP_PIXELTYPE);
  EXPECT_EQ(pixel.value.conType, TWON_ENUMERATION);
  ASSERT_EQ(pixel.value.Count(), 3u);
  EXPECT_EQ(pixel.value.Value(2), TWPT_RGB);
  EXPECT_EQ(pixel.value.currentIndex, 2u);

  auto caps = host.Capability(MSG_GET, CAP_SUPPORTEDCAPS);
  EXPECT_EQ(caps.value.conType, TWON_ARRAY);
  ASSERT_EQ(caps.value.Count(), 4u);
  EXPECT_EQ(caps.value.Value(3), ICAP_FRAMES);
  EXPECT_DOUBLE_EQ(host.Capability(MSG_GET, ICAP_PHYSICALWIDTH).value.Fixed(), -1.5);
  EXPECT_EQ(host.Capability(MSG_GET, ICAP_FRAMES).value.Frame(),
            (std::vector<double>{0.25, 0, 8.5, 11}));
  EXPECT_EQ(host.Capability(MSG_GET, CAP_INDICATORS).value.Value(), 1);
  auto unknown = host.Capability(MSG_GET, ICAP_BITORDER);
  EXPECT_EQ(unknown.rc, TWRC_FAILURE);
  EXPECT_EQ(unknown.cc, TWCC_BADCAP);

  const auto info = host.GetImageInfo().value;
  EXPECT_DOUBLE_EQ(info.xResolution, 300.5);
  EXPECT_DOUBLE_EQ(info.yResolution, 300);
  EXPECT_EQ(info.width, 17);
  EXPECT_EQ(info.length, 5);
  EXPECT_EQ(info.samplesPerPixel, 1);
  EXPECT_EQ(info.bitsPerSample[0], 8);
  EXPECT_EQ(info.bitsPerPixel, 8);
  EXPECT_EQ(info.pixelType, TWPT_GRAY);

  const twainhost::ImageLayout layout{0.5, 1.25, 8, 10.75, 4, 5, 6};
  ASSERT_TRUE(host.Layout(MSG_SET, layout).ok());
  const auto back = host.Layout(MSG_GET).value;
  EXPECT_EQ(std::vector<double>({back.left, back.top, back.right, back.bottom}),
            std::vector<double>({0.5, 1.25, 8, 10.75}));
  EXPECT_EQ(std::vector<uint32_t>({back.document, back.page, back.frame}),
            std::vector<uint32_t>({4, 5, 6}));

  const auto mem = host.GetSetupMemXfer().value;
  EXPECT_EQ(std::vector<uint32_t>({mem.minBufSize, mem.maxBufSize, mem.preferred}),
            std::vector<uint32_t>({32768, 0x400000, 0x400000}));
  const std::string file = (folder / "page.tif").string();
  ASSERT_TRUE(host.SetupFile(MSG_SET, {file, TWFF_TIFF, -3}).ok());
  const auto setup = host.SetupFile(MSG_GET).value;
  EXPECT_EQ(setup.fileName, file);
  EXPECT_EQ(setup.vRefNum, -3);

  const auto ext =
      host.ExtImageInfo({TWEI_BARCODECOUNT, TWEI_BARCODETEXTLENGTH, TWEI_PATCHCODE, 0x1234});
  ASSERT_EQ(ext.value.size(), 4u);
  EXPECT_EQ(ext.value[0].item, 2u);
  EXPECT_EQ(ext.value[1].numItems, 2);
  EXPECT_EQ(ext.value[1].data, (std::vector<uint8_t>{2, 0, 0, 0, 3, 0, 0, 0}));
  EXPECT_EQ(ext.value[2].returnCode, TWRC_DATANOTAVAILABLE);
  EXPECT_EQ(ext.value[3].returnCode, TWRC_INFONOTSUPPORTED);

  const auto custom = host.Custom(MSG_GET);
  EXPECT_TRUE(custom.ok());
  EXPECT_EQ(custom.value.error, samplesource::kLastError);
  EXPECT_EQ(custom.value.message, samplesource::kLastErrorText);
  EXPECT_EQ(host.Custom(MSG_GET, 0x1111).cc, TWCC_BADPROTOCOL);

  EXPECT_EQ(host.liveBlocks(), 0u) << "every block handed over was read and freed";
  ASSERT_TRUE(host.CloseSource().ok());
}

TEST_F(Host, TransfersArriveWhole) {
  Open();
  ASSERT_TRUE(host.EnableDs(false).ok());
  // A buffer of two rows and a bit: strips of 2, 2 and 1 rows, the last one through a handle.
  const uint32_t buffer = 2 * samplesource::kImageWidth + 5;
  std::vector<uint8_t> image;
  std::vector<uint32_t> offsets;
  for (int strip = 0; strip < 3; ++strip) {
    const auto r = host.MemXfer(buffer, strip == 2);
    EXPECT_EQ(r.rc, strip < 2 ? TWRC_SUCCESS : TWRC_XFERDONE);
    EXPECT_EQ(r.value.bytesPerRow, samplesource::kImageWidth);
    offsets.push_back(r.value.yOffset);
    image.insert(image.end(), r.value.data.begin(), r.value.data.end());
  }
  EXPECT_EQ(offsets, (std::vector<uint32_t>{0, 2, 4}));
  ASSERT_EQ(image.size(), samplesource::kImageWidth * samplesource::kImageLength);
  for (size_t i = 0; i < image.size(); ++i) ASSERT_EQ(image[i], uint8_t(i)) << i;
  EXPECT_EQ(host.PendingXfers(MSG_ENDXFER).value, 0);

  const auto native = host.NativeXfer();
  EXPECT_EQ(native.rc, TWRC_XFERDONE);
  EXPECT_EQ(native.value, std::vector<uint8_t>(std::begin(samplesource::kNativeBlock),
                                               std::end(samplesource::kNativeBlock)));
  const std::string file = (folder / "page.tif").string();
  ASSERT_TRUE(host.SetupFile(MSG_SET, {file, TWFF_TIFF, 0}).ok());
  EXPECT_EQ(host.FileXfer().rc, TWRC_XFERDONE);
  EXPECT_EQ(std::filesystem::file_size(file), sizeof samplesource::kNativeBlock);
  EXPECT_EQ(host.liveBlocks(), 0u);
  host.PendingXfers(MSG_ENDXFER);
  ASSERT_TRUE(host.DisableDs().ok());
  ASSERT_TRUE(host.CloseSource().ok());
}

TEST_F(Host, JournalsEveryTripletWithItsConditionCode) {
  Open();
  host.Call(8, DAT_NULL, MSG_GET, nullptr);
  const auto& failed = host.journal().back();
  EXPECT_EQ(failed.dg, 8u);
  EXPECT_EQ(failed.rc, TWRC_FAILURE);
  EXPECT_TRUE(failed.conditionRead);
  EXPECT_EQ(failed.cc, TWCC_BADVALUE);

  host.set_auto_status(false);
  twainhost::Bytes record(4);
  EXPECT_EQ(host.Call(DG_CONTROL, 0x7777, MSG_GET, record.data()).rc, TWRC_FAILURE);
  EXPECT_FALSE(host.journal().back().conditionRead);
  EXPECT_EQ(host.GetStatus().value, TWCC_BADPROTOCOL);
  EXPECT_EQ(host.GetStatus().value, TWCC_SUCCESS);
  ASSERT_TRUE(host.CloseSource().ok());
}

}  // namespace
