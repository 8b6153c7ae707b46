// twain-scan's scan session, as a TWAIN application runs one.
#include "tools/twain/ScanClient.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/twain/Twain.h"
#include "tools/PageFiles.h"

namespace twainhost {

namespace {

// How long the application waits for the source's next message: a dialog's user may take long,
// a source without one sends its messages at once.
constexpr std::chrono::seconds kMessageWaitWithUi{300};
constexpr std::chrono::seconds kMessageWait{30};
constexpr std::chrono::milliseconds kEventPause{10};
constexpr double kMillimetresPerInch = 25.4;
// The source's own "no paper" statuses in its custom operation (its own code and the driver's).
constexpr uint32_t kNoPaperOwn = uint32_t(-2);
constexpr uint32_t kNoPaperDriver = 2015;

// What a condition code tells the user.
const char* ConditionText(uint16_t cc) {
  switch (cc) {
    case TWCC_BUMMER:
      return "the source failed";
    case TWCC_LOWMEMORY:
      return "not enough memory";
    case TWCC_OPERATIONERROR:
      return "the source could not do it (no display for its interface?)";
    case TWCC_BADVALUE:
      return "a value the source does not take";
    case TWCC_SEQERROR:
      return "out of sequence";
    case TWCC_PAPERJAM:
      return "paper jam: open the scanner and remove the paper";
    case TWCC_PAPERDOUBLEFEED:
      return "multiple feed: load the sheets again";
    case TWCC_FILEWRITEERROR:
      return "the file could not be written";
    case TWCC_CHECKDEVICEONLINE:
      return "check that the scanner is on and connected";
    default:
      return nullptr;
  }
}

std::string Describe(const Answer& a) {
  std::string text = "rc " + std::to_string(a.rc) + " cc " + std::to_string(a.cc);
  if (a.rc != TWRC_SUCCESS) {
    if (const char* what = ConditionText(a.cc)) text += std::string(" (") + what + ")";
  }
  return text;
}

// A TWEI_BARCODETYPE value's name; null for one without a name here.
const char* BarcodeTypeName(uint32_t type) {
  struct Name {
    uint32_t type;
    const char* name;
  };
  static const Name kNames[] = {
      {TWBT_3OF9, "Code 39"},      {TWBT_2OF5INTERLEAVED, "Interleaved 2 of 5"},
      {TWBT_CODE93, "Code 93"},    {TWBT_CODE128, "Code 128"},
      {TWBT_CODABAR, "Codabar"},   {TWBT_UPCA, "UPC-A"},
      {TWBT_UPCE, "UPC-E"},        {TWBT_EAN8, "EAN-8"},
      {TWBT_EAN13, "EAN-13"},      {TWBT_PDF417, "PDF417"},
      {TWBT_MAXICODE, "MaxiCode"}, {TWBT_QRCODE, "QR Code"},
  };
  for (const Name& n : kNames)
    if (n.type == type) return n.name;
  return nullptr;
}

const char* ModeName(int16_t pixelType) {
  switch (pixelType) {
    case TWPT_BW:
      return "lineart";
    case TWPT_GRAY:
      return "grey";
    case TWPT_RGB:
      return "colour";
    default:
      return "other";
  }
}

uint16_t FileFormatCode(ImageFormat format) {
  switch (format) {
    case ImageFormat::kPng:
      return TWFF_PNG;
    case ImageFormat::kJpeg:
      return TWFF_JFIF;
    case ImageFormat::kBmp:
      return TWFF_BMP;
    default:
      return TWFF_TIFF;
  }
}

}  // namespace

bool NoScanner(const Answer& opened) {
  return !opened.ok() && (opened.cc == TWCC_SEQERROR || opened.cc == TWCC_CHECKDEVICEONLINE ||
                          opened.cc == TWCC_NODS);
}

namespace {

class Session {
 public:
  Session(Host& host, const ScanOptions& options, std::FILE* out, std::FILE* err)
      : host_(host), o_(options), out_(out), err_(err) {}

