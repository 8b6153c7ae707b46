#pragma once
// The preview view's images read from file: the preview scan (a TIFF in any mode and depth the
// scanner gives) and the colour drop-out result (a 1- or 8-bit bitmap), both as 8-bit RGB with
// their rows top-down and their resolutions from the file.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/imageio/ImageIO.h"
#include "platform/ui/ImageView.h"

namespace ferrolite::dialog {

// The raster as 8-bit RGB. Grey and black-and-white repeat their value in the three channels,
// 16-bit samples keep their high byte. A raster whose rows do not hold the size it states is
// refused with the reason in `why`.
std::shared_ptr<const ui::Image> rgbImageOf(const imageio::Raster& raster, std::string& why);

// Reads and converts a file; null (with the reason) when it is missing, unreadable or refused.
std::shared_ptr<const ui::Image> readPreviewImage(const std::filesystem::path& file,
                                                  std::string& why);

// Keeps the last image read while its file keeps its modification time and size, so that the
// redraws of one gesture do not decode the file again.
class PreviewImageCache {
 public:
  std::shared_ptr<const ui::Image> load(const std::filesystem::path& file, std::string& why);
  void clear() { *this = PreviewImageCache(); }

 private:
  std::filesystem::path file_;
  std::filesystem::file_time_type modified_{};
  std::uintmax_t size_ = 0;
  std::shared_ptr<const ui::Image> image_;
};

}  // namespace ferrolite::dialog
