#pragma once
// The image-type buttons: which image types each side produces (the check boxes, the bits of
// wImageType) and which one the pages are editing (the selection buttons, the bridge's
// mScanModeSideSelect). The same sixteen controls exist on the image page (the Image row) and
// the colour drop-out page (the DropC row) and stay in step. This machine keeps the 32
// controls' states and the record's bits; its operations answer the calls the dialog then
// makes on its other pages.
//
// Modes (selection indexes): 0 colour front, 1 colour rear, 2 grey front, 3 grey rear,
// 4 black-and-white front, 5 black-and-white rear, 6 automatic colour front, 7 rear.
#include <array>
#include <cstdint>
#include <optional>

#include "ds/dialog/Bridge.h"
#include "ds/dialog/image/PageCalls.h"
#include "ds/scan/records/ScanSetting.h"

namespace ferrolite::dialog {

enum class ImageRow { Image = 0, DropC = 1 };
enum class ImageKind { AutoColor = 0, Color = 1, Gray = 2, BW = 3 };
enum class Side { Front = 0, Rear = 1 };

inline constexpr int kModeCount = 8;
// wImageType bit of each mode.
inline constexpr std::array<uint16_t, kModeCount> kModeBits = {0x10, 0x20, 0x04, 0x08,
                                                               0x01, 0x02, 0x40, 0x80};
ImageKind kindOfMode(int mode);
Side sideOfMode(int mode);
int modeOf(ImageKind kind, Side side);

struct Toggle {
  bool on = false;
  bool enabled = true;
  bool operator==(const Toggle&) const = default;
};

struct TypeControls {
  Toggle button;  // the selection button
  Toggle check;   // the check box
};

class ImageTypeButtons {
 public:
  // duplex: the device scans both sides.
  ImageTypeButtons(ScanSetting& record, BridgeObject_V2& bridge, bool duplex)
      : record_(record), bridge_(bridge), duplex_(duplex) {}

  TypeControls& at(ImageRow row, ImageKind kind, Side side) {
    return controls_[static_cast<int>(row)][static_cast<int>(kind)][static_cast<int>(side)];
  }
  const TypeControls& at(ImageRow row, ImageKind kind, Side side) const {
    return controls_[static_cast<int>(row)][static_cast<int>(kind)][static_cast<int>(side)];
  }
  const Toggle& check(ImageRow row, int mode) const {
    return at(row, kindOfMode(mode), sideOfMode(mode)).check;
  }

  // The selection button of a mode (imageTypeColorFront: and its siblings).
  Calls select(int mode);
  // A check box of a mode turned on or off. fromControl is false when the dialog replays an
  // automatic-colour check at set-up (its nil sender), which does not switch the profile.
  Calls checkChanged(int mode, bool on, bool fromControl = true);
  // imageTypeButtonSetState:merge2Side:.
  void setState(bool rearEnabled, bool mergeTwoSides);
  // imageTypeButtonFBUncheck: a source without a separate rear image.
  Calls fbUncheck();
  // initImageButtons: the controls from the record (set-up, a profile choice).
  Calls initImageButtons();
  // dropColorSetImageButtons: colour drop-out applies to grey and black-and-white only.
  void dropColorSetImageButtons();
  // reCheckImageTypeStatus: each Image-row check box that is on sets its bit; none is cleared.
  void reCheckImageTypeStatus();
  // The page build's row check marks (two-sided devices): the Image-row check boxes of the
  // colour, grey and black-and-white types whose bits are set are turned on.
  void checksFromRecordBits();
  // The mode/side table changed wImageType: the check boxes of the colour, grey and
  // black-and-white types of both rows show the bits now set, on and off.
  void checksFollowRecordBits();
  // Entering the colour drop-out page while a colour or automatic-colour selection is the
  // Image row's: the first checked of grey front, grey rear, black-and-white front and rear.
  std::optional<int> dropColorPageSelection() const;
  // The Default button's state: only black-and-white front checked, the Image row enabled,
  // the DropC row's grey and black-and-white enabled; then black-and-white front is selected.
  Calls restoreDefaults();

 private:
  Toggle& buttonOf(ImageRow row, int mode) {
    return at(row, kindOfMode(mode), sideOfMode(mode)).button;
  }
  Toggle& checkOf(ImageRow row, int mode) {
    return at(row, kindOfMode(mode), sideOfMode(mode)).check;
  }
  void setBothChecks(int mode, bool on);
  // The twelve colour, grey and black-and-white controls of both rows and sides.
  template <typename F>
  void forFixedTypes(F f);
  void fixedTypeChecksFromBits(bool rearToo);
  Calls autoFront(bool on, bool fromControl);
  Calls autoRear(bool on, bool fromControl);
  void append(Calls& to, const Calls& more) { to.insert(to.end(), more.begin(), more.end()); }

  ScanSetting& record_;
  BridgeObject_V2& bridge_;
  bool duplex_;
  TypeControls controls_[2][4][2];
};

}  // namespace ferrolite::dialog
