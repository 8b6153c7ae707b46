#pragma once
// The files the dialog shares with the data source, in the data source bundle's folder.
#include <string>
#include <string_view>

namespace ferrolite::dialog {

inline constexpr std::string_view kPreviewFileSuffix = "preview.tif";
inline constexpr std::string_view kColorDropFileName = "colorDrop.bmp";

// "<folder>/<scanner name>_preview.tif": written by the data source's preview scan.
inline std::string previewImagePath(std::string_view folder, std::string_view scannerName) {
  return std::string(folder) + "/" + std::string(scannerName) + "_" +
         std::string(kPreviewFileSuffix);
}

// "<folder>/colorDrop.bmp": the colour drop-out result.
inline std::string colorDropImagePath(std::string_view folder) {
  return std::string(folder) + "/" + std::string(kColorDropFileName);
}

}  // namespace ferrolite::dialog
