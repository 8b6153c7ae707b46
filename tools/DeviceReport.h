#pragma once
// Readable, aligned text of the records the driver hands out: one label and one value a line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "vantrel/device_records.h"

namespace vtclient {

class Report {
 public:
  void Title(const std::string& text);
  void Line(const std::string& label, const std::string& value);
  std::string Text() const;

 private:
  struct Entry {
    bool title;
    std::string label, value;
  };
  std::vector<Entry> entries_;
};

// The ability record; false (with one line saying why) for a version this client does not read.
bool DescribeAbility(const DeviceAbility& ability, Report* report);

// The NVRAM record as KRReadNVMData fills it into a block of blockSize bytes (at least 5): read
// as far as its Size field says and the block reaches, the rest taken as 0. False (with one line
// saying why) for a layout this client does not know.
bool DescribeNvm(const uint8_t* block, size_t blockSize, Report* report);

// A text from a record, cut at max bytes or its terminator; bytes outside printable ASCII as \xNN.
std::string Printable(const char* text, size_t max);

}  // namespace vtclient
