#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "drv/device/DeviceDescription.h"
#include "vantrel/device_ids.h"

namespace {
KrDrvDeviceInformation Record(uint32_t type) {
  KrDrvDeviceInformation r;
  std::memset(&r, 0, sizeof r);
  r.Type = type;
  return r;
}

KrDrvDeviceInformation Usb(uint16_t vid, uint16_t pid, const char* serial = "") {
  KrDrvDeviceInformation r = Record(krbus::kUsb);
  kridentity::SetWord(r.Identity, 0, vid);
  kridentity::SetWord(r.Identity, 1, pid);
  std::snprintf(r.SerialNumber, sizeof r.SerialNumber, "%s", serial);
  return r;
}

std::string TargetId(KrDrvDeviceInformation r) {
  CDeviceDescription::FillDeviceName(&r);
  return r.DeviceName;
}
}  // namespace

TEST(TargetId, FormatsEveryBusType) {
  KrDrvDeviceInformation tcp = Record(krbus::kTcpIp);
  const uint8_t address[4] = {192, 168, 1, 20};
  uint32_t packed;
  std::memcpy(&packed, address, 4);
  kridentity::SetIpAddress(tcp.Identity, packed, 80);
  std::strcpy(tcp.VendorName, "Acme");
  std::strcpy(tcp.ModelName, "M1");

  KrDrvDeviceInformation dual = Record(krbus::kDualUsb);
  for (int i = 0; i < 4; ++i)
    kridentity::SetWord(dual.Identity, i, static_cast<uint16_t>(0xA0 + i));
  KrDrvDeviceInformation scsi = Record(krbus::kScsi);
  kridentity::SetTexts(scsi.Identity, "VEND", "MODEL");
  KrDrvDeviceInformation fw = Record(krbus::kFirewire);
  kridentity::SetTexts(fw.Identity, "FW", "CAM");
  KrDrvDeviceInformation virt = Record(krbus::kVirtual);
  kridentity::SetTexts(virt.Identity, "sim", "one");
  KrDrvDeviceInformation none = Record(krbus::kNone);
  std::strcpy(none.SerialNumber, "S9");
  KrDrvDeviceInformation odd = Record(77);

  struct Case {
    KrDrvDeviceInformation record;
    const char* expected;
  } cases[] = {
      {Usb(0x1234, 0xABCD, "X1"), "usb:0x1234:0xABCD:X1"},
      {Usb(0x1234, 0xABCD), "usb:0x1234:0xABCD"},
      {Usb(0x000a, 0x00bc), "usb:0x000A:0x00BC"},
      {tcp, "tcpip:192.168.1.20:80:Acme:M1"},
      {dual, "dualusb:0x00A0:0x00A1:0x00A2:0x00A3"},
      {scsi, "scsi:VEND:MODEL"},
      {fw, "scsi:FW:CAM"},
      {virt, "virtual::sim:one"},
      {none, "???"},
      {odd, "???"},
  };
  for (const Case& c : cases) EXPECT_EQ(TargetId(c.record), c.expected);
}

TEST(TargetId, ParsesBackIntoADescription) {
  struct Case {
    const char* text;
    uint32_t type;
    const char* description;
    const char* match;
  } cases[] = {
      {"usb:0x1234:0xABCD:X1", krbus::kUsb, "USB 1234:ABCD", "X1"},
      {"USB:4660:0171", krbus::kUsb, "USB 1234:0079", ""},  // decimal and octal ids
      {"scsi:VEND:MODEL", krbus::kScsi, "SCSI VEND MODEL", ""},
      {"tcpip:192.168.1.20:80:Acme:M1:SER", krbus::kTcpIp, "TCPIP Acme M1", "SER"},
      {"dualusb:0xA0:0xA1:0xA2:0xA3", krbus::kDualUsb, "Dual USB 00A0:00A1+00A2:00A3", ""},
      {"virtual::sim:one:abc", krbus::kVirtual, "Virtual sim", "abc"},
      {"bluetooth:1:2", krbus::kNone, "None", ""},
      {"", krbus::kNone, "None", ""},
  };
  for (const Case& c : cases) {
    CDeviceDescription d(c.text);
    char text[256];
    EXPECT_EQ(d.GetType(), c.type) << c.text;
    EXPECT_EQ(d.GetDescriptionString(text), std::strlen(c.description)) << c.text;
    EXPECT_STREQ(text, c.description) << c.text;
    EXPECT_STREQ(d.GetMatchText(), c.match) << c.text;
    EXPECT_STREQ(d.GetName(), "?");
  }
  EXPECT_EQ(CDeviceDescription("usb:1:2").GetDescriptionString(nullptr), 0u);
  // A long text is cut, not overrun.
  std::string longId = "scsi:" + std::string(400, 'v') + ":" + std::string(400, 'm');
  EXPECT_EQ(CDeviceDescription(longId.c_str()).GetType(), krbus::kScsi);
}

