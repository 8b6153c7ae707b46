// Lamp check and shading calibration of a job's device preparation.
#include "drv/engine/Calibration.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "drv/device/ExportFrame.h"
#include "drv/engine/EngineDump.h"
#include "drv/platform/DbgLog.h"

using namespace krstatus;

namespace {

constexpr uint32_t kInformationLength = 36;
constexpr uint8_t kNoCalibrationNeeded = 3;
constexpr uint8_t kFlagThreePlanes = 0x01;
constexpr uint8_t kFlagThreeChannelReference = 0x08;
constexpr uint32_t kReferenceHead = 5;
constexpr uint32_t kGainHead = 7;
// Spare entries behind the sample column, the means and the gains.
constexpr uint32_t kSpare = 100;
constexpr uint32_t kDumpHeader = 44;

constexpr uint32_t kLampStatusLength = 5;
constexpr uint8_t kLampOffState = 0;
constexpr uint8_t kLampReadyState = 1;
constexpr uint8_t kLampMayBeSwitchedOn = 0x20;  // inquiry byte 88
const uint8_t kLampOnBlock[kLampStatusLength] = {0, 0, 1, 5, 1};

// What the calibration information says.
struct CalibrationInformation {
  uint32_t width;           // W, pixels per reference line
  uint32_t bytesPerSample;  // S
  uint32_t lines;           // N
  uint8_t flags;
  uint16_t targets[3];  // red, green, blue
};

CalibrationInformation ParseInformation(const uint8_t* info) {
  CalibrationInformation c;
  c.width = GetBE16(info + 4);
  c.bytesPerSample = info[6];
  c.lines = info[7];
  c.flags = info[9];
  for (int i = 0; i < 3; ++i) c.targets[i] = GetBE16(info + 13 + 2 * i);
  return c;
}

// The diagnostic files of a calibration: a "CALI" header, then the data.
std::vector<uint8_t> DumpHeader(const CalibrationInformation& c, uint32_t channels,
                                uint32_t columns) {
  std::vector<uint8_t> head(kDumpHeader, 0);
  std::memcpy(head.data(), "CALI", 4);
  const uint32_t fields[] = {c.width, c.bytesPerSample, c.lines, channels, columns};
  std::memcpy(head.data() + 4, fields, sizeof fields);
  return head;
}

void DumpReference(const CalibrationInformation& c, bool threeChannels, uint32_t columns,
                   const std::vector<uint8_t>& reference) {
  char text[128];
  const int n = std::snprintf(
      text, sizeof text, "CaliRaw\nbyte per pixel = %i\nWidth = %i\nLength = %i\n",
      static_cast<int>(c.bytesPerSample), static_cast<int>(c.width), static_cast<int>(c.lines));
  ReplaceDebugRawFile("CaliRaw.txt", {{text, static_cast<size_t>(n)}});
  const uint8_t* samples = reference.data() + kReferenceHead;
  const size_t sampleBytes = reference.size() - kReferenceHead;
  ReplaceDebugRawFile("Cali.Raw", {{samples, sampleBytes}});
  // The viewer's file is always three channels: a one-channel sample is written three times.
  std::vector<uint8_t> rgb;
  if (threeChannels) {
    rgb.assign(samples, samples + sampleBytes);
  } else {
    for (size_t i = 0; i + c.bytesPerSample <= sampleBytes; i += c.bytesPerSample) {
      for (int k = 0; k < 3; ++k)
        rgb.insert(rgb.end(), samples + i, samples + i + c.bytesPerSample);
    }
  }
  const std::vector<uint8_t> head = DumpHeader(c, 3, columns);
  ReplaceDebugRawFile("CaliH.Raw", {{head.data(), head.size()}, {rgb.data(), rgb.size()}});
}

// One block of gains: the 7-byte head (byte 6 the high byte of the block's length), then
// `gainBytes` bytes of the gains in host order.
bool SendGainBlock(IoObject* io, const uint16_t* gains, uint32_t gainBytes) {
  const uint32_t length = kGainHead + gainBytes;
  std::vector<uint8_t> block(length, 0);
  block[6] = static_cast<uint8_t>(length >> 8);
  std::memcpy(block.data() + kGainHead, gains, gainBytes);
  return io->Send(block.data(), length, krdata::kCalibrationGains);
}

bool Calibrate(CScannerManagerScannerItem* item) {
  IoObject* io = item->pIoObject;
  CScanner* scanner = item->pScanner;
  uint8_t raw[kInformationLength] = {};
  if (!io->Read(raw, kInformationLength, krdata::kCalibrationInformation)) return false;
  if (raw[8] == kNoCalibrationNeeded) {
    DbgPrintf(1, "=>There is no need to do calibration.");
    return true;
  }
  const CalibrationInformation c = ParseInformation(raw);

  SCANPARAMETER_UNION dev;
  scanner->GetNewScanParameter(&dev);
  bool threeChannels = dev.ScanMode == 4;
  if (!threeChannels && scanner->GetFeature(kFeatureThreeChannelUnfiltered)) {
    threeChannels = dev.ColorFilter == 0;
  } else if (!threeChannels && scanner->GetFeature(kFeatureThreeChannelReference)) {
    threeChannels = dev.ColorFilter == 0 && (c.flags & kFlagThreeChannelReference) != 0;
  }
  const uint32_t perChannel = threeChannels ? c.lines / 3 : c.lines;
  const uint32_t columns = threeChannels ? 3 * c.width : c.width;
  if ((c.bytesPerSample != 1 && c.bytesPerSample != 2) || c.width == 0 || perChannel == 0) {
    DbgPrintf(1, "Calibration information is not usable: width=%u bytes=%u lines=%u", c.width,
              c.bytesPerSample, c.lines);
    item->lErrorStatus = kUnknown;
    return false;
  }

  std::vector<uint8_t> reference(static_cast<size_t>(c.lines) * c.width * c.bytesPerSample +
                                 kReferenceHead);
  std::vector<uint16_t> column(perChannel + kSpare);
  std::vector<uint16_t> means(columns + kSpare);
  DbgPrintf(1, "Calibration data");
  const uint16_t referenceType =
      threeChannels ? krdata::kCalibrationReferenceThreeChannel : krdata::kCalibrationReference;
  if (!io->Read(reference.data(), static_cast<uint32_t>(reference.size()), referenceType))
    return false;
  if (gdwDebugLevel >= 2) DumpReference(c, threeChannels, columns, reference);

  // Unity wherever no gain is computed, so the device never gets stray values.
  std::vector<uint16_t> gains(columns + kSpare, kUnityGain);
  const uint8_t* samples = reference.data() + kReferenceHead;
  const size_t stride = static_cast<size_t>(c.bytesPerSample) * columns;
  for (uint32_t col = 0; col < columns; ++col) {
    for (uint32_t line = 0; line < perChannel; ++line) {
      const uint8_t* s = samples + line * stride + static_cast<size_t>(col) * c.bytesPerSample;
      column[line] = c.bytesPerSample == 1 ? static_cast<uint16_t>(s[0] << 8)
                                           : static_cast<uint16_t>(s[0] | (s[1] << 8));
    }
    const uint16_t mean = BubbleSort(column.data(), static_cast<uint8_t>(perChannel));
    means[col] = mean == 0 ? 1 : mean;
  }
  // 16384 * (target * 256) / mean in 64 bits, so large targets do not wrap; then clamped.
  auto gainOf = [&](uint32_t target, uint16_t mean) {
    const uint64_t gain = (uint64_t{kUnityGain} * (uint64_t{target} * 256)) / mean;
    return static_cast<uint16_t>(std::clamp<uint64_t>(gain, kUnityGain, 0xFFFF));
  };
  if (!threeChannels) {
    const uint32_t target = dev.ColorFilter == 1   ? c.targets[0]
                            : dev.ColorFilter == 3 ? c.targets[2]
                                                   : c.targets[1];
    for (uint32_t col = 0; col < columns; ++col) gains[col] = gainOf(target, means[col]);
  } else if (c.targets[0] != 0) {
    for (uint32_t col = 0; col < columns; ++col) {
      const uint32_t channel = col % 3;
      gains[col / 3 + channel * c.width] = gainOf(c.targets[channel], means[col]);
    }
  }

  DbgPrintf(1, "Calibration send");
  bool sent = false;
  if (threeChannels && (c.flags & kFlagThreePlanes) != 0) {
    // Red as a whole plane behind the head; green and blue in blocks of the plane's length.
    const uint32_t plane = 2 * c.width;
    const uint32_t tail = plane > kGainHead ? plane - kGainHead : 0;
    sent = SendGainBlock(io, gains.data(), plane) &&
           SendGainBlock(io, gains.data() + c.width, tail) &&
           SendGainBlock(io, gains.data() + 2 * c.width, tail);
    if (gdwDebugLevel >= 1) {
      const char* names[3] = {"CaliR.Raw", "CaliG.Raw", "CaliB.Raw"};
      for (uint32_t k = 0; k < 3; ++k)
        ReplaceDebugRawFile(names[k], {{gains.data() + k * c.width, plane}});
    }
  } else {
    sent = SendGainBlock(io, gains.data(), 2 * c.width);
  }
  if (gdwDebugLevel >= 1) {
    const std::vector<uint8_t> head = DumpHeader(c, threeChannels ? 3 : 1, columns);
    ReplaceDebugRawFile("CaliF.Raw",
                        {{head.data(), head.size()}, {gains.data(), columns * sizeof(uint16_t)}});
  }
  return sent;
}

}  // namespace

