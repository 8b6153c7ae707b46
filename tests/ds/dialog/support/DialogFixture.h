#pragma once
// The records, bridge and dialog-wide values one dialog works on, wired together: a duplex
// scanner with a feeder (2550 x 4200, 8.5 x 14 inch) and a flatbed (2550 x 3508) on the
// current driver interface, a default record and the recording data source.
#include <cstring>
#include <string>
#include <utility>

#include "RecordingDataSource.h"
#include "ds/dialog/DialogContext.h"
#include "ds/dialog/TextFieldFamily.h"
#include "ds/scan/common/ImprinterString.h"

namespace ferrolite::dialog::testing {

// A clock that always answers the same time, and a locale of a fixed date order.
struct FixedClock final : Clock {
  CivilTime time;
  explicit FixedClock(CivilTime t) : time(t) {}
  CivilTime now() const override { return time; }
};
struct FixedDateOrder final : LocaleDateOrder {
  DateOrder order;
  explicit FixedDateOrder(DateOrder o) : order(o) {}
  DateOrder dateOrder() const override { return order; }
};

// The test scanner and record every dialog test starts from: a duplex scanner with a feeder
// (2550 x 4200) and a flatbed (2550 x 3508) on the current driver interface, a black-and-white
// front record of the feeder's whole page.
inline void describeTestScanner(DeviceAbility& current, ScannerAbilityEx& older, ExtraParam& extra,
                                ScanSetting& record) {
  current.Version = 200;
  current.Size = sizeof(DeviceAbility);
  current.FlatbedMaxWidth = 2550;
  current.FlatbedMaxLength = 3508;
  current.ADFMaxWidth = 2550;
  current.ADFMaxLength = 4200;
  current.DeviceType = 0x80 | 0x20 | 0x04;
  current.HalftoneNum = 2;
  older.FlatbedMaxWidth = 2550;
  older.FlatbedMaxLength = 3508;
  older.ADFMaxWidth = 2550;
  older.ADFMaxLength = 4200;
  older.ScanMethod = 0x80 | 0x20 | 0x04;
  extra.newKrapi = true;
  extra.adfMinWidth = 150;
  extra.adfMinLength = 150;
  extra.flatbedMinWidth = 75;
  extra.flatbedMinLength = 75;
  extra.maxLongLength = 35400;
  extra.maxPowerSaving = 240;
  extra.maxPowerOff = 480;
  record.wImageType = 0x01;
  record.wBWRes = record.wGrayRes = record.wColorRes = 200;
  record.wWidth = 2550;
  record.wLength = 4200;
  record.dwLongWidth = 2550;
  record.dwLongLength = 35400;
}

struct DialogFixture {
  ScanSetting record;
  DeviceAbility current{};
  ScannerAbilityEx older{};
  ExtraParam extra;
  BridgeObject_V2 bridge;
  DialogGlobals globals;
  RecordingDataSource dataSource;

  DialogFixture() {
    describeTestScanner(current, older, extra, record);
    bridge.mpScanSettings = &record;
    bridge.mpDeviceAbility = &current;
    bridge.mpScannerAbilityEx = &older;
    bridge.getDS(&dataSource);
    bridge.maxLongLength = extra.maxLongLength;
    bridge.currentRes = 200;
    bridge.mAdfMinWidth = extra.adfMinWidth;
    bridge.mAdfMinLength = extra.adfMinLength;
    bridge.mFBMinWidth = extra.flatbedMinWidth;
    bridge.mFBMinLength = extra.flatbedMinLength;
    globals.gUINewKrapi = true;
    globals.gMaxPowerSaving = extra.maxPowerSaving;
    globals.gMaxPowerOff = extra.maxPowerOff;
  }
  DialogFixture(const DialogFixture&) = delete;

  DialogContext ctx() { return DialogContext{bridge, globals, extra}; }
  // Switches to the older driver interface (both records stay set).
  void useOlderInterface() {
    extra.newKrapi = false;
    globals.gUINewKrapi = false;
  }
};

// A text field typed one keystroke or paste at a time through a page's field rules: the editor
// keeps each rule's rewrite, as the widget layer's field does.
template <typename Which, auto Changed, auto Ended>
struct TypedField : DialogFixture {
  Which which;
  std::string editor;
  explicit TypedField(Which field, std::string start = "")
      : which(field), editor(std::move(start)) {}
  FieldResult type(const std::string& after) {
    DialogContext c = ctx();
    FieldResult r = Changed(which, editor, after, c);
    editor = r.editorText.value_or(after);
    return r;
  }
  FieldResult end(TextMovement movement = TextMovement::Other) {
    DialogContext c = ctx();
    FieldResult r = Ended(which, editor, movement, c);
    editor = r.editorText.value_or(editor);
    return r;
  }
};

}  // namespace ferrolite::dialog::testing
