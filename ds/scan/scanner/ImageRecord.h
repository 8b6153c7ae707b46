#pragma once
// The image part of a plug-in record for one image, as every plug-in call of the data source
// starts it: the record cleared, the model's USB id text, the image's size, kind and
// resolution, the scan source and, from the feeder, the scanner's background.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "ds/scan/records/XferImageInfo.h"
#include "vantrel/nidata.h"

namespace ferrolite {

inline void fillImageRecord(NIDATA* record, const XferImageInfo& info, const std::string& usbId,
                            int scanSource, bool blackBackground) {
  std::memset(record, 0, sizeof *record);
  std::snprintf(record->Model, sizeof record->Model, "%s", usbId.c_str());
  NIDATA_InImage& in = record->InImage;
  in.Pixel = info.dwWidth;
  in.Line = info.dwLength;
  in.BitsPerPixel = info.bBitsPerPixel;
  in.BytesPerLine = info.dwBytesPerLine;
  in.XRes = info.wXRes;
  in.YRes = info.wYRes;
  if (info.bBitsPerPixel == 1) {
    in.ScanMode = 1, in.SamplePerPixel = 1;
  } else if (info.bBitsPerPixel == 8) {
    in.ScanMode = 2, in.SamplePerPixel = 1;
  } else {
    in.ScanMode = 4, in.SamplePerPixel = 3;
  }
  in.ScanType = uint8_t(scanSource);
  // The flatbed (source 0) has no feeder background.
  if (scanSource != 0) in.BackgroundColor = blackBackground ? 0 : 255;
}

// Why a plug-in may not read the record's input from `buffer` of `bufferSize` bytes: no buffer,
// bits it does not take, a line shorter than its pixels need, or lines past its end; nullptr
// when every byte the record describes is in the buffer. The plug-in reads what the record
// says, so this is the last place the buffer's real size is known.
inline const char* recordMisfit(const NIDATA& record, const void* buffer, uint64_t bufferSize) {
  if (buffer == nullptr) return "no buffer";
  const NIDATA_InImage& in = record.InImage;
  const uint32_t bits = in.BitsPerPixel;
  if (bits != 1 && bits != 8 && bits != 24) return "unknown bits a pixel";
  if (in.Pixel == 0 || in.Line == 0) return "no image";
  if (in.BytesPerLine < (uint64_t(bits) * in.Pixel + 7) / 8) return "line shorter than its pixels";
  if (uint64_t(in.BytesPerLine) * in.Line > bufferSize) return "more than the buffer holds";
  return nullptr;
}

}  // namespace ferrolite