  int Run() {
    if (!o_.application.empty()) {
      Identity app = host_.application();
      app.productName = o_.application;
      host_.SetApplication(app);
    }
    const Answer opened = host_.OpenSource();
    if (!opened.ok()) {
      std::fprintf(err_, "twain-scan: MSG_OPENDS refused: %s\n", Describe(opened).c_str());
      const bool noScanner = NoScanner(opened);
      if (noScanner) std::fprintf(err_, "twain-scan: no scanner the source supports\n");
      return noScanner ? kExitNoScanner : kExitSource;
    }
    int status = Negotiate();
    if (status == kExitOk) status = Scan();
    if (enabled_) {
      const Answer disabled = host_.DisableDs();
      if (!disabled.ok() && status == kExitOk) {
        std::fprintf(err_, "twain-scan: MSG_DISABLEDS: %s\n", Describe(disabled).c_str());
        status = kExitSource;
      }
    }
    const Answer closed = host_.CloseSource();
    if (!closed.ok()) {
      std::fprintf(err_, "twain-scan: MSG_CLOSEDS: %s\n", Describe(closed).c_str());
      if (status == kExitOk) status = kExitSource;
    }
    return status;
  }

 private:
  bool Set(const char* name, uint16_t cap, const Container& value) {
    const Answer a = host_.SetCapability(cap, value);
    if (a.ok() || a.rc == TWRC_CHECKSTATUS) return true;
    std::fprintf(err_, "twain-scan: the source refused %s: %s\n", name, Describe(a).c_str());
    return false;
  }

  int Negotiate() {
    uint16_t mech = TWSX_MEMORY;
    if (o_.transfer == Transfer::kNative) mech = TWSX_NATIVE;
    if (o_.transfer == Transfer::kFile) mech = TWSX_FILE;
    bool ok = Set("the transfer", ICAP_XFERMECH, Container::OneValue(TWTY_UINT16, mech));
    if (ok && o_.count > 0) {
      ok = Set("the image count", CAP_XFERCOUNT,
               Container::OneValue(TWTY_INT16, uint32_t(o_.count)));
    }
    if (ok && o_.duplex) {
      ok = Set("the source", CAP_DUPLEXENABLED, Container::OneValue(TWTY_BOOL, *o_.duplex ? 1 : 0));
    }
    if (ok && o_.pixelType) {
      ok = Set("the mode", ICAP_PIXELTYPE, Container::OneValue(TWTY_UINT16, *o_.pixelType));
    }
    if (ok && o_.resolution) {
      ok = Set("the resolution", ICAP_XRESOLUTION, Container::OneFix32(*o_.resolution)) &&
           Set("the resolution", ICAP_YRESOLUTION, Container::OneFix32(*o_.resolution));
    }
    if (ok && o_.paperSize) {
      ok = Set("the paper size", ICAP_SUPPORTEDSIZES,
               Container::OneValue(TWTY_UINT16, *o_.paperSize));
    }
    if (ok && (o_.left || o_.top || o_.width || o_.height)) {
      const Reply<ImageLayout> current = host_.Layout(MSG_GET);
      if (!current.ok()) {
        std::fprintf(err_, "twain-scan: no image layout: %s\n", Describe(current).c_str());
        return kExitSource;
      }
      ImageLayout l = current.value;
      const double left = o_.left ? *o_.left / kMillimetresPerInch : l.left;
      const double top = o_.top ? *o_.top / kMillimetresPerInch : l.top;
      const double width = o_.width ? *o_.width / kMillimetresPerInch : l.right - l.left;
      const double height = o_.height ? *o_.height / kMillimetresPerInch : l.bottom - l.top;
      l.left = left;
      l.top = top;
      l.right = left + width;
      l.bottom = top + height;
      const Answer set = host_.Layout(MSG_SET, l);
      if (!set.ok() && set.rc != TWRC_CHECKSTATUS) {
        std::fprintf(err_, "twain-scan: the source refused the area: %s\n", Describe(set).c_str());
        ok = false;
      }
    }
    if (ok && o_.autoCrop) {
      ok = Set("automatic border detection", ICAP_AUTOMATICBORDERDETECTION,
               Container::OneValue(TWTY_BOOL, 1));
    }
    if (ok && o_.barcodes) {
      ok =
          Set("barcode detection", ICAP_BARCODEDETECTIONENABLED, Container::OneValue(TWTY_BOOL, 1));
    }
    if (ok && o_.transfer == Transfer::kFile) {
      ok = Set("the file format", ICAP_IMAGEFILEFORMAT,
               Container::OneValue(TWTY_UINT16, FileFormatCode(*o_.format)));
    }
    return ok ? kExitOk : kExitSource;
  }

