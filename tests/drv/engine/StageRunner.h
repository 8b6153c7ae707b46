#pragma once
// Runs one stage (or a short list) over a page given as blocks, the way the worker thread does:
// Reset at page start, then Process per block, outputs concatenated.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <vector>

#include "drv/engine/ImageProcess.h"

using Bytes = std::vector<uint8_t>;

// The colour-to-grey stage's parameter with the usual luminance weights.
inline CImageProcess_Parameter_ColorToGray GreyParam(uint32_t w, uint8_t filter = 0) {
  CImageProcess_Parameter_ColorToGray p{};
  p.Pixel = w;
  p.CofficientR = 0.212671;
  p.CofficientG = 0.71516;
  p.CofficientB = 0.072169;
  p.ColorFilter = filter;
  return p;
}

class StageRunner {
 public:
  template <class P>
  StageRunner(uint32_t id, const P& parameter) {
    CImageProcess_InitializeParameter item{id, const_cast<P*>(&parameter)};
    initialized_ = pipeline_.Initialize(1, &item);
  }

  bool initialized() const { return initialized_; }
  CImageProcess& pipeline() { return pipeline_; }

  // One block, no reset.
  Bytes Block(const Bytes& in) {
    Bytes copy = in;
    uint8_t* out = nullptr;
    uint32_t size = 0;
    EXPECT_TRUE(pipeline_.Process(copy.data(), static_cast<uint32_t>(copy.size()), &out, &size));
    return out == nullptr ? Bytes{} : Bytes(out, out + size);
  }

  // A page split into blocks of the given line counts (the last block takes the rest).
  Bytes Page(const Bytes& page, uint32_t lineBytes, std::initializer_list<uint32_t> blockLines) {
    EXPECT_TRUE(pipeline_.Reset());
    Bytes result;
    size_t at = 0;
    for (uint32_t lines : blockLines) {
      const size_t size = std::min<size_t>(size_t{lines} * lineBytes, page.size() - at);
      Bytes part = Block(Bytes(page.begin() + at, page.begin() + at + size));
      result.insert(result.end(), part.begin(), part.end());
      at += size;
    }
    if (at < page.size()) {
      Bytes part = Block(Bytes(page.begin() + at, page.end()));
      result.insert(result.end(), part.begin(), part.end());
    }
    return result;
  }

  // A page in blocks whose line counts repeat `pattern`; the outputs block by block.
  std::vector<Bytes> BlockOutputs(const Bytes& page, uint32_t lineBytes,
                                  const std::vector<uint32_t>& pattern) {
    EXPECT_TRUE(pipeline_.Reset());
    std::vector<Bytes> outputs;
    for (size_t at = 0, i = 0; at < page.size(); ++i) {
      const size_t size =
          std::min<size_t>(size_t{pattern[i % pattern.size()]} * lineBytes, page.size() - at);
      outputs.push_back(Block(Bytes(page.begin() + at, page.begin() + at + size)));
      at += size;
    }
    return outputs;
  }

  // The same, the outputs joined.
  Bytes PageInBlocksOf(const Bytes& page, uint32_t lineBytes,
                       const std::vector<uint32_t>& pattern) {
    Bytes result;
    for (const Bytes& part : BlockOutputs(page, lineBytes, pattern))
      result.insert(result.end(), part.begin(), part.end());
    return result;
  }

 private:
  CImageProcess pipeline_;
  bool initialized_ = false;
};

// A page of `lines` lines of `lineBytes` bytes where byte i of line l is f(l, i).
template <class F>
Bytes MakePage(uint32_t lines, uint32_t lineBytes, F f) {
  Bytes page(size_t{lines} * lineBytes);
  for (uint32_t l = 0; l < lines; ++l)
    for (uint32_t i = 0; i < lineBytes; ++i)
      page[size_t{l} * lineBytes + i] = static_cast<uint8_t>(f(l, i));
  return page;
}

// Reproducible noise: every byte value, no pattern a stage could happen to get right.
inline Bytes Noise(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (auto& b : bytes) b = static_cast<uint8_t>(random() >> 24);
  return bytes;
}
