#include "ds/dialog/image/ScanSource.h"

#include <algorithm>

#include "ds/dialog/ScanArea.h"
#include "ds/dialog/Units.h"

namespace ferrolite::dialog {

namespace {
const SourceItem kAutomatic{"Automatic", kSourceAutomatic};
const SourceItem kFeeder{"Feeder", kSourceFeeder};
const SourceItem kFlatbed{"Flatbed", kSourceFlatbed};
const SourceItem kMerge{"MergeTwoSides", kSourceMergeTwoSides};

void append(Calls& to, const Calls& more) { to.insert(to.end(), more.begin(), more.end()); }
}  // namespace

SourceMenu scanSourceMenu(const AbilityView& ability, bool mergeSides, uint8_t bScanSource) {
  SourceMenu menu;
  auto& items = menu.items;
  const bool feeder = ability.hasFeeder(), flatbed = ability.hasFlatbed();
  if (feeder && flatbed) items.push_back(kAutomatic);
  if (feeder) items.push_back(kFeeder);
  if (flatbed) items.push_back(kFlatbed);
  if (feeder && ability.duplex() && mergeSides) items.push_back(kMerge);
  menu.hidden = items.size() <= 1;
  const uint8_t shown = isFlatbedSource(bScanSource) ? kSourceFlatbed : bScanSource;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].value == shown) {
      menu.selected = i;
      break;
    }
  }
  return menu;
}

SourceChoice chooseScanSource(DialogContext& ctx, ImageTypeButtons& buttons,
                              std::vector<ScanModeSideSetting>& rows, const PaperTblRow& largest,
                              const SourceItem& chosen) {
  ScanSetting& r = ctx.record();
  const AbilityView ability = ctx.ability();
  SourceChoice choice;
  const uint8_t old = r.bScanSource;
  if (chosen.value != kSourceMergeTwoSides) {
    r.bScanSource = chosen.value;
    if (r.bScanSource == old) return choice;
    const bool flatbed = isFlatbedSource(r.bScanSource);
    if (!flatbed && ability.duplex()) {
      buttons.setState(true, false);
    } else {
      buttons.setState(false, false);
      if (flatbed && (r.wImageType & kImageAutoColorRear)) {
        // The flatbed has no rear: automatic colour moves to the front, and the page shows it.
        r.wImageType = kImageAutoColorFront;
        buttons.at(ImageRow::Image, ImageKind::AutoColor, Side::Front).check.on = true;
        buttons.at(ImageRow::DropC, ImageKind::AutoColor, Side::Front).check.on = true;
        append(choice.calls, buttons.select(6));
        choice.calls.push_back({PageCall::doImageTabInit});
        choice.calls.push_back({PageCall::selectModeSideRow, 6});
        choice.calls.push_back({PageCall::setImageTabItems, 6});
        r.wImageType = kImageAutoColorFront | kImageBWFront;
      }
      append(choice.calls, buttons.fbUncheck());
    }
    choice.calls.push_back({PageCall::scanPageChangeCheck});
  } else {
    if (old == kSourceMergeTwoSides) return choice;
    r.bScanSource = kSourceMergeTwoSides;
    choice.ultrasonicEnabled = false;
    buttons.setState(false, true);
    r.bPaperSize = kPageAutomatic;
    choice.calls.push_back({PageCall::doImageTabInit});
    choice.calls.push_back({PageCall::setImageTabItems, ctx.bridge.mScanModeSideSelect});
    choice.paperPopupsEnabled = false;
    r.wXPos = r.wYPos = 0;
    r.wWidth = saturate<uint16_t>(largest.width);
    r.wLength = saturate<uint16_t>(largest.length);
    choice.calls.push_back({PageCall::setPreviewRect});
    choice.mergeOptionShown = true;
    choice.blankRemovalEnabled = false;
    choice.splitImageEnabled = false;
    append(choice.calls, buttons.fbUncheck());
  }
  choice.changed = true;
  const bool flatbed = isFlatbedSource(r.bScanSource);
  choice.calls.push_back({PageCall::enableFlipSide});

  if (ability.duplex()) {
    for (std::size_t row : {1u, 3u, 5u}) {
      if (row < rows.size()) rows[row].mEnabled = !flatbed;
    }
    const int64_t mode = ctx.bridge.mScanModeSideSelect;
    if (flatbed && (mode == 1 || mode == 3 || mode == 5)) {
      const int64_t next = mode == 5 ? 0 : mode + 1;
      ctx.bridge.mScanModeSideSelect = next;
      choice.calls.push_back({PageCall::selectModeSideRow, next});
    }
  }

  placeOnSource(r, ability, ctx.extra);
  choice.calls.push_back({PageCall::setMaxScanArea, ability.maxWidth(r.bScanSource),
                          ability.maxLength(r.bScanSource)});
  choice.calls.push_back({PageCall::switch2CustomProfile});
  choice.calls.push_back({PageCall::deletePreviewImageFile});
  const uint32_t minLength = minimumLength(r, ctx.extra);
  const uint32_t minWidth = minimumWidth(r, ctx.extra);
  if (r.wLength < minLength) r.wLength = saturate<uint16_t>(minLength);
  if (r.wWidth < minWidth) r.wWidth = saturate<uint16_t>(minWidth);
  choice.calls.push_back({PageCall::setPreviewRect});
  choice.calls.push_back({PageCall::doPaperTabInit});
  return choice;
}

}  // namespace ferrolite::dialog
