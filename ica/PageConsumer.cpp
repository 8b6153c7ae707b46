// The feeder scan on the framework's thread: the feeder check, the producer's start, and the
// consumer that turns each queued page into a document file or bands for the host, with the
// page-done and scan-done notifications.
#include <dlfcn.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "ica/KR_ICA_Mark2_200.h"
#include "ica/LM_Handler.h"
#include "ica/ModuleResources.h"
#include "ica/ScanUtils.h"
#include "platform/foundation/StringFormat.h"
#include "platform/foundation/SystemLog.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/imageio/ImageIO.h"
#include "vantrel/button_event.h"

namespace icamodule {

using foundation::Data;
using foundation::Dictionary;
using foundation::LogLevel;
using foundation::systemLogf;

namespace {

constexpr uint32_t kPixelTypeBlackWhite = 0;
constexpr uint32_t kPixelTypeGray = 1;
constexpr uint32_t kPixelTypeColour = 2;
constexpr double kDefaultGamma = 1.8;
constexpr int kScanMethodDuplex = 4, kScanMethodSimplex = 1;
constexpr int kBitsColour = 24, kBitsGray = 8;
constexpr uint32_t kPixelDataTypeColour = 2, kPixelDataTypeGray = 1;
constexpr uint32_t kLittleEndian = 0;
constexpr int64_t kOrientationUpright = 1;
constexpr int64_t kOrientationHalfTurn = 3, kOrientationQuarterLeft = 6,
                  kOrientationQuarterRight = 8;
// The last platform release whose host takes a scan-done after a failed scan.
constexpr long kLastReleaseWithScanDoneOnError = 15;
// The release number's stand-in for tests (the kernel's release text otherwise).
constexpr const char* kReleaseOverride = "FERROLITE_SCANNER_OS_RELEASE";
// Pages are spaced only under a toolkit above this version; our platform has none.
constexpr double kToolkitVersion = 0.0;
constexpr double kToolkitSpacingFrom = 1265.0;
constexpr long kSpacedFromResolution = 300, kLongSpacingFromResolution = 600;
constexpr auto kPageSpacing = std::chrono::microseconds(600000);
constexpr auto kLongPageSpacing = std::chrono::microseconds(2000000);
constexpr const char* kLumetraResource = "Lumetra";
constexpr const char* kLibraryType = "so";
constexpr const char* kCropFeature = "KR_Crop";

long majorRelease() {
  const char* forced = std::getenv(kReleaseOverride);
  std::string release;
  if (forced && *forced) {
    release = forced;
  } else {
    struct utsname names;
    if (::uname(&names) == 0) release = names.release;
  }
  return std::strtol(release.c_str(), nullptr, 10);
}

long rotationOf(int64_t orientation) {
  switch (orientation) {
    case kOrientationHalfTurn:
      return 180;
    case kOrientationQuarterRight:
      return 90;
    case kOrientationQuarterLeft:
      return 270;
    default:
      return 0;
  }
}

void pauseAfterPage(long xResolution) {
  if (kToolkitVersion <= kToolkitSpacingFrom || xResolution < kSpacedFromResolution) return;
  if (xResolution < kLongSpacingFromResolution) {
    std::this_thread::sleep_for(kPageSpacing);
  } else {
    systemLogf(LogLevel::notice, "usleep(%lld)\n",
               static_cast<long long>(kLongPageSpacing.count()));
    std::this_thread::sleep_for(kLongPageSpacing);
  }
}

void prepareNote(Dictionary& note, uint32_t object, const char* type) {
  note.set(kICANotificationICAObjectKey, object);
  note.set(kICANotificationTypeKey, type);
}

}  // namespace

void KR_ICA_Mark2_200::sendWaiting(ICASendNotificationPB& block) {
  block.replyCode = 0;
  // A cancel stays: a later band's or page's plain reply does not take it back.
  if (ICDSendNotificationAndWaitForReply(&block) == kICANoErr &&
      block.replyCode == kICAUserCanceledReply)
    cancelFromGUI_ = true;
}

void KR_ICA_Mark2_200::deliverPageAsFile(PageImage& page, int64_t orientation, uint32_t pixelType,
                                         Dictionary& note, ICASendNotificationPB& block,
                                         const ICAColorSpaceRef& colorSpace) {
  // The host's quarter turns are the pixels' turn; a file's tag names the turn that shows the
  // page upright, the other way round.
  if (orientation == kOrientationQuarterLeft) {
    orientation = kOrientationQuarterRight;
  } else if (orientation == kOrientationQuarterRight) {
    orientation = kOrientationQuarterLeft;
  }
  if (pixelType == kPixelTypeBlackWhite) packToBits(page, threshold());
  const uint32_t bitsPerSample = page.bitsPerPixel == 1 ? 1 : 8;
  if (!setOutputFilePath()) return;
  // The raw format is the document itself; any other format is written from the page in memory
  // (the raw cache file the path step made stays empty and goes at the end).
  if (isDocumentUTI_ICA_RAW()) {
    if (openRawFileForWriting()) {
      RawImageDescription description;
      description.width = page.width;
      description.height = page.height;
      description.bytesPerRow = page.bytesPerRow;
      description.samplesPerPixel = page.samplesPerPixel;
      description.bitsPerSample = bitsPerSample;
      description.colorSpaceModel = colorSpace ? colorSpace->model : ICAColorSpaceModel::monochrome;
      description.orientation = uint32_t(orientation);
      description.resolution = uint32_t(xResolution());
      description.colorSyncMode = colorSyncMode_;
      const auto header = rawImageHeader(description);
      writeRawFileWithBuffer(header.data(), header.size());
      writeRawFileWithBuffer(page.pixels.data(), page.pixels.size());
      closeRawFile();
    } else {
      systemLogf(LogLevel::error, "The raw file cannot be written\n");
    }
  }
  const uint32_t total = page.bytesPerRow * page.height;
  prepareNote(note, deviceObjectInfo() ? deviceObjectInfo()->icaObject : 0,
              kICANotificationTypeScanProgressStatus);
  ICDAddImageInfoToNotificationDictionary(&note, page.width, page.height, page.bytesPerRow, 0,
                                          page.height, total, nullptr);
  sendWaiting(block);
  if (isDocumentUTI_ICA_RAW()) return;

  auto kind = imageio::fileKindForTypeIdentifier(documentUTI_);
  imageio::PixelLayout layout;
  layout.width = page.width;
  layout.height = page.height;
  layout.bitsPerSample = uint16_t(bitsPerSample);
  layout.samplesPerPixel = uint16_t(page.samplesPerPixel);
  layout.bytesPerRow = page.bytesPerRow;
  if (!imageio::checkLayout(layout).ok() ||
      page.pixels.size() < std::size_t(page.bytesPerRow) * page.height) {
    std::fputs("    ERROR - CGImageCreate failed\n", stdout);
  } else if (!kind) {
    std::fputs("    ERROR - CGImageDestinationCreateWithURL failed\n", stdout);
  } else {
    const double dpi = double(xResolution());
    const imageio::BitmapImage image(imageio::RasterView{layout, {dpi, dpi}, page.pixels.data()});
    imageio::ImageProperties properties;
    properties.orientation = int(orientation);
    if (scannedImageMetadata_) {
      if (auto tiff = scannedImageMetadata_->dictionary("{TIFF}")) {
        properties.make = tiff->string("Make").valueOr("");
        properties.model = tiff->string("Model").valueOr("");
      }
    }
    imageio::ImageDestination destination(documentFilePath_, *kind);
    imageio::Status status = destination.addImage(image, properties);
    if (status.ok()) status = destination.finalize();
    if (!status.ok())
      systemLogf(LogLevel::error, "%s: %s\n", documentFilePath_.c_str(), status.message().c_str());
  }
  std::error_code ec;
  std::filesystem::remove(rawImageFileCachePath_, ec);
}

void KR_ICA_Mark2_200::deliverPageInBands(PageImage& page, long rotation, uint32_t pixelType,
                                          Dictionary& note, ICASendNotificationPB& block) {
  rotatePage(page, rotation);
  if (pixelType == kPixelTypeBlackWhite) packToBits(page, threshold());
  const uint32_t pixelDataType =
      pixelType == kPixelTypeColour ? kPixelDataTypeColour : kPixelDataTypeGray;
  // Without the host's band size the module's own maximum; every band holds a row at least.
  const int64_t bandSize =
      progressNotificationWithScanDataMaxBandSize_ > 0
          ? progressNotificationWithScanDataMaxBandSize_
          : int64_t(maxProgressBandSize_ ? maxProgressBandSize_ : kDefaultMaxProgressBandSize);
  const uint32_t rows = rowsPerBand(bandSize, page.bytesPerRow);
  void* framework = dlopen(ICAFrameworkLibraryPath().c_str(), RTLD_LAZY | RTLD_LOCAL);
  auto addBand = framework ? reinterpret_cast<ICDAddBandInfoToNotificationDictionaryProc>(
                                 dlsym(framework, kICDBandInfoHelperName))
                           : nullptr;
  if (!addBand) {
    systemLogf(LogLevel::error, "%s is not available: no bands\n", kICDBandInfoHelperName);
  } else {
    const uint32_t bitsPerComponent = page.bitsPerPixel == 1 ? 1 : 8;
    for (uint32_t first = 0; first < page.height;) {
      const uint32_t n = std::min(rows, page.height - first);
      prepareNote(note, deviceObjectInfo() ? deviceObjectInfo()->icaObject : 0,
                  kICANotificationTypeScanProgressStatus);
      addBand(&note, page.width, page.height, page.bitsPerPixel, bitsPerComponent,
              page.samplesPerPixel, kLittleEndian, pixelDataType, page.bytesPerRow, first, n,
              n * page.bytesPerRow, page.pixels.data() + std::size_t(first) * page.bytesPerRow);
      sendWaiting(block);  // every band goes, even after a cancel
      first += n;
    }
  }
  if (framework) dlclose(framework);
}

ICAError KR_ICA_Mark2_200::adfScanWithParams(ICD_ScannerStartPB*) {
  const std::string usbID = foundation::stringWithFormat("%04X%04X", vid_, pid_);
  auto cropValue = getValueForVendorFeature(kCropFeature);
  const bool cropping = !cropValue || cropValue->boolean().valueOr(true);
  const long release = majorRelease();
  const uint32_t object = deviceObjectInfo() ? deviceObjectInfo()->icaObject : 0;
  Dictionary note;
  ICASendNotificationPB block{};
  block.notificationDictionary = &note;

  long sensor = 0;
  uint8_t paper = 1;  // a failed read lets the scan start: the driver then tells
  if (entries_._KRSensorStatus(kModuleControllerId, &_hDevice, &sensor, &paper, 0) == 0 &&
      paper == 0) {
    feederNoPaperMsg();
    icaError_ = kICAScanFailedErr;
    if (release > kLastReleaseWithScanDoneOnError) {
      prepareNote(note, object, kICANotificationTypeTransactionCanceled);
      ICDSendNotification(&block);
    }
    return kICAScanFailedErr;
  }

  const uint32_t pixelType = this->pixelType();
  const bool grey = pixelType == kPixelTypeBlackWhite || pixelType == kPixelTypeGray;
  ICAColorSpaceRef colorSpace = ICDCreateColorSpace(
      grey ? 8 : bitDepth() * 3, grey ? 1 : 3, object, colorSyncMode_, nullptr,
      (std::filesystem::temp_directory_path() / foundation::stringWithFormat("vs-%d", getpid()))
          .string());

  uint8_t gamma[256];
  foundation::UserDefaults defaults(vantrel::kScannerModuleBundleId);
  ScanUtils::buildGamma(gamma, defaults.real(kDefaultsGamma).valueOr(kDefaultGamma), 0);

  cancelFromGUI_ = false;
  gCancelFromDevice = false;
  errorFromConsumer_ = false;
  long pageCounter = 0;
  int sideIndex = 0;

  PageArray pages;
  {
    std::lock_guard lock(scanThreadMutex_);
    scanThreadDone_ = false;
  }
  producer_ = std::thread([this, &pages] { scanThread(&pages); });

  std::unique_ptr<LM_Handler> cropper;
  if (cropping) {
    cropper = std::make_unique<LM_Handler>();
    cropper->openLib(resourcePath(kLumetraResource, kLibraryType).string());
  }
  const bool duplex = duplexEnabled() != 0 || duplexScanFromTessalineButton();
  const bool fromButton = duplexScanFromTessalineButton();

  for (;;) {
    std::optional<PageEntry> entry = pages.take();
    if (!entry || entry->status != kStatusEndOfPage || !entry->image) break;
    // The producer let go of the image when it queued it: the page is this loop's own now.
    PageImage page = std::move(*entry->image);
    entry.reset();

    int64_t orientation = evenPageOrientation_;
    if (duplex) {
      orientation = fromButton ? kOrientationUpright
                               : (sideIndex == 0 ? oddPageOrientation_ : evenPageOrientation_);
      sideIndex ^= 1;
    }
    const long rotation = rotationOf(orientation);

    if (pixelType == kPixelTypeColour) {
      compactToRgb(page);
    } else {
      page.samplesPerPixel = 1;
    }
    if (xResolution() < ability_.MinimumRes) {
      uint32_t height = uint32_t(destImageLength_);
      if (pixelType == kPixelTypeBlackWhite && (rotation == 90 || rotation == 270))
        height = height / 8 * 8;
      scalePage(page, uint32_t(destImageWidth_), height);
    }
    if (cropper && cropper->bound()) {
      cropper->initLibWithUSBid(usbID);
      Dictionary request;
      request.set(kCropAbility,
                  Data(reinterpret_cast<const uint8_t*>(&ability_),
                       reinterpret_cast<const uint8_t*>(&ability_) + sizeof ability_));
      request.set(kCropResolution, int64_t(xResolution()));
      request.set(kCropWidth, int64_t(page.width));
      request.set(kCropHeight, int64_t(page.height));
      request.set(kCropScanMethod, duplexEnabled() ? kScanMethodDuplex : kScanMethodSimplex);
      request.set(kCropPageCounter, int64_t(pageCounter));
      request.set(kCropBitsPerPixel, pixelType == kPixelTypeColour ? kBitsColour : kBitsGray);
      Dictionary reply = cropper->autoCrop(std::move(request), page.pixels.data());
      const int64_t size = reply.integer(kCropImageSize).valueOr(0);
      const int64_t width = reply.integer(kCropImageWidth).valueOr(0);
      const int64_t height = reply.integer(kCropImageHeight).valueOr(0);
      const Data bytes = reply.data(kCropImageData).valueOr(Data{});
      if (size > 0 && width > 0 && height > 0 &&
          size == width * height * int64_t(page.samplesPerPixel) &&
          bytes.size() >= std::size_t(size)) {
        page.pixels.assign(bytes.begin(), bytes.begin() + size);
        page.width = uint32_t(width);
        page.height = uint32_t(height);
        page.bytesPerRow = page.width * page.samplesPerPixel;
      }
      cropper->terminateLib();
    }
    applyGamma(page, gamma);

    if (progressNotificationNoData_) {
      // A request for both files and bands: the bands get the page as it was before packing.
      std::optional<PageImage> forBands;
      if (progressNotificationWithScanData_) forBands = page;
      deliverPageAsFile(page, orientation, pixelType, note, block, colorSpace);
      if (forBands) page = std::move(*forBands);
    }
    if (progressNotificationWithScanData_)
      deliverPageInBands(page, rotation, pixelType, note, block);

    if (progressNotificationNoData_) {
      std::error_code ec;
      if (documentFilePath_.empty() || !std::filesystem::exists(documentFilePath_, ec)) {
        icaError_ = kICADocumentMissingErr;
        errorFromConsumer_ = true;
        fileCorruptedMsg(documentFilePath_);
        break;
      }
      prepareNote(note, object, kICANotificationTypeScannerPageDone);
      note.set(kICANotificationScannerDocumentNameKey, documentFilePath_);
    } else {
      prepareNote(note, object, kICANotificationTypeScannerPageDone);
    }
    ICDSendNotification(&block);
    ++pageCounter;
    pauseAfterPage(xResolution());
    if (cancelFromGUI_) break;
  }

  finishFeederScan();
  colorSpace.reset();
  if (icaError_ == kICANoErr || release <= kLastReleaseWithScanDoneOnError) {
    prepareNote(note, object, kICANotificationTypeScannerScanDone);
    ICDSendNotification(&block);
    systemLogf(LogLevel::notice, "Scan Done!: counter = %ld\n", pageCounter);
    if (cancelFromGUI_ || gCancelFromDevice) {
      systemLogf(LogLevel::notice, "----> User Canceled Scan! \n");
      prepareNote(note, object, kICANotificationTypeTransactionCanceled);
      ICDSendNotification(&block);
    }
  } else {
    prepareNote(note, object, kICANotificationTypeTransactionCanceled);
    ICDSendNotification(&block);
  }
  if (cropper) cropper->closeLib();
  if (pageCounter > 0) (void)defaults.set(kDefaultsLastCrop, cropping);
  return icaError_;
}

void KR_ICA_Mark2_200::finishFeederScan() {
  {
    std::unique_lock lock(scanThreadMutex_);
    scanThreadCondition_.wait(lock, [this] { return scanThreadDone_; });
  }
  if (producer_.joinable()) producer_.join();
}

}  // namespace icamodule
