// The layer's entries: kinds and their names, destinations, files and memory, Make and Model.
#include <cstring>

#include "platform/imageio/Internal.h"

namespace imageio {
namespace {

using namespace detail;

struct KindNames {
  FileKind kind;
  std::string_view identifier;
  std::string_view extension;
  std::string_view name;
};

constexpr KindNames kKinds[] = {
    {FileKind::Tiff, "public.tiff", "tiff", "TIFF"},
    {FileKind::Jpeg, "public.jpeg", "jpeg", "JPEG"},
    {FileKind::Png, "public.png", "png", "PNG"},
    {FileKind::Gif, "com.compuserve.gif", "gif", "GIF"},
    {FileKind::Jpeg2000, "public.jpeg-2000", "jp2", "JPEG 2000"},
    {FileKind::Bmp, "com.microsoft.bmp", "bmp", "BMP"},
};

const KindNames& namesOf(FileKind kind) {
  for (const KindNames& names : kKinds) {
    if (names.kind == kind) return names;
  }
  return kKinds[0];
}

Status checkImage(const BitmapImage& image) {
  if (Status s = checkLayout(image.layout()); !s.ok()) return s;
  if (!image.pixels() && !image.provider()) return Status::failure("the image has no pixels");
  return Status::success();
}

Status encodeTo(ByteSink& sink, FileKind kind, const BitmapImage& image,
                const ImageProperties& properties, const WriteOptions& options) {
  if (Status s = checkImage(image); !s.ok()) return s;
  if (Status s = checkProperties(properties); !s.ok()) return s;
  switch (kind) {
    case FileKind::Tiff:
      return encodeTiff(sink, image, properties);
    case FileKind::Jpeg:
      return encodeJpeg(sink, image, properties, options.jpegQuality);
    case FileKind::Png:
      return encodePng(sink, image, properties);
    case FileKind::Gif:
      return encodeGif(sink, image);
    case FileKind::Jpeg2000:
      return encodeJp2(sink, image);
    case FileKind::Bmp:
      return encodeBmp(sink, image);
  }
  return Status::failure("unknown file kind");
}

Status withPath(Status status, const std::filesystem::path& path) {
  if (status.ok()) return status;
  return Status::failure(path.string() + ": " + status.message());
}

Status replaceFile(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
  AtomicFile file(path);
  if (Status s = file.open(); !s.ok()) return s;
  FileSink sink(file.file());
  if (!sink.write(bytes.data(), bytes.size())) {
    return Status::failure("cannot write " + file.temporaryPath().string());
  }
  return file.commit();
}

}  // namespace

std::optional<FileKind> fileKindForTypeIdentifier(std::string_view identifier) {
  for (const KindNames& names : kKinds) {
    if (names.identifier == identifier) return names.kind;
  }
  return std::nullopt;
}

std::string_view typeIdentifier(FileKind kind) { return namesOf(kind).identifier; }

std::string_view preferredExtension(FileKind kind) { return namesOf(kind).extension; }

std::optional<FileKind> sniffFileKind(std::span<const uint8_t> bytes) {
  auto startsWith = [&](std::initializer_list<uint8_t> head) {
    return bytes.size() >= head.size() && std::equal(head.begin(), head.end(), bytes.begin());
  };
  if (startsWith({'I', 'I', 42, 0}) || startsWith({'M', 'M', 0, 42})) return FileKind::Tiff;
  if (startsWith({0xFF, 0xD8, 0xFF})) return FileKind::Jpeg;
  if (startsWith({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'})) return FileKind::Png;
  if (startsWith({'G', 'I', 'F', '8', '7', 'a'}) || startsWith({'G', 'I', 'F', '8', '9', 'a'})) {
    return FileKind::Gif;
  }
  if (startsWith({0, 0, 0, 12, 'j', 'P', ' ', ' ', '\r', '\n', 0x87, '\n'}) ||
      startsWith({0xFF, 0x4F, 0xFF, 0x51})) {
    return FileKind::Jpeg2000;
  }
  if (startsWith({'B', 'M'})) return FileKind::Bmp;
  return std::nullopt;
}

ImageDestination::ImageDestination(std::filesystem::path path, FileKind kind, WriteOptions options)
    : path_(std::move(path)), kind_(kind), options_(options) {}

Status ImageDestination::addImage(const BitmapImage& image, const ImageProperties& properties) {
  if (finalized_) return Status::failure("the destination is already finalised");
  if (image_) return Status::failure("the destination holds one image only");
  if (Status s = checkImage(image); !s.ok()) return s;
  if (Status s = checkProperties(properties); !s.ok()) return s;
  image_.emplace(image);
  properties_ = properties;
  return Status::success();
}

Status ImageDestination::finalize() {
  if (finalized_) return Status::failure("the destination is already finalised");
  if (!image_) return Status::failure("no image was added to the destination");
  finalized_ = true;
  Status status = writeImageFile(path_, kind_, *image_, properties_, options_);
  image_.reset();  // lets a provider go
  return status;
}

Status writeImageFile(const std::filesystem::path& path, FileKind kind, const BitmapImage& image,
                      const ImageProperties& properties, const WriteOptions& options) {
  AtomicFile file(path);
  if (Status s = file.open(); !s.ok()) return s;
  FileSink sink(file.file());
  if (Status s = encodeTo(sink, kind, image, properties, options); !s.ok()) {
    return withPath(std::move(s), path);
  }
  return file.commit();
}

Status encodeImage(FileKind kind, const BitmapImage& image, const ImageProperties& properties,
                   std::vector<uint8_t>& out, const WriteOptions& options) {
  MemorySink sink(out);
  Status status = encodeTo(sink, kind, image, properties, options);
  if (!status.ok()) out.clear();
  return status;
}

Status decodeImage(std::span<const uint8_t> bytes, DecodedImage& out) {
  out = DecodedImage();
  const std::optional<FileKind> kind = sniffFileKind(bytes);
  if (!kind) return Status::failure("not an image file of a known kind");
  Status status = Status::success();
  switch (*kind) {
    case FileKind::Tiff:
      status = decodeTiff(bytes, out);
      break;
    case FileKind::Jpeg:
      status = decodeJpeg(bytes, out);
      break;
    case FileKind::Png:
      status = decodePng(bytes, out);
      break;
    case FileKind::Gif:
      status = decodeGif(bytes, out);
      break;
    case FileKind::Jpeg2000:
      status = decodeJp2(bytes, out);
      break;
    case FileKind::Bmp:
      status = decodeBmp(bytes, out);
      break;
  }
  if (!status.ok()) out = DecodedImage();
  return status;
}

Status readImageFile(const std::filesystem::path& path, DecodedImage& out) {
  std::vector<uint8_t> bytes;
  if (Status s = readWholeFile(path, bytes); !s.ok()) return s;
  return withPath(decodeImage(bytes, out), path);
}

Status setMakeAndModel(const std::filesystem::path& path, std::string_view make,
                       std::string_view model) {
  std::vector<uint8_t> bytes;
  if (Status s = readWholeFile(path, bytes); !s.ok()) return s;
  const std::optional<FileKind> kind = sniffFileKind(bytes);
  ImageProperties properties;
  properties.make = make;
  properties.model = model;
  std::vector<uint8_t> changed;
  Status status = Status::success();
  if (kind == FileKind::Tiff) {
    status = setTiffMakeAndModel(path, make, model);
  } else if (kind == FileKind::Jpeg) {
    status = insertJpegExif(bytes, properties, changed);
  } else if (kind == FileKind::Png) {
    status = insertPngExif(bytes, properties, changed);
  } else {
    status = Status::failure(std::string(kind ? namesOf(*kind).name : "this") +
                             " file has no place for Make and Model");
  }
  if (status.ok() && !changed.empty()) status = replaceFile(path, changed);
  return withPath(std::move(status), path);
}

}  // namespace imageio
