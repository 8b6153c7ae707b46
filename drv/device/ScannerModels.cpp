#include "drv/device/ScannerModels.h"

#include "drv/device/SpecialGamma.h"

namespace {
constexpr uint32_t kModelTransferSize = 0x40000;

const Device_Features kQM540Features[kFeatureListLength] = {
    kFeatureBackgroundLines,     kFeatureUnconsulted9,       kFeatureCalibrateLaterPages,
    kFeatureContinuousReading,   kFeatureWholeDeviceWidth,   kFeatureUnconsulted36,
    kFeatureDropAfterEndOfPage,  kFeatureWholeDemuxReadUnit, kFeatureInvertedPadding,
    kFeaturePageModeContinuation};
const Device_Features kQRS7000Features[kFeatureListLength] = {
    kFeatureBackgroundLines,      kFeatureUnconsulted9,       kFeatureCalibrateLaterPages,
    kFeatureContinuousReading,    kFeatureWholeDeviceWidth,   kFeatureUnconsulted36,
    kFeatureDropAfterEndOfPage,   kFeatureWholeDemuxReadUnit, kFeatureInvertedPadding,
    kFeaturePageModeContinuation, kFeatureCancelControl,      kFeatureUnconsulted62};
const Device_Features kQW3434Features[kFeatureListLength] = {
    kFeatureBackgroundLines,    kFeatureUnconsulted9,       kFeatureCalibrateLaterPages,
    kFeatureContinuousReading,  kFeatureWholeDeviceWidth,   kFeatureUnconsulted36,
    kFeatureDropAfterEndOfPage, kFeatureWholeDemuxReadUnit, kFeaturePageModeContinuation,
    kFeatureCancelControl};
// QM310, its 300 x 200 variant, PY8150 and SentrelH60.
const Device_Features kQM310VFeatures[kFeatureListLength] = {
    kFeatureUnconsulted9,          kFeatureBackgroundLines,      kFeatureWholeDeviceWidth,
    kFeatureContinuousReading,     kFeaturePageModeContinuation, kFeatureCalibrateLaterPages,
    kFeatureThreeChannelReference, kFeatureNvramAtJobStart,      kFeatureWindowEachPage,
    kFeatureCancelControl,         kFeatureJpegReencode,         kFeatureExtendedModes};
const Device_Features kPY272eFeatures[kFeatureListLength] = {
    kFeatureUnconsulted9,          kFeatureBackgroundLines,      kFeatureWholeDeviceWidth,
    kFeatureContinuousReading,     kFeaturePageModeContinuation, kFeatureCalibrateLaterPages,
    kFeatureThreeChannelReference, kFeatureNvramAtJobStart,      kFeatureWindowEachPage,
    kFeatureSoftwareHalftone,      kFeatureCancelControl,        kFeatureJpegReencode,
    kFeatureExtendedModes};
const Device_Features kQM520PXFeatures[kFeatureListLength] = {
    kFeatureUnconsulted9,          kFeatureBackgroundLines,      kFeatureWholeDeviceWidth,
    kFeatureContinuousReading,     kFeaturePageModeContinuation, kFeatureCalibrateLaterPages,
    kFeatureThreeChannelReference, kFeatureNvramAtJobStart,      kFeatureWindowEachPage,
    kFeatureSoftwareHalftone,      kFeatureCancelControl,        kFeatureInvertedPadding,
    kFeatureJpegReencode,          kFeatureExtendedModes};
const Device_Features kQN70HTFeatures[kFeatureListLength] = {
    kFeatureUnconsulted9,           kFeatureBackgroundLines,       kFeatureWholeDeviceWidth,
    kFeatureSoftwareErrorDiffusion, kFeatureContinuousReading,     kFeaturePageModeContinuation,
    kFeatureCalibrateLaterPages,    kFeatureThreeChannelReference, kFeatureNvramAtJobStart,
    kFeatureCancelControl,          kFeatureIrUvWindowKind,        kFeatureWindowEachPage};

// The two families' common traits; each model names its list and what differs.
constexpr ModelTraits QM540Family(const char* name, const Device_Features* features) {
  return {name, features, ResolutionRule::AsAsked, false, false, kModelTransferSize, 0, 16,
          3,    true};
}
constexpr ModelTraits QM310Family(const char* name, const Device_Features* features,
                                  ResolutionRule resolutions = ResolutionRule::Native600300200,
                                  bool roundPixelsDown = false, bool irUv = false) {
  return {name, features, resolutions, roundPixelsDown, irUv, kModelTransferSize, 7, 32, 0, true};
}
}  // namespace

const ModelTraits CQM540::kTraits = QM540Family("CQM540", kQM540Features);
const ModelTraits CQRS7000::kTraits = QM540Family("CQRS7000", kQRS7000Features);
const ModelTraits CQW3434::kTraits = QM540Family("CQW3434", kQW3434Features);
const ModelTraits CQM310::kTraits = QM310Family("CQM310", kQM310VFeatures);
const ModelTraits CQM310_DPI200with300X200::kTraits = QM310Family(
    "CQM310_DPI200with300X200", kQM310VFeatures, ResolutionRule::Native600300Wide, true);
const ModelTraits CPY272e::kTraits = QM310Family("CPY272e", kPY272eFeatures);
const ModelTraits CQM520PX::kTraits =
    QM310Family("CQM520PX", kQM520PXFeatures, ResolutionRule::Native600300);
const ModelTraits CQN70HT::kTraits =
    QM310Family("CQN70HT", kQN70HTFeatures, ResolutionRule::Only600300, true, true);
const ModelTraits CPY8150::kTraits = QM310Family("CPY8150", kQM310VFeatures);
const ModelTraits CSentrelH60::kTraits = QM310Family("CSentrelH60", kQM310VFeatures);

void CPY272e::AdjustSendingGammaTable(uint8_t* table, uint8_t channel, uint32_t length,
                                      SCANPARAMETER_UNION* param) {
  AdjustSendingGammaTablePY272e(table, channel, length, param);
}