  // The source's next message, waiting while it works; nothing after the wait's limit.
  std::optional<ManagerMessage> NextMessage() {
    const auto deadline =
        std::chrono::steady_clock::now() + (o_.showUi ? kMessageWaitWithUi : kMessageWait);
    while (host_.pendingMessages() == 0) {
      if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
      host_.ProcessEvent();
      if (host_.pendingMessages() == 0) std::this_thread::sleep_for(kEventPause);
    }
    std::deque<ManagerMessage> messages = host_.TakeMessages();
    const ManagerMessage first = messages.front();
    messages.pop_front();
    // Put the rest back in front of anything newer: the host keeps one queue.
    held_.insert(held_.end(), messages.begin(), messages.end());
    return first;
  }
  std::optional<ManagerMessage> Message() {
    if (!held_.empty()) {
      const ManagerMessage m = held_.front();
      held_.pop_front();
      return m;
    }
    return NextMessage();
  }

  int Scan() {
    const Answer enabled = host_.EnableDs(o_.showUi);
    if (!enabled.ok()) {
      Explain("MSG_ENABLEDS", enabled);
      return NoPaperOr(kExitSource);
    }
    enabled_ = true;
    for (;;) {
      const std::optional<ManagerMessage> m = Message();
      if (!m) {
        std::fprintf(err_, "twain-scan: no message from the source\n");
        return kExitSource;
      }
      if (m->message == MSG_CLOSEDSREQ || m->message == MSG_CLOSEDSOK) {
        std::fprintf(out_, "The source asks to close (%s)\n",
                     m->message == MSG_CLOSEDSREQ ? "MSG_CLOSEDSREQ" : "MSG_CLOSEDSOK");
        std::fflush(out_);
        break;
      }
      if (m->message != MSG_XFERREADY) continue;
      const int status = Transfers();
      if (status != kExitOk) return status;
      if (done_) break;
      // The batch is over: without the interface and with no message waiting, so is the scan.
      if (!o_.showUi && held_.empty() && host_.pendingMessages() == 0) break;
    }
    if (images_ == 0) return NoPaperOr(kExitOk);
    return kExitOk;
  }

  // The barcodes the source found on the image just transferred, one line each: type and text.
  void PrintBarcodes() {
    const Reply<std::vector<ExtImageEntry>> info = host_.ExtImageInfo(
        {TWEI_BARCODECOUNT, TWEI_BARCODETYPE, TWEI_BARCODETEXTLENGTH, TWEI_BARCODETEXT});
    if (!info.ok() || info.value.size() != 4) {
      Explain("DAT_EXTIMAGEINFO", info);
      return;
    }
    const ExtImageEntry &count = info.value[0], &types = info.value[1], &lengths = info.value[2],
                        &texts = info.value[3];
    const size_t n = count.returnCode == TWRC_SUCCESS ? size_t(count.item) : 0;
    // One value travels in Item itself, several in a block of 32-bit values.
    auto value = [](const ExtImageEntry& e, size_t i) -> uint32_t {
      if (e.numItems == 1) return uint32_t(e.item);
      uint32_t v = 0;
      if ((i + 1) * sizeof v <= e.data.size()) std::memcpy(&v, &e.data[i * sizeof v], sizeof v);
      return v;
    };
    size_t at = 0;
    for (size_t i = 0; i < n && i < types.numItems && i < lengths.numItems; ++i) {
      const size_t length =
          std::min<size_t>(value(lengths, i), texts.data.size() - std::min(at, texts.data.size()));
      const std::string text(
          texts.data.begin() + ptrdiff_t(std::min(at, texts.data.size())),
          texts.data.begin() + ptrdiff_t(std::min(at, texts.data.size()) + length));
      at += length;
      const char* type = BarcodeTypeName(value(types, i));
      if (type)
        std::fprintf(out_, "  barcode %s: %s\n", type, text.c_str());
      else
        std::fprintf(out_, "  barcode of type %u: %s\n", value(types, i), text.c_str());
    }
    if (n == 0) std::fprintf(out_, "  no barcode\n");
  }

