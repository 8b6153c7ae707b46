#pragma once
// The text fields of the data source's records (the settings record's profile, alarm, imprinter
// text and counter; the scanner information's names and versions).
//
// Why a handle of one pointer: the records keep the field order and size of the original 64-bit
// layout, where each text is an 8-byte reference to an immutable, counted string. SharedText is
// exactly that: one pointer to an immutable UTF-8 block with an atomic count. Copying a record
// copies the handles and retains the texts, so the scan layer's copy of the settings, the
// dialog's copy of the scanner information and the owner's record all stay valid on their own
// threads; replacing a text releases the old one. A null handle reads as empty text.
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace ferrolite {

class SharedText {
 public:
  SharedText() noexcept = default;
  SharedText(std::string_view text) : block_(new Block{{1}, std::string(text)}) {}  // NOLINT
  SharedText(const char* text) : SharedText(std::string_view(text ? text : "")) {}  // NOLINT
  SharedText(const SharedText& other) noexcept : block_(other.block_) { retain(); }
  SharedText(SharedText&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
  SharedText& operator=(const SharedText& other) noexcept {
    if (block_ != other.block_) {
      other.retain();
      release();
      block_ = other.block_;
    }
    return *this;
  }
  SharedText& operator=(SharedText&& other) noexcept {
    if (this != &other) {
      release();
      block_ = std::exchange(other.block_, nullptr);
    }
    return *this;
  }
  ~SharedText() { release(); }

  bool isNull() const noexcept { return block_ == nullptr; }
  std::string_view view() const noexcept {
    return block_ ? std::string_view(block_->text) : std::string_view();
  }
  std::string str() const { return std::string(view()); }
  bool empty() const noexcept { return view().empty(); }

  friend bool operator==(const SharedText& a, std::string_view b) noexcept { return a.view() == b; }
  friend bool operator==(const SharedText& a, const SharedText& b) noexcept {
    return a.view() == b.view();
  }

 private:
  struct Block {
    std::atomic<uint32_t> refs;
    const std::string text;
  };
  void retain() const noexcept {
    if (block_) block_->refs.fetch_add(1, std::memory_order_relaxed);
  }
  void release() noexcept {
    if (block_ && block_->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete block_;
    block_ = nullptr;
  }

  Block* block_ = nullptr;
};

static_assert(sizeof(SharedText) == sizeof(void*), "a record's text is one pointer wide");

}  // namespace ferrolite
