// The driver's command layer and device exports on any replies from the device: a simulated
// scanner answers as usual, and the input rewrites its replies one by one through the
// simulator's reply hook. The driver acts as a front end does on opening a scanner (device
// list, open, ability, NVRAM, imprinter, general values, network values, buttons, status,
// reset, close), and the records it hands over are read as a client reads them, by their own
// sizes.
//
// Byte 0 describes the scanner: bits 0-1 the imprinter (none, absent, no head, fitted), bit 2
// the 132-byte NVRAM layout, bit 3 network capability, bit 4 no interrupt pipe. Then, for each
// reply in turn, a control byte (0: the reply as the device made it): bit 0 overwrite a run of
// the data (offset u16, count, bytes), bit 1 a new data length (u16), bit 2 a new status byte,
// bit 3 a new controller id in the status (u16).
#include <sys/stat.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/usb/UsbHost.h"
#include "sim/SimScanner.h"
#include "tests/fuzz/FuzzInput.h"
#include "vantrel/kr_api.h"

namespace {

constexpr uint32_t kCtrl = 0x2200;

volatile uint8_t gSink;

// Reads every byte of a block the driver handed over.
void Touch(const void* block, size_t size) {
  const auto* p = static_cast<const uint8_t*>(block);
  uint8_t sum = 0;
  for (size_t i = 0; i < size; ++i) sum = uint8_t(sum + p[i]);
  gSink = sum;
}

void TouchText(const char* text) {
  if (text) Touch(text, std::strlen(text));
}

void Rewrite(fuzz::Input& in, std::vector<uint8_t>* data, std::array<uint8_t, 3>* status) {
  const uint8_t control = in.Byte();
  if ((control & 1) && data) {
    const size_t offset = in.U16();
    const std::vector<uint8_t> bytes = in.Take(in.Byte());
    for (size_t i = 0; i < bytes.size() && offset + i < data->size(); ++i)
      (*data)[offset + i] = bytes[i];
  }
  if ((control & 2) && data) data->resize(in.U16(), 0);
  if (control & 4) (*status)[2] = in.Byte();
  if (control & 8) {
    const uint16_t id = in.U16();
    (*status)[0] = uint8_t(id >> 8);
    (*status)[1] = uint8_t(id);
  }
}

void ReadRecords(uint32_t* handle, bool layout1) {
  DeviceAbility* ability = nullptr;
  if (KRGetDeviceAbility(kCtrl, handle, &ability) == 0 && ability) {
    Touch(ability, sizeof *ability);
    for (char* text : {ability->pVendorName, ability->pModelName, ability->pFWVersion,
                       ability->pPortType, ability->pPortAddress}) {
      TouchText(text);
      KRMemFree(kCtrl, text);
    }
    KRMemFree(kCtrl, ability);
  }
  // The whole NVRAM record, by the driver's block and twice into a client's own.
  void* nvm = nullptr;
  if (KRReadNVMData(kCtrl, handle, &nvm, 0, 0) == 0 && nvm) {
    const auto* r = static_cast<const uint8_t*>(nvm);
    size_t size = r[2] == 100 ? sizeof(NewNvmData_VER1) : sizeof(NewNvmData);
    const size_t claimed = r[2] == 100 ? r[3] : size_t(r[3] | r[4] << 8);
    Touch(nvm, claimed > size ? claimed : size);
    KRMemFree(kCtrl, nvm);
  }
  // A client's record of the scanner's layout, reused as a client would.
  std::vector<uint8_t> mine(layout1 ? sizeof(NewNvmData_VER1) : sizeof(NewNvmData), 0);
  mine[2] = layout1 ? 100 : 200;
  mine[3] = uint8_t(mine.size());
  if (!layout1) mine[4] = uint8_t(mine.size() >> 8);
  for (int i = 0; i < 2; ++i) {
    void* p = mine.data();
    KRReadNVMData(kCtrl, handle, &p, 0, 0);
  }
  for (long tag = 1; tag <= 12; ++tag) {
    void* value = nullptr;
    if (KRReadNVMData(kCtrl, handle, &value, tag, 0) == 0) KRMemFree(kCtrl, value);
  }
  void* imprinter = nullptr;
  if (KRGetImprinterAbility(kCtrl, handle, &imprinter) == 0 && imprinter) {
    Touch(imprinter, sizeof(KR_Imprinter_Ability));
    KRMemFree(kCtrl, imprinter);
  }
  // The general values the device answers (element type 10: bytes).
  for (const uint32_t tag : {22u, 24u, 25u, 26u, 27u}) {
    std::vector<uint8_t> out(520);
    KRGeneralOperation(kCtrl, handle, KR_GENERAL_READ, tag, 10, uint32_t(out.size()), out.data());
  }
  for (uint32_t kind = 0; kind < 2; ++kind) {
    void* value = nullptr;
    if (KRReadNetworkValue(kCtrl, handle, kind, &value) == 0 && value) {
      // The block holds the reply from its length word on.
      const auto* v = static_cast<const uint8_t*>(value);
      const size_t length = size_t(v[0]) << 8 | v[1];
      Touch(value, length >= 3 ? length - 3 : 2);
      KRMemFree(kCtrl, value);
    }
  }
  KRPushButtonRecord button;
  void* record = &button;
  KRReadPushButton(kCtrl, handle, &record);
  KRDeviceStatus(kCtrl, handle);
  KRResetDevice(kCtrl, handle, nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The driver reads "Debug.conf" from its log folder at start: one of its own, empty, so that
  // no log is written.
  const char* base = std::getenv("VT_TEST_TMP");
  std::string root = std::string(base ? base : "/tmp") + "/fuzz-device-reply-XXXXXX";
  if (base) mkdir(base, 0700);
  if (mkdtemp(root.data())) setenv("VANTREL_LOG_ROOT", root.c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  fuzz::Input in(data, size);
  const uint8_t scanner = in.Byte();
  sim::Config config;
  config.imprinter = sim::ImprinterKind(scanner & 3);
  config.nvramLayout = (scanner & 4) ? 1 : 2;
  if (scanner & 8) config.inquiryPatches = {{92, 0xC0}, {96, 0xF0}, {97, 0x88}};
  config.interruptPipe = (scanner & 16) == 0;

  sim::SimBus bus;
  sim::SimScanner& device = bus.AddScanner(config);
  device.SetReplyHook([&in](const std::array<uint8_t, 12>&, std::vector<uint8_t>* reply,
                            std::array<uint8_t, 3>* status) { Rewrite(in, reply, status); });
  usbhost::InstallHost(&bus);
  KRInitializeDriver(kCtrl);
  DEVLIST* list = nullptr;
  uint32_t count = 0;
  if (KRGetDeviceList(kCtrl, &list, &count) == 0 && list) {
    DeviceInformation* node = list->pDevice;
    while (node) {
      DeviceInformation* next = node->next;
      for (char* text : {node->DeviceName, node->VendorName, node->ModelName, node->SerialNumber,
                         node->Interface}) {
        TouchText(text);
        KRMemFree(kCtrl, text);
      }
      KRMemFree(kCtrl, node);
      node = next;
    }
    KRMemFree(kCtrl, list);
  }
  uint32_t handle = 0;
  if (KRInitializeDevice(kCtrl, nullptr, &handle) == 0) {
    ReadRecords(&handle, config.nvramLayout == 1);
    KRTerminateDevice(kCtrl, &handle);
  }
  KRTerminateDriver(kCtrl);
  usbhost::InstallHost(nullptr);
  return 0;
}