  // The images of one MSG_XFERREADY, until the source has no more pending.
  int Transfers() {
    for (;;) {
      const Reply<ImageInfo> info = host_.GetImageInfo();
      if (!info.ok()) {
        Explain("DAT_IMAGEINFO", info);
        host_.PendingXfers(MSG_RESET);
        return kExitSource;
      }
      const std::string name = ImageName(o_.output, o_.batchStart + images_);
      std::string error;
      const Answer got = Transfer(info.value, name, &error);
      if (got.rc == TWRC_XFERDONE && error.empty()) {
        ++images_;
        const ImageInfo& i = info.value;
        std::fprintf(out_, "Image %d: %dx%d pixels, %s %d bits, %g dpi -> %s\n", images_, i.width,
                     i.length, ModeName(i.pixelType), i.bitsPerPixel, i.xResolution, name.c_str());
        if (o_.barcodes) PrintBarcodes();
        std::fflush(out_);
      } else if (got.rc == TWRC_CANCEL) {
        Explain("the transfer was cancelled", got);
      } else {
        if (!error.empty()) std::fprintf(err_, "twain-scan: %s\n", error.c_str());
        if (got.rc != TWRC_XFERDONE) Explain("the transfer failed", got);
        host_.PendingXfers(got.rc == TWRC_XFERDONE ? MSG_ENDXFER : MSG_RESET);
        host_.PendingXfers(MSG_RESET);
        done_ = true;
        return kExitSource;
      }
      const bool enough = o_.count > 0 && images_ >= o_.count;
      const Reply<uint16_t> pending = host_.PendingXfers(MSG_ENDXFER);
      if (!pending.ok()) {
        Explain("MSG_ENDXFER", pending);
        return kExitSource;
      }
      if (pending.value != 0 && enough) {
        host_.PendingXfers(MSG_RESET);
        done_ = true;
        return kExitOk;
      }
      if (got.rc == TWRC_CANCEL) {
        if (pending.value != 0) host_.PendingXfers(MSG_RESET);
        done_ = true;
        return images_ > 0 ? kExitSource : NoPaperOr(kExitSource);
      }
      if (pending.value == 0) return kExitOk;
    }
  }

  Answer Transfer(const ImageInfo& info, const std::string& name, std::string* error) {
    switch (o_.transfer) {
      case Transfer::kNative: {
        const Reply<std::vector<uint8_t>> r = host_.NativeXfer();
        if (r.rc == TWRC_XFERDONE) {
          std::ofstream file(name, std::ios::binary);
          file.write(reinterpret_cast<const char*>(r.value.data()),
                     std::streamsize(r.value.size()));
          if (!file.flush()) *error = "cannot write " + name;
        }
        return r;
      }
      case Transfer::kFile: {
        SetupFileXfer setup;
        setup.fileName = name;
        setup.format = FileFormatCode(*o_.format);
        const Reply<SetupFileXfer> set = host_.SetupFile(MSG_SET, setup);
        if (!set.ok()) return set;
        return host_.FileXfer();
      }
      case Transfer::kMemory:
        break;
    }
    return Memory(info, name, error);
  }