TEST(CheckMatch, DecidesByBusTypeAndIdentity) {
  CDeviceDescription usb(krbus::kUsb, "M", nullptr, 0x1234, 0xABCD);
  CDeviceDescription usbSerial("usb:0x1234:0xABCD:SN7");
  CDeviceDescription scsi(krbus::kScsi, "S", nullptr, "VEND", "MODEL");
  CDeviceDescription tcpAny(krbus::kTcpIp, "T", nullptr, "", "");
  CDeviceDescription tcpAcme(krbus::kTcpIp, "T", nullptr, "ACME", "");
  CDeviceDescription virt(krbus::kVirtual, "V", nullptr, "sim", "");
  CDeviceDescription virtAny(krbus::kVirtual, "V", nullptr, "", "");
  CDeviceDescription dual(krbus::kDualUsb, "D", nullptr, 1, 2, 3, 4);

  KrDrvDeviceInformation scsiByModel = Record(krbus::kFirewire);
  kridentity::SetTexts(scsiByModel.Identity, "OTHER", "model");
  KrDrvDeviceInformation scsiNeither = Record(krbus::kScsi);
  kridentity::SetTexts(scsiNeither.Identity, "OTHER", "THING");
  KrDrvDeviceInformation tcp = Record(krbus::kTcpIp);
  std::strcpy(tcp.VendorName, "acme");
  KrDrvDeviceInformation tcpOther = tcp;
  std::strcpy(tcpOther.VendorName, "zeta");
  KrDrvDeviceInformation virtRec = Record(krbus::kVirtual);
  kridentity::SetTexts(virtRec.Identity, "SIM", "");
  KrDrvDeviceInformation dualRec = Record(krbus::kDualUsb);
  for (int i = 0; i < 4; ++i)
    kridentity::SetWord(dualRec.Identity, i, static_cast<uint16_t>(i + 1));
  KrDrvDeviceInformation dualOff = dualRec;
  kridentity::SetWord(dualOff.Identity, 3, 9);

  struct Case {
    const CDeviceDescription* description;
    KrDrvDeviceInformation record;
    bool match;
    const char* what;
  } cases[] = {
      {&usb, Usb(0x1234, 0xABCD), true, "same ids"},
      {&usb, Usb(0x1234, 0xABCD, "ANY"), true, "empty match text takes any serial"},
      {&usb, Usb(0x1234, 0xABCE), false, "other product"},
      {&usb, Usb(0x1235, 0xABCD), false, "other vendor"},
      {&usbSerial, Usb(0x1234, 0xABCD, "SN7"), true, "serial equal"},
      {&usbSerial, Usb(0x1234, 0xABCD, "sn7"), false, "serial compare counts case"},
      {&usbSerial, Usb(0x1234, 0xABCD), true, "record without serial"},
      {&usb, Record(krbus::kNone), false, "type 0"},
      {&scsi, scsiByModel, true, "model text alone, any case"},
      {&scsi, scsiNeither, false, "neither text"},
      {&usb, scsiByModel, false, "bus types differ"},
      {&tcpAny, tcp, true, "empty vendor accepts any"},
      {&tcpAcme, tcp, true, "vendor ignores case"},
      {&tcpAcme, tcpOther, false, "other vendor"},
      {&virtAny, tcp, true, "virtual description takes tcpip"},
      {&virt, tcp, false, "virtual description's vendor differs"},
      {&virt, virtRec, true, "virtual text ignores case"},
      {&dual, dualRec, true, "four ids"},
      {&dual, dualOff, false, "fourth id differs"},
      {&usb, Record(99), false, "unknown type"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.description->CheckMatch(&c.record), c.match) << c.what;
  EXPECT_TRUE(usb.CheckMatch(&usbSerial));
  EXPECT_FALSE(usb.CheckMatch(&scsi));
}

TEST(DeviceTable, AcceptsOnlyTheSupportedModel) {
  EXPECT_STREQ(DeviceConfigurationArray[0].GetName(), "CQM310_DPI200with300X200");
  EXPECT_EQ(DeviceConfigurationArray[1].GetType(), krbus::kNone);
  EXPECT_STREQ(DeviceConfigurationArray[1].GetName(), "?");
  KrDrvDeviceInformation ok = Usb(vantrel::kSupportedVendorId, vantrel::kSupportedProductId, "S");
  EXPECT_TRUE(MatchDefaultDeviceArray(&ok));
  KrDrvDeviceInformation other = Usb(vantrel::kSupportedVendorId, 0x0311);
  EXPECT_FALSE(MatchDefaultDeviceArray(&other));
  KrDrvDeviceInformation none = Record(krbus::kNone);
  EXPECT_FALSE(MatchDefaultDeviceArray(&none));
  CScanner* model = DeviceConfigurationArray[0].Create();
  ASSERT_NE(model, nullptr);
  delete model;
  EXPECT_EQ(DeviceConfigurationArray[1].Create(), nullptr);
}
