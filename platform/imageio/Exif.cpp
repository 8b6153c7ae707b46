// EXIF blocks through libexif: orientation, Make, Model and resolution in IFD0.
#include <libexif/exif-data.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/imageio/Internal.h"

namespace imageio::detail {
namespace {

constexpr uint16_t kResolutionUnitInch = 2;
// An APP1 segment's length field counts itself (2 bytes) and holds at most 0xFFFF.
constexpr size_t kMaxExifBlock = 0xFFFF - 2;

struct ExifDataDeleter {
  void operator()(ExifData* data) const { exif_data_unref(data); }
};
using ExifDataPtr = std::unique_ptr<ExifData, ExifDataDeleter>;

// Loads a block as it is: no entries made up to satisfy the standard (they would contradict
// what the file states elsewhere, such as a JFIF density), no unknown tags dropped.
ExifDataPtr loadExif(std::span<const uint8_t> block) {
  ExifDataPtr data(exif_data_new());
  if (!data) return data;
  exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
  exif_data_unset_option(data.get(), EXIF_DATA_OPTION_IGNORE_UNKNOWN_TAGS);
  if (block.empty()) {
    exif_data_set_byte_order(data.get(), EXIF_BYTE_ORDER_INTEL);
    return data;
  }
  std::vector<uint8_t> withHeader;
  if (block.size() < sizeof kExifHeader ||
      std::memcmp(block.data(), kExifHeader, sizeof kExifHeader) != 0) {
    withHeader.assign(std::begin(kExifHeader), std::end(kExifHeader));
  }
  withHeader.insert(withHeader.end(), block.begin(), block.end());
  exif_data_load_data(data.get(), withHeader.data(), unsigned(withHeader.size()));
  return data;
}

// A new entry of IFD0 in place of any entry with the same tag.
ExifEntry* replaceEntry(ExifData* data, ExifTag tag, ExifFormat format, unsigned long components) {
  ExifContent* ifd0 = data->ifd[EXIF_IFD_0];
  if (ExifEntry* old = exif_content_get_entry(ifd0, tag)) exif_content_remove_entry(ifd0, old);
  ExifMem* mem = exif_mem_new_default();
  ExifEntry* entry = exif_entry_new_mem(mem);
  const unsigned size = exif_format_get_size(format) * unsigned(components);
  void* bytes = exif_mem_alloc(mem, size);
  if (!entry || !bytes) {
    if (bytes) exif_mem_free(mem, bytes);
    if (entry) exif_entry_unref(entry);
    exif_mem_unref(mem);
    return nullptr;
  }
  std::memset(bytes, 0, size);
  entry->data = static_cast<unsigned char*>(bytes);
  entry->size = size;
  entry->tag = tag;
  entry->format = format;
  entry->components = components;
  exif_content_add_entry(ifd0, entry);
  exif_entry_unref(entry);  // the directory holds it now
  exif_mem_unref(mem);
  return entry;
}

bool setText(ExifData* data, ExifTag tag, const std::string& text) {
  ExifEntry* entry = replaceEntry(data, tag, EXIF_FORMAT_ASCII, text.size() + 1);
  if (!entry) return false;
  std::memcpy(entry->data, text.data(), text.size());
  return true;
}

bool setShort(ExifData* data, ExifTag tag, uint16_t value) {
  ExifEntry* entry = replaceEntry(data, tag, EXIF_FORMAT_SHORT, 1);
  if (!entry) return false;
  exif_set_short(entry->data, exif_data_get_byte_order(data), value);
  return true;
}

bool setRational(ExifData* data, ExifTag tag, double value) {
  ExifEntry* entry = replaceEntry(data, tag, EXIF_FORMAT_RATIONAL, 1);
  if (!entry) return false;
  ExifRational r{uint32_t(std::lround(value)), 1};
  if (std::fabs(value - std::round(value)) > 1e-9) r = {uint32_t(std::lround(value * 1000)), 1000};
  exif_set_rational(entry->data, exif_data_get_byte_order(data), r);
  return true;
}

std::string entryText(ExifEntry* entry) {
  if (!entry || entry->format != EXIF_FORMAT_ASCII || !entry->data) return {};
  const char* text = reinterpret_cast<const char*>(entry->data);
  return std::string(text, strnlen(text, entry->size));
}

}  // namespace

Status buildExif(std::span<const uint8_t> existing, const ImageProperties& properties,
                 Resolution resolution, std::vector<uint8_t>& out) {
  ExifDataPtr data = loadExif(existing);
  if (!data) return Status::failure("no memory for an EXIF block");
  bool ok = true;
  if (properties.orientation != 0) {
    ok = ok && setShort(data.get(), EXIF_TAG_ORIENTATION, uint16_t(properties.orientation));
  }
  if (!properties.make.empty()) ok = ok && setText(data.get(), EXIF_TAG_MAKE, properties.make);
  if (!properties.model.empty()) ok = ok && setText(data.get(), EXIF_TAG_MODEL, properties.model);
  if (resolution.x > 0 && resolution.y > 0) {
    ok = ok && setRational(data.get(), EXIF_TAG_X_RESOLUTION, resolution.x) &&
         setRational(data.get(), EXIF_TAG_Y_RESOLUTION, resolution.y) &&
         setShort(data.get(), EXIF_TAG_RESOLUTION_UNIT, kResolutionUnitInch);
  }
  if (!ok) return Status::failure("no memory for an EXIF entry");
  unsigned char* bytes = nullptr;
  unsigned int size = 0;
  exif_data_save_data(data.get(), &bytes, &size);
  if (!bytes || size < sizeof kExifHeader) {
    std::free(bytes);
    return Status::failure("the EXIF block could not be built");
  }
  out.assign(bytes, bytes + size);
  std::free(bytes);
  if (out.size() > kMaxExifBlock) {
    return Status::failure("the EXIF block of " + std::to_string(out.size()) +
                           " bytes does not fit in one segment");
  }
  return Status::success();
}

void readExif(std::span<const uint8_t> block, ImageProperties& properties) {
  if (block.empty()) return;
  ExifDataPtr data = loadExif(block);
  if (!data) return;
  ExifContent* ifd0 = data->ifd[EXIF_IFD_0];
  if (ExifEntry* e = exif_content_get_entry(ifd0, EXIF_TAG_ORIENTATION);
      e && e->format == EXIF_FORMAT_SHORT && e->components >= 1 && e->size >= 2) {
    const int value = exif_get_short(e->data, exif_data_get_byte_order(data.get()));
    if (value >= 1 && value <= 8) properties.orientation = value;
  }
  properties.make = entryText(exif_content_get_entry(ifd0, EXIF_TAG_MAKE));
  properties.model = entryText(exif_content_get_entry(ifd0, EXIF_TAG_MODEL));
}

}  // namespace imageio::detail
