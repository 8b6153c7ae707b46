#pragma once
// The option page's control names shared by its window data and its controller.
#include <array>
#include <string_view>

#include "ds/dialog/options/BarcodeTypes.h"

namespace ferrolite::dialog {

// The enhancement tab's fields by focus number (1 left, 2 top, 3 bottom, 4 right, 5 noise
// number, 6 noise radius), with their steppers and bound values.
struct EnhancementRow {
  std::string_view label;
  std::string_view labelKey;
  std::string_view field;
  std::string_view stepper;
  std::string_view property;
  double maximum;
};
inline constexpr std::array<EnhancementRow, 7> kEnhancementRows = {{
    {},
    {"mStaticLeft", "Left", "mTextFieldLeft", "mStepprLeft", "mLeftEdge", 999},
    {"mStaticTop", "Top", "mTextFieldTop", "mStepperTop", "mTopEdge", 9999},
    {"mStaticBottom", "Bottom", "mTextFieldBottom", "mStepperBottom", "mBottomEdge", 9999},
    {"mStaticRight", "Right", "mTextFieldRight", "mStepperRight", "mRightEdge", 999},
    {"mStaticNoiseNumber", "NoiseNumber", "mTextFieldNoiseNumber", "mStepperNoiseNumber",
     "mNoiseNumber", 3600},
    {"mStaticNoiseRadius", "NoiseRadius", "mTextFieldNoiseRadius", "mStepperNoiseRadius",
     "mNoiseRadius", 30},
}};

// The background speed popup's items.
inline constexpr std::array<std::string_view, 2> kSpeedItems = {"Normal", "Fast"};

// The setting tab's fields by focus number: 1 image count, 2 energy saver, 3 power off.
inline constexpr std::array<std::string_view, 4> kSettingFields = {
    "", "mTextFieldImageCount", "mTextFieldEnergeSave", "mTextFieldPowerOffTime"};

// The barcode sheet's check box of each bit of dwSelectBarcode, and its text key (bit 13 has
// none).
struct BarcodeBox {
  std::string_view outlet;
  std::string_view key;
};
inline constexpr std::array<BarcodeBox, kBarcodeBits> kBarcodeBoxes = {{
    {"mBtnSBTAztec", "Aztec"},
    {"mBtnSBTCodebar", "Codabar"},
    {"mBtnSBTCode39", "Code39"},
    {"mBtnSBTCode93", "Code93"},
    {"mBtnSBTCode128", "Code128"},
    {"mBtnSBTDataMatrix", "DataMatrix"},
    {"mBtnSBTEAN8", "EAN8"},
    {"mBtnSBTEAN13", "EAN13"},
    {"mBtnSBTDS_ITF", "ITF"},
    {"mBtnSBTMaxiCode", "MaxiCode"},
    {"mBtnSBTPDF417", "PDF417"},
    {"mBtnSBTQRCode", "QRCode"},
    {"mBtnSBTGS1Databar", "GS1DataBar"},
    {},
    {"mBtnSBTUPCA", "UPCA"},
    {"mBtnSBTUPCE", "UPCE"},
}};

}  // namespace ferrolite::dialog