bool DoCalibration(CScannerManagerScannerItem* item, SCANPARAMETER_UNION* /*unused*/) {
  DbgPrintf(1, "=>DoCalibration");
  bool ok = false;
  try {
    ok = Calibrate(item);
  } catch (const std::bad_alloc&) {
    DbgPrintf(1, "memory allocation failed : %s", "calibration buffers");
    item->lErrorStatus = kNoMemory;
  }
  DbgPrintf(1, "<=DoCalibration ret=%d", ok ? 1 : 0);
  return ok;
}

bool DoLightCheck(CScannerManagerScannerItem* item) {
  IoObject* io = item->pIoObject;
  uint8_t status[kLampStatusLength] = {};
  if (!io->Read(status, kLampStatusLength, krdata::kLamp)) {
    CommandFailure(item);
    return false;
  }
  const uint8_t lamp = status[4];
  DbgPrintf(1, "DoLightCheck: lamp status = %d", lamp);
  if (lamp == kLampReadyState) return true;
  if (lamp == kLampOffState) {
    if ((item->pScanner->InquiryData()[88] & kLampMayBeSwitchedOn) != 0 &&
        !io->Send(kLampOnBlock, kLampStatusLength, krdata::kLamp)) {
      CommandFailure(item);
      return false;
    }
    item->lErrorStatus = kLampOff;
    return false;
  }
  item->lErrorStatus = kWarmUp;
  return false;
}

uint16_t BubbleSort(uint16_t* v, uint8_t count) {
  const int k = count;
  const int m = k - 1;
  const int third = m / 3;
  const int half = third / 2;
  // The smallest few to the front in ascending order, then the largest of the rest; the last
  // sample takes no part in the ordering.
  for (int i = 0; i < half; ++i) {
    for (int j = i + 1; j < m; ++j) {
      if (v[i] > v[j]) std::swap(v[i], v[j]);
    }
  }
  for (int i = half; i < third; ++i) {
    for (int j = i + 1; j < m; ++j) {
      if (v[i] < v[j]) std::swap(v[i], v[j]);
    }
  }
  const int kept = k - third;
  if (kept <= 0) return 0;
  uint32_t sum = 0;
  for (int i = third; i < k; ++i) sum += v[i];
  return static_cast<uint16_t>(sum / static_cast<uint32_t>(kept));
}

uint32_t GetGCD(uint32_t a, uint32_t b) {
  while (b != 0) {
    const uint32_t r = a % b;
    a = b;
    b = r;
  }
  return a;
}

uint32_t GetLCM(uint32_t a, uint32_t b) {
  const uint32_t gcd = GetGCD(a, b);
  return gcd == 0 ? 0 : a / gcd * b;
}
