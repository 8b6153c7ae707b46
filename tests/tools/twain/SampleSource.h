#pragma once
// What the tests and the sample data source agree on: its test-only triplets, the faults it can
// be told to commit, and the fixed answers it gives.
#include <cstddef>
#include <cstdint>

namespace samplesource {

// Comma-separated faults, read when the source answers a triplet:
//   forget-id         MSG_GET and MSG_OPENDS write Id 1 over the manager's Id, messages carry 1
//   leak              MSG_OPENDS allocates a block and forgets it
//   double-free       MSG_OPENDS frees a block twice
//   reenter           MSG_ENABLEDS asks the source's own identity through the manager
//   null-destination  messages go without a destination
//   thread            MSG_OPENDS starts a thread that never ends
//   version1          SupportedGroups without DF_DS2
//   image-only        SupportedGroups without DG_CONTROL
inline constexpr const char* kFaultsVariable = "SAMPLESOURCE_FAULTS";

// DG_CONTROL / kDatProbe / MSG_GET fills a Probe record (u32 fields at these offsets).
inline constexpr uint16_t kDatProbe = 0x8001;
inline constexpr size_t kProbeSize = 16;
inline constexpr size_t kProbeEntryPointAtOpen = 0;  // 1: the entry point had come by MSG_OPENDS
inline constexpr size_t kProbeManagerFound = 4;      // 1: a DSM_Entry is reachable now
inline constexpr size_t kProbeConstructions = 8;     // module constructor runs since load
inline constexpr size_t kProbeLastPost = 12;         // the manager's answer to the last message

// DG_CONTROL / kDatPost / MSG_SET with a u16 message: the source posts it to the application.
inline constexpr uint16_t kDatPost = 0x8002;

// DG_CONTROL / kDatFolder / MSG_GET writes the source's bundle folder into a TW_STR255.
inline constexpr uint16_t kDatFolder = 0x8003;

// The fixed image: 8-bit grey, 17 x 5, byte (row x 17 + column).
inline constexpr uint32_t kImageWidth = 17, kImageLength = 5;
inline constexpr uint8_t kNativeBlock[] = {'I', 'I', 42, 0, 'S', 'A', 'M', 'P', 'L', 'E'};
inline constexpr uint32_t kLastError = 2015;
inline constexpr const char16_t* kLastErrorText = u"No paper in ADF";

}  // namespace samplesource
