#pragma once
// Test helpers: open a scanner the way the driver's transport does and run exchanges on it.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/usb/UsbHost.h"

namespace simtest {

using namespace usbhost;
using Block = std::array<uint8_t, 12>;

struct OpenScanner {
  std::unique_ptr<UsbDevice> device;
  std::unique_ptr<UsbInterface> interface;
  uint8_t bulkIn = 0, bulkOut = 0, interrupt = 0;
};

// Finds the index-th device with the ids, opens it exclusively, selects configuration 1 and
// opens its first interface; classifies the pipes as the transport does.
inline UsbStatus Open(UsbBus& bus, uint16_t vendor, uint16_t product, OpenScanner* out,
                      size_t index = 0) {
  std::vector<std::unique_ptr<UsbDevice>> found;
  if (UsbStatus rc = bus.FindDevices(vendor, product, &found)) return rc;
  if (found.size() <= index) return kUsbNotFound;
  out->device = std::move(found[index]);
  uint8_t configs = 0, value = 0, pipes = 0;
  if (UsbStatus rc = out->device->GetNumberOfConfigurations(&configs)) return rc;
  if (configs == 0) return kUsbNotFound;
  if (UsbStatus rc = out->device->GetConfigurationValue(0, &value)) return rc;
  if (UsbStatus rc = out->device->OpenDevice()) return rc;
  if (UsbStatus rc = out->device->SetConfiguration(value)) return rc;
  if (UsbStatus rc = out->device->CreateInterface(&out->interface)) return rc;
  if (UsbStatus rc = out->interface->Open()) return rc;
  if (UsbStatus rc = out->interface->GetNumEndpoints(&pipes)) return rc;
  for (uint8_t p = 1; p <= pipes; ++p) {
    PipeProperties props;
    if (UsbStatus rc = out->interface->GetPipeProperties(p, &props)) return rc;
    if (props.transferType == TransferType::Bulk)
      (props.direction == Direction::In ? out->bulkIn : out->bulkOut) = p;
    else if (props.transferType == TransferType::Interrupt && props.direction == Direction::In)
      out->interrupt = p;
  }
  return kUsbSuccess;
}

inline Block MakeBlock(uint8_t opcode, uint16_t id) {
  Block b{};
  b[0] = opcode;
  b[1] = uint8_t(id >> 8);
  b[2] = uint8_t(id);
  return b;
}
inline Block InquiryBlock(uint16_t id, uint8_t length) {
  Block b = MakeBlock(0xE2, id);
  b[10] = length;
  return b;
}
inline Block SenseBlock(uint16_t id) {
  Block b = MakeBlock(0xE3, id);
  b[10] = 44;
  return b;
}
inline Block ReadBlock(uint8_t opcode, uint16_t id, uint16_t dataType, uint32_t length) {
  Block b = MakeBlock(opcode, id);
  b[3] = uint8_t(dataType >> 8);
  b[4] = uint8_t(dataType);
  b[7] = uint8_t(length >> 24);
  b[8] = uint8_t(length >> 16);
  b[9] = uint8_t(length >> 8);
  b[10] = uint8_t(length);
  return b;
}

// What a job start puts in its SET WINDOW data; the rest of the 96 bytes stays 0.
struct WindowFields {
  uint32_t bytesPerLine = 0;
  uint32_t modeBit = 0;
  uint16_t method = 0;
  uint8_t backgroundLines = 0;
  uint16_t resolution = 0;  // both ways
  uint32_t pixels = 0, lines = 0;
  bool continuous = false;  // byte 62 bit 0x01: sheet after sheet in one stream of READs
};
inline std::vector<uint8_t> ScanWindow(const WindowFields& f) {
  std::vector<uint8_t> w(96, 0);
  w[2] = 2;
  w[4] = 96;
  auto put = [&](size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) w[at + i] = uint8_t(v >> (8 * (bytes - 1 - i)));
  };
  put(23, f.resolution, 2);
  put(25, f.resolution, 2);
  put(27, f.pixels, 4);
  put(31, f.lines, 4);
  put(35, f.bytesPerLine, 4);
  put(39, f.modeBit, 4);
  put(43, f.method, 2);
  w[59] = f.backgroundLines;
  if (f.continuous) w[62] |= 0x01;
  return w;
}
inline Block SetWindowBlock(uint16_t id) {
  Block b = MakeBlock(0xE4, id);
  b[10] = 96;
  return b;
}

inline UsbStatus SendBlock(UsbInterface& i, Block block) {
  ControlRequest r;
  r.bmRequestType = 0x40;
  r.bRequest = 4;
  r.wLength = 12;
  r.data = block.data();
  return i.DeviceRequest(&r);
}

struct ReadResult {
  UsbStatus rc = kUsbSuccess;
  std::vector<uint8_t> bytes;
  int completions = 0;  // transfers that brought data
  int empties = 0;      // zero-length completions without an error
};

// Reads n bytes from bulk IN, looping over partial completions; gives up after maxEmpty
// zero-length completions in a row (the transport bounds the same loop).
inline ReadResult ReadExactly(UsbInterface& i, uint8_t pipe, uint32_t n, int maxEmpty = 16) {
  ReadResult r;
  r.bytes.resize(n);
  uint32_t have = 0;
  int emptyRun = 0;
  while (have < n) {
    uint32_t size = n - have;
    r.rc = i.ReadPipe(pipe, r.bytes.data() + have, &size);
    if (r.rc != kUsbSuccess) break;
    if (size == 0) {
      ++r.empties;
      if (++emptyRun > maxEmpty) {
        r.rc = kUsbNotResponding;
        break;
      }
      continue;
    }
    emptyRun = 0;
    ++r.completions;
    have += size;
  }
  r.bytes.resize(have);
  return r;
}

struct Outcome {
  UsbStatus rc = kUsbSuccess;
  std::vector<uint8_t> data;
  std::array<uint8_t, 3> status{};
};

// One command as the transport runs it: block, at most one data phase, 3-byte status.
inline Outcome DoCommand(OpenScanner& s, Block block, uint32_t readLength,
                         const std::vector<uint8_t>& writeData = {}) {
  Outcome o;
  if ((o.rc = SendBlock(*s.interface, block))) return o;
  if (readLength) {
    ReadResult r = ReadExactly(*s.interface, s.bulkIn, readLength);
    o.data = r.bytes;
    if ((o.rc = r.rc)) return o;
  } else if (!writeData.empty()) {
    if ((o.rc = s.interface->WritePipe(s.bulkOut, writeData.data(), uint32_t(writeData.size()))))
      return o;
  }
  ReadResult st = ReadExactly(*s.interface, s.bulkIn, 3);
  if ((o.rc = st.rc)) return o;
  std::copy(st.bytes.begin(), st.bytes.end(), o.status.begin());
  return o;
}

// A zero-terminated text inside a reply, found through a big-endian offset at `at`.
inline std::string TextAt(const std::vector<uint8_t>& b, size_t at) {
  size_t offset = size_t(b.at(at)) << 8 | b.at(at + 1);
  std::string text;
  for (size_t i = offset; i < b.size() && b[i]; ++i) text += char(b[i]);
  return text;
}

}  // namespace simtest
