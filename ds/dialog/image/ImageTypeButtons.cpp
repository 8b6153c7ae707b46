#include "ds/dialog/image/ImageTypeButtons.h"

#include "ds/dialog/Ability.h"

namespace ferrolite::dialog {

namespace {
constexpr std::array<ImageKind, kModeCount> kKinds = {
    ImageKind::Color, ImageKind::Color, ImageKind::Gray,      ImageKind::Gray,
    ImageKind::BW,    ImageKind::BW,    ImageKind::AutoColor, ImageKind::AutoColor};
constexpr int kAutoFront = 6;
constexpr int kAutoRear = 7;
constexpr int kBWFront = 4;
constexpr ImageKind kFixedKinds[] = {ImageKind::Color, ImageKind::Gray, ImageKind::BW};
constexpr ImageRow kRows[] = {ImageRow::Image, ImageRow::DropC};
constexpr Side kSides[] = {Side::Front, Side::Rear};

bool isGrayOrBW(int mode) { return mode >= 2 && mode <= 5; }
bool isBW(int mode) { return mode == 4 || mode == 5; }
}  // namespace

ImageKind kindOfMode(int mode) { return kKinds[mode & 7]; }
Side sideOfMode(int mode) { return (mode & 1) ? Side::Rear : Side::Front; }
int modeOf(ImageKind kind, Side side) {
  const int rear = side == Side::Rear ? 1 : 0;
  switch (kind) {
    case ImageKind::Color:
      return 0 + rear;
    case ImageKind::Gray:
      return 2 + rear;
    case ImageKind::BW:
      return 4 + rear;
    case ImageKind::AutoColor:
      break;
  }
  return 6 + rear;
}

template <typename F>
void ImageTypeButtons::forFixedTypes(F f) {
  for (ImageRow row : kRows) {
    for (ImageKind kind : kFixedKinds) {
      for (Side side : kSides) f(at(row, kind, side));
    }
  }
}

void ImageTypeButtons::checksFollowRecordBits() {
  for (int mode = 0; mode <= 5; ++mode) {
    if (duplex_ || mode % 2 == 0) setBothChecks(mode, (record_.wImageType & kModeBits[mode]) != 0);
  }
}

void ImageTypeButtons::setBothChecks(int mode, bool on) {
  checkOf(ImageRow::Image, mode).on = on;
  checkOf(ImageRow::DropC, mode).on = on;
}

Calls ImageTypeButtons::select(int mode) {
  Calls calls;
  bridge_.mScanModeSideSelect = mode;
  calls.push_back({PageCall::selectModeSideRow, mode});
  calls.push_back({PageCall::setImageTabItems, mode});
  calls.push_back({PageCall::paperSizeInitial});
  calls.push_back({PageCall::setColorDropTabItems, mode});
  calls.push_back({PageCall::setNoiseAttribute, isBW(mode) ? 1 : 0});
  for (int m = 0; m < kModeCount; ++m) buttonOf(ImageRow::Image, m).on = m == mode;
  if (isGrayOrBW(mode)) {
    for (int m = 0; m < kModeCount; ++m) buttonOf(ImageRow::DropC, m).on = m == mode;
  } else {
    for (int m = 2; m <= 5; ++m) buttonOf(ImageRow::DropC, m).on = false;
  }
  if (mode == 0 || mode == 2 || mode == 4) calls.push_back({PageCall::changePixelByResolution});
  calls.push_back({PageCall::checkResolutionBoundary});
  calls.push_back({PageCall::setBackgroundSettingState, isBW(mode) ? 0 : 1});
  return calls;
}

Calls ImageTypeButtons::checkChanged(int mode, bool on, bool fromControl) {
  if (mode == kAutoFront) return autoFront(on, fromControl);
  if (mode == kAutoRear) return autoRear(on, fromControl);
  const uint16_t bit = kModeBits[mode];
  Calls calls;
  if (on) {
    record_.wImageType |= bit;
    calls = select(mode);
    setBothChecks(mode, true);
  } else {
    record_.wImageType &= static_cast<uint16_t>(~bit);
    if (record_.wImageType == 0) {
      // The last type cannot be unchecked: nothing changes, the profile stays.
      record_.wImageType = bit;
      setBothChecks(mode, true);
      return calls;
    }
    setBothChecks(mode, false);
    if (sideOfMode(mode) == Side::Front) calls.push_back({PageCall::enableResolutionControls});
  }
  calls.push_back({PageCall::enableFlipSide});
  calls.push_back({PageCall::checkOldAvapiPaperSize});
  calls.push_back({PageCall::switch2CustomProfile});
  return calls;
}

void ImageTypeButtons::fixedTypeChecksFromBits(bool rearToo) {
  for (int mode = 0; mode <= 5; ++mode) {
    if (sideOfMode(mode) == Side::Rear && !rearToo) continue;
    if (record_.wImageType & kModeBits[mode]) setBothChecks(mode, true);
  }
}

Calls ImageTypeButtons::autoFront(bool on, bool fromControl) {
  Calls calls;
  const bool noSeparateRear =
      record_.bScanSource == kSourceMergeTwoSides || isFlatbedSource(record_.bScanSource);
  if (on || !fromControl) {
    calls = select(kAutoFront);
    forFixedTypes([](TypeControls& c) {
      c.button.enabled = false;
      c.check.enabled = false;
      c.check.on = false;
    });
    setBothChecks(kAutoFront, true);
    record_.wImageType |= kImageAutoColorFront;
  } else if (check(ImageRow::Image, kAutoRear).on && !noSeparateRear) {
    setBothChecks(kAutoFront, false);
    record_.wImageType &= static_cast<uint16_t>(~kImageAutoColorFront);
  } else {
    const bool rearToo = !noSeparateRear && duplex_;
    for (Side side : kSides) {
      if (side == Side::Rear && !rearToo) continue;
      for (ImageKind kind : kFixedKinds) {
        TypeControls& image = at(ImageRow::Image, kind, side);
        image.button.enabled = image.check.enabled = true;
        TypeControls& drop = at(ImageRow::DropC, kind, side);
        drop.button.enabled = drop.check.enabled = kind != ImageKind::Color;
      }
    }
    setBothChecks(kAutoFront, false);
    record_.wImageType &= static_cast<uint16_t>(~kImageAutoColorFront);
    if (record_.wImageType == 0) record_.wImageType = kImageBWFront;
    fixedTypeChecksFromBits(duplex_);
  }
  calls.push_back({PageCall::enableFlipSide});
  calls.push_back({PageCall::checkOldAvapiPaperSize});
  if (fromControl) calls.push_back({PageCall::switch2CustomProfile});
  return calls;
}

Calls ImageTypeButtons::autoRear(bool on, bool fromControl) {
  Calls calls;
  if (on || !fromControl) {
    calls = select(kAutoRear);
    forFixedTypes([](TypeControls& c) {
      c.button.enabled = false;
      c.check.enabled = false;
      c.check.on = false;
    });
    setBothChecks(kAutoRear, true);
    record_.wImageType |= kImageAutoColorRear;
  } else if (check(ImageRow::Image, kAutoFront).on) {
    setBothChecks(kAutoRear, false);
    record_.wImageType &= static_cast<uint16_t>(~kImageAutoColorRear);
  } else {
    for (Side side : kSides) {
      for (ImageKind kind : kFixedKinds) {
        TypeControls& image = at(ImageRow::Image, kind, side);
        image.button.enabled = image.check.enabled = true;
        TypeControls& drop = at(ImageRow::DropC, kind, side);
        drop.button.enabled = drop.check.enabled =
            !(kind == ImageKind::Color && side == Side::Rear);
      }
    }
    setBothChecks(kAutoRear, false);
    record_.wImageType &= static_cast<uint16_t>(~kImageAutoColorRear);
    // Never left without an image type.
    if (record_.wImageType == 0) record_.wImageType = kImageBWFront;
    fixedTypeChecksFromBits(true);
  }
  calls.push_back({PageCall::enableFlipSide});
  calls.push_back({PageCall::checkOldAvapiPaperSize});
  if (fromControl) calls.push_back({PageCall::switch2CustomProfile});
  return calls;
}

void ImageTypeButtons::setState(bool rearEnabled, bool mergeTwoSides) {
  for (ImageKind kind : {ImageKind::AutoColor, ImageKind::Color, ImageKind::Gray, ImageKind::BW}) {
    TypeControls& image = at(ImageRow::Image, kind, Side::Rear);
    image.button.enabled = image.check.enabled = rearEnabled;
    TypeControls& drop = at(ImageRow::DropC, kind, Side::Rear);
    const bool dropUsable = kind == ImageKind::Gray || kind == ImageKind::BW;
    drop.button.enabled = drop.check.enabled = dropUsable && rearEnabled;
  }
  if (mergeTwoSides) {
    TypeControls& autoFront = at(ImageRow::Image, ImageKind::AutoColor, Side::Front);
    autoFront.button.enabled = autoFront.check.enabled = true;
    if (!autoFront.check.on) {
      for (ImageKind kind : kFixedKinds) {
        TypeControls& image = at(ImageRow::Image, kind, Side::Front);
        image.button.enabled = image.check.enabled = true;
        if (kind != ImageKind::Color) {
          TypeControls& drop = at(ImageRow::DropC, kind, Side::Front);
          drop.button.enabled = drop.check.enabled = true;
        }
      }
    }
  } else if (check(ImageRow::Image, kAutoFront).on || check(ImageRow::Image, kAutoRear).on) {
    forFixedTypes([](TypeControls& c) { c.button.enabled = c.check.enabled = false; });
  }
}

Calls ImageTypeButtons::fbUncheck() {
  Calls calls;
  for (int mode : {1, 3, 5, 7}) setBothChecks(mode, false);
  record_.wImageType &= static_cast<uint16_t>(~kImageRearBits);
  if (record_.wImageType == 0) {
    record_.wImageType = kImageBWFront;
    calls = select(kBWFront);
    calls.push_back({PageCall::doImageTabInit});
    calls.push_back({PageCall::setImageTabItems, kBWFront});
  }
  return calls;
}

Calls ImageTypeButtons::initImageButtons() {
  Calls calls;
  for (auto& row : controls_) {
    for (auto& kind : row) {
      for (TypeControls& c : kind) {
        c.button.on = false;
        c.check.on = false;
      }
    }
  }
  const uint16_t bits = record_.wImageType;
  checkOf(ImageRow::Image, kAutoRear).on = (bits & kImageAutoColorRear) != 0;
  checkOf(ImageRow::Image, kAutoFront).on = (bits & kImageAutoColorFront) != 0;
  if ((bits & (kImageAutoColorFront | kImageAutoColorRear)) == 0) {
    for (ImageKind kind : kFixedKinds) {
      for (Side side : kSides) {
        TypeControls& image = at(ImageRow::Image, kind, side);
        image.button.enabled = image.check.enabled = true;
        if (kind != ImageKind::Color) {
          TypeControls& drop = at(ImageRow::DropC, kind, side);
          drop.button.enabled = drop.check.enabled = true;
        }
      }
    }
  }
  std::optional<uint16_t> resolution;
  const bool autoRearChosen =
      (bits & kImageAutoColorRear) && record_.bScanSource != kSourceMergeTwoSides;
  if (autoRearChosen && !(bits & kImageAutoColorFront)) {
    append(calls, select(kAutoRear));
    append(calls, autoRear(true, false));
    resolution = record_.wColorRes;
  } else if (autoRearChosen || (bits & kImageAutoColorFront)) {
    append(calls, select(kAutoFront));
    append(calls, autoFront(true, false));
    resolution = record_.wColorRes;
  } else {
    for (int mode = 0; mode <= 5; ++mode) {
      if (!(bits & kModeBits[mode])) continue;
      checkOf(ImageRow::Image, mode).on = true;
      if (kindOfMode(mode) != ImageKind::Color) checkOf(ImageRow::DropC, mode).on = true;
    }
    append(calls, select(kBWFront));
    const std::pair<int, uint16_t> order[] = {{4, record_.wBWRes},    {2, record_.wGrayRes},
                                              {0, record_.wColorRes}, {5, record_.wBWRes},
                                              {3, record_.wGrayRes},  {1, record_.wColorRes}};
    for (const auto& [mode, res] : order) {
      if (bits & kModeBits[mode]) {
        append(calls, select(mode));
        resolution = res;
        break;
      }
    }
  }
  if (resolution) calls.push_back({PageCall::setResValue, *resolution});
  return calls;
}

void ImageTypeButtons::dropColorSetImageButtons() {
  for (ImageKind kind : {ImageKind::AutoColor, ImageKind::Color}) {
    for (Side side : kSides) {
      TypeControls& drop = at(ImageRow::DropC, kind, side);
      drop.button.enabled = drop.check.enabled = false;
    }
  }
}

void ImageTypeButtons::reCheckImageTypeStatus() {
  for (int mode = 0; mode < kModeCount; ++mode) {
    if (check(ImageRow::Image, mode).on) record_.wImageType |= kModeBits[mode];
  }
}

void ImageTypeButtons::checksFromRecordBits() {
  if (!duplex_) return;
  for (int mode = 0; mode <= 5; ++mode) {
    if (record_.wImageType & kModeBits[mode]) checkOf(ImageRow::Image, mode).on = true;
  }
}

std::optional<int> ImageTypeButtons::dropColorPageSelection() const {
  bool colourSelected = false;
  for (int mode : {0, 1, 6, 7}) {
    colourSelected =
        colourSelected || at(ImageRow::Image, kindOfMode(mode), sideOfMode(mode)).button.on;
  }
  if (!colourSelected) return std::nullopt;
  for (int mode : {2, 3, 4, 5}) {
    if (check(ImageRow::Image, mode).on) return mode;
  }
  return std::nullopt;
}

Calls ImageTypeButtons::restoreDefaults() {
  for (ImageRow row : kRows) {
    for (int mode = 0; mode < kModeCount; ++mode) {
      TypeControls& c = at(row, kindOfMode(mode), sideOfMode(mode));
      c.check.on = mode == kBWFront;
      const bool usable = row == ImageRow::Image || kindOfMode(mode) == ImageKind::Gray ||
                          kindOfMode(mode) == ImageKind::BW;
      c.check.enabled = c.button.enabled = usable;
    }
  }
  Calls calls = select(kBWFront);
  calls.insert(calls.begin() + 1, {PageCall::setResValue, record_.wBWRes});
  return calls;
}

}  // namespace ferrolite::dialog