  Answer Memory(const ImageInfo& info, const std::string& name, std::string* error) {
    uint32_t size = o_.bufferSize;
    if (size == 0) {
      const Reply<SetupMemXfer> setup = host_.GetSetupMemXfer();
      if (!setup.ok()) return setup;
      size = setup.value.preferred != 0 ? setup.value.preferred : setup.value.maxBufSize;
    }
    vtclient::PageImage page;
    page.width = uint32_t(std::max(info.width, 0));
    page.height = uint32_t(std::max(info.length, 0));
    page.bitsPerPixel = uint32_t(std::max<int16_t>(info.bitsPerPixel, 0));
    page.resolution = uint32_t(info.xResolution + 0.5);
    page.bytesPerLine = (page.width * page.bitsPerPixel + 7) / 8;
    page.data.assign(size_t(page.bytesPerLine) * page.height, 0);
    for (;;) {
      const Reply<MemoryStrip> strip = host_.MemXfer(size);
      if (strip.rc != TWRC_SUCCESS && strip.rc != TWRC_XFERDONE) return strip;
      const MemoryStrip& s = strip.value;
      const uint32_t row = std::min(s.bytesPerRow, page.bytesPerLine);
      for (uint32_t r = 0; r < s.rows && s.yOffset + r < page.height; ++r) {
        if (size_t(r + 1) * s.bytesPerRow > s.data.size()) break;
        std::copy_n(s.data.begin() + std::ptrdiff_t(size_t(r) * s.bytesPerRow), row,
                    page.data.begin() + std::ptrdiff_t(size_t(s.yOffset + r) * page.bytesPerLine));
      }
      if (strip.rc == TWRC_XFERDONE) break;
    }
    // The source's lineart has a set bit for white; the files want it for black.
    if (page.bitsPerPixel == 1) {
      for (uint8_t& b : page.data) b = uint8_t(~b);
    }
    vtclient::PageFormat format = vtclient::PageFormat::Tiff;
    if (*o_.format == ImageFormat::kPng) format = vtclient::PageFormat::Png;
    if (*o_.format == ImageFormat::kPnm) format = vtclient::PageFormat::Pnm;
    if (!vtclient::WritePage(page, format, name, error) && error->empty()) {
      *error = "cannot write " + name;
    }
    Answer done;
    done.rc = TWRC_XFERDONE;
    return done;
  }

  // The condition code and the source's own text for a failure or a cancel.
  void Explain(const char* what, const Answer& a) {
    const Reply<CustomReply> custom = host_.Custom(MSG_GET);
    lastError_ = custom.ok() ? custom.value.error : 0;
    std::string text = custom.ok() ? Utf8(custom.value.message) : "";
    std::fprintf(err_, "twain-scan: %s: %s", what, Describe(a).c_str());
    if (custom.ok() && custom.value.error != 0) {
      std::fprintf(err_, ", scanner error %d", int32_t(custom.value.error));
    }
    if (!text.empty()) std::fprintf(err_, ": %s", text.c_str());
    std::fprintf(err_, "\n");
  }

  int NoPaperOr(int status) const {
    if (images_ == 0 && (lastError_ == kNoPaperOwn || lastError_ == kNoPaperDriver ||
                         lastError_ == uint32_t(-int32_t(kNoPaperDriver)))) {
      return kExitNoPaper;
    }
    return status;
  }

  Host& host_;
  const ScanOptions& o_;
  std::FILE* out_;
  std::FILE* err_;
  std::deque<ManagerMessage> held_;
  bool enabled_ = false;
  bool done_ = false;
  int images_ = 0;
  uint32_t lastError_ = 0;
};

}  // namespace

std::string Utf8(const std::u16string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c == 0) break;
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | c >> 6);
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | c >> 12);
      out += char(0x80 | (c >> 6 & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | c >> 18);
      out += char(0x80 | (c >> 12 & 0x3F));
      out += char(0x80 | (c >> 6 & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

int RunScan(Host& host, const ScanOptions& options, std::FILE* out, std::FILE* err) {
  return Session(host, options, out, err).Run();
}

}  // namespace twainhost
