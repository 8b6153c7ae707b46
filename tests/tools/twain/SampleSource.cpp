// A small TWAIN data source for the host's tests, built on platform/twain the way the real one
// is: DS_Entry hands every triplet to EnterSource, records are written through the platform's
// structs (so the host's byte offsets check them), blocks come from the manager's allocator. It
// answers the identity, open and close, status and events, one capability of each container kind,
// the transfers of a tiny fixed image, and two test-only triplets; and it can be told to commit
// the faults the host must catch.
#include "SampleSource.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/twain/Source.h"

namespace {

using namespace samplesource;

// A function-local static of a template instance: compiled as a unique symbol, it would pin the
// module after dlclose unless the version script keeps it local.
template <class T>
T& Instance() {
  static T value{};
  return value;
}

int gConstructions = 0;
TW_UINT16 gCondition = TWCC_SUCCESS;
TW_INT16 gState = TWAIN_STATE_LOADED;
TW_IDENTITY gIdentity{};
TW_IDENTITY gApplication{};
bool gEntryPointAtOpen = false;
TW_UINT16 gLastPost = TWRC_SUCCESS;
TW_INT32 gResolution = 200;
TW_UINT16 gPixelType = TWPT_BW;
TW_IMAGELAYOUT gLayout{};
TW_SETUPFILEXFER gSetupFile{};
TW_UINT32 gRowsSent = 0;

__attribute__((constructor)) void Construct() {
  ++gConstructions;
  Instance<std::string>() = "constructed";
}

bool HasFault(const char* name) {
  const char* faults = std::getenv(kFaultsVariable);
  if (faults == nullptr) return false;
  const std::string list = std::string(",") + faults + ",";
  return list.find(std::string(",") + name + ",") != std::string::npos;
}

TW_FIX32 Fix32(double value) {
  const auto n = static_cast<int32_t>(value * 65536.0 + (value >= 0 ? 0.5 : -0.5));
  return TW_FIX32{static_cast<TW_INT16>(n >> 16), static_cast<TW_UINT16>(n & 0xFFFF)};
}

void FillIdentity(TW_IDENTITY* id) {
  std::memset(id, 0, sizeof *id);
  id->Id = 1;
  id->Version.MajorNum = 2;
  id->Version.MinorNum = 1;
  id->Version.Language = TWLG_ENGLISH_USA;
  id->Version.Country = TWCY_USA;
  twain::CopyText(id->Version.Info, "2.1");
  id->ProtocolMajor = 1;
  id->ProtocolMinor = 9;
  id->SupportedGroups = DG_CONTROL | DG_IMAGE | DF_DS2;
  if (HasFault("version1")) id->SupportedGroups = DG_CONTROL | DG_IMAGE;
  if (HasFault("image-only")) id->SupportedGroups = DG_IMAGE | DF_DS2;
  // The product names travel length-prefixed inside the source, as the real one keeps them.
  unsigned char prefixed[34];
  const char manufacturer[] = "Vantrel project";
  twain::ToLengthPrefixed(prefixed, manufacturer);
  twain::FromLengthPrefixed(id->Manufacturer, prefixed);
  twain::CopyText(id->ProductFamily, "Test sources");
  twain::CopyText(id->ProductName, "Samplesource");
}

TW_UINT16 Fail(TW_UINT16 condition) {
  gCondition = condition;
  return TWRC_FAILURE;
}

TW_UINT16 Post(TW_UINT16 message) {
  gLastPost = twain::PostToApplication(
      &gIdentity, HasFault("null-destination") ? nullptr : &gApplication, message);
  return gLastPost;
}

TW_UINT16 Identity(TW_IDENTITY* origin, TW_UINT16 msg, TW_IDENTITY* data) {
  switch (msg) {
    case MSG_GET: {
      const TW_UINT32 keep = data->Id;
      FillIdentity(data);
      if (!HasFault("forget-id")) data->Id = keep;
      return TWRC_SUCCESS;
    }
    case MSG_OPENDS: {
      if (gState != TWAIN_STATE_LOADED) return Fail(TWCC_SEQERROR);
      FillIdentity(&gIdentity);
      if (!HasFault("forget-id")) gIdentity.Id = data->Id;
      if (origin != nullptr) gApplication = *origin;
      *data = gIdentity;
      gEntryPointAtOpen = twain::HasManagerEntryPoint();
      if (HasFault("leak")) twain::AllocateBlock(100);
      if (HasFault("double-free")) {
        TW_HANDLE block = twain::AllocateBlock(8);
        twain::FreeBlock(block);
        twain::FreeBlock(block);
      }
      if (HasFault("thread")) {
        // Runs a libc function only, so the thread outlives the module harmlessly.
        pthread_t thread;
        auto start = reinterpret_cast<void* (*)(void*)>(reinterpret_cast<void (*)()>(&pause));
        pthread_create(&thread, nullptr, start, nullptr);
        pthread_detach(thread);
      }
      gState = TWAIN_STATE_OPEN;
      return TWRC_SUCCESS;
    }
    case MSG_CLOSEDS:
      if (gState != TWAIN_STATE_OPEN) return Fail(TWCC_SEQERROR);
      gState = TWAIN_STATE_LOADED;
      return TWRC_SUCCESS;
    default:
      return Fail(TWCC_BADPROTOCOL);
  }
}

TW_UINT16 UserInterface(TW_UINT16 msg, TW_USERINTERFACE* ui) {
  if (msg == MSG_ENABLEDS) {
    if (gState != TWAIN_STATE_OPEN) return Fail(TWCC_SEQERROR);
    gState = TWAIN_STATE_ENABLED;
    if (HasFault("reenter")) {
      TW_IDENTITY self = gIdentity;
      if (DSMENTRYPROC entry = twain::ManagerEntry()) {
        gLastPost = entry(&gIdentity, &self, DG_CONTROL, DAT_IDENTITY, MSG_GET, &self);
      }
    }
    if (!ui->ShowUI) {
      gState = TWAIN_STATE_XFERREADY;
      gRowsSent = 0;
      Post(MSG_XFERREADY);
    }
    return TWRC_SUCCESS;
  }
  if (msg == MSG_DISABLEDS) {
    if (gState < TWAIN_STATE_ENABLED) return Fail(TWCC_SEQERROR);
    gState = TWAIN_STATE_OPEN;
    return TWRC_SUCCESS;
  }
  return Fail(TWCC_BADPROTOCOL);
}

// Hands a container over in the capability's handle.
template <class T>
T* NewContainer(TW_CAPABILITY* cap, TW_UINT16 conType, size_t size) {
  cap->ConType = conType;
  cap->hContainer = twain::AllocateBlock(size);
  return static_cast<T*>(cap->hContainer);
}

TW_UINT16 Capability(TW_UINT16 msg, TW_CAPABILITY* cap) {
  if (msg == MSG_SET) {
    twain::LockedBlock block(cap->hContainer);
    auto* one = block.as<TW_ONEVALUE>();
    if (one == nullptr || cap->ConType != TWON_ONEVALUE) return Fail(TWCC_BADVALUE);
    if (cap->Cap == ICAP_XRESOLUTION && one->ItemType == TWTY_FIX32) {
      gResolution = block.as<TW_ONEVALUE_FIX32>()->Item.Whole;
      return TWRC_SUCCESS;
    }
    if (cap->Cap == ICAP_PIXELTYPE && one->ItemType == TWTY_UINT16) {
      gPixelType = static_cast<TW_UINT16>(one->Item);
      return TWRC_SUCCESS;
    }
    return Fail(TWCC_BADCAP);
  }
  if (msg != MSG_GET) return Fail(TWCC_BADPROTOCOL);
  switch (cap->Cap) {
    case ICAP_XRESOLUTION: {
      auto* r = NewContainer<TW_RANGE>(cap, TWON_RANGE, sizeof(TW_RANGE));
      r->ItemType = TWTY_FIX32;
      const TW_INT32 values[5] = {72, 600, 1, 200, gResolution};
      TW_UINT32* slots[5] = {&r->MinValue, &r->MaxValue, &r->StepSize, &r->DefaultValue,
                             &r->CurrentValue};
      for (int i = 0; i < 5; ++i) {
        const TW_FIX32 f = Fix32(values[i]);
        std::memcpy(slots[i], &f, sizeof f);
      }
      return TWRC_SUCCESS;
    }
    case ICAP_PIXELTYPE: {
      const TW_UINT16 types[3] = {TWPT_BW, TWPT_GRAY, TWPT_RGB};
      auto* e = NewContainer<TW_ENUMERATION>(cap, TWON_ENUMERATION,
                                             TW_ENUMERATION_HEADER_SIZE + sizeof types);
      e->ItemType = TWTY_UINT16;
      e->NumItems = 3;
      e->CurrentIndex = gPixelType;
      e->DefaultIndex = 0;
      std::memcpy(e->ItemList, types, sizeof types);
      return TWRC_SUCCESS;
    }
    case CAP_SUPPORTEDCAPS: {
      const TW_UINT16 caps[4] = {CAP_SUPPORTEDCAPS, ICAP_XRESOLUTION, ICAP_PIXELTYPE, ICAP_FRAMES};
      auto* a = NewContainer<TW_ARRAY>(cap, TWON_ARRAY, TW_ARRAY_HEADER_SIZE + sizeof caps);
      a->ItemType = TWTY_UINT16;
      a->NumItems = 4;
      std::memcpy(a->ItemList, caps, sizeof caps);
      return TWRC_SUCCESS;
    }
    case ICAP_PHYSICALWIDTH: {
      auto* o = NewContainer<TW_ONEVALUE_FIX32>(cap, TWON_ONEVALUE, sizeof(TW_ONEVALUE_FIX32));
      o->ItemType = TWTY_FIX32;
      o->Item = Fix32(-1.5);
      return TWRC_SUCCESS;
    }
    case ICAP_FRAMES: {
      auto* o = NewContainer<TW_ONEVALUE_FRAME>(cap, TWON_ONEVALUE, sizeof(TW_ONEVALUE_FRAME));
      o->ItemType = TWTY_FRAME;
      o->Item = TW_FRAME{Fix32(0.25), Fix32(0), Fix32(8.5), Fix32(11)};
      return TWRC_SUCCESS;
    }
    case CAP_INDICATORS: {
      auto* o = NewContainer<TW_ONEVALUE>(cap, TWON_ONEVALUE, sizeof(TW_ONEVALUE));
      o->ItemType = TWTY_BOOL;
      o->Item = TWAIN_TRUE;
      return TWRC_SUCCESS;
    }
    default:
      return Fail(TWCC_BADCAP);
  }
}

TW_UINT16 ExtImageInfo(TW_EXTIMAGEINFO* ext) {
  for (TW_UINT32 i = 0; i < ext->NumInfos; ++i) {
    TW_INFO& info = ext->Info[i];
    if (info.InfoID == TWEI_BARCODECOUNT) {
      info.ItemType = TWTY_UINT32;
      info.NumItems = 1;
      info.ReturnCode = TWRC_SUCCESS;
      info.Item = 2;
    } else if (info.InfoID == TWEI_BARCODETEXTLENGTH) {
      const TW_UINT32 lengths[2] = {2, 3};
      TW_HANDLE block = twain::AllocateBlock(sizeof lengths);
      std::memcpy(block, lengths, sizeof lengths);
      info.ItemType = TWTY_UINT32;
      info.NumItems = 2;
      info.ReturnCode = TWRC_SUCCESS;
      info.Item = reinterpret_cast<TW_UINTPTR>(block);
    } else if (info.InfoID == TWEI_PATCHCODE) {
      info.ReturnCode = TWRC_DATANOTAVAILABLE;
    } else {
      info.ReturnCode = TWRC_INFONOTSUPPORTED;
    }
  }
  return TWRC_SUCCESS;
}

TW_UINT16 MemoryStrip(TW_IMAGEMEMXFER* mem) {
  if (gState != TWAIN_STATE_XFERREADY && gState != TWAIN_STATE_TRANSFERRING) {
    return Fail(TWCC_SEQERROR);
  }
  const bool handle = (mem->Memory.Flags & TWMF_HANDLE) != 0;
  auto* out =
      static_cast<TW_UINT8*>(handle ? twain::LockBlock(mem->Memory.TheMem) : mem->Memory.TheMem);
  const TW_UINT32 rows = std::min(mem->Memory.Length / kImageWidth, kImageLength - gRowsSent);
  for (TW_UINT32 r = 0; r < rows; ++r) {
    for (TW_UINT32 c = 0; c < kImageWidth; ++c) {
      out[r * kImageWidth + c] = static_cast<TW_UINT8>((gRowsSent + r) * kImageWidth + c);
    }
  }
  if (handle) twain::UnlockBlock(mem->Memory.TheMem);
  mem->Compression = TWCP_NONE;
  mem->BytesPerRow = kImageWidth;
  mem->Columns = kImageWidth;
  mem->Rows = rows;
  mem->XOffset = 0;
  mem->YOffset = gRowsSent;
  mem->BytesWritten = rows * kImageWidth;
  gRowsSent += rows;
  gState = TWAIN_STATE_TRANSFERRING;
  return gRowsSent == kImageLength ? TWRC_XFERDONE : TWRC_SUCCESS;
}

TW_UINT16 Control(TW_IDENTITY* origin, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  switch (dat) {
    case DAT_IDENTITY:
      return Identity(origin, msg, static_cast<TW_IDENTITY*>(data));
    case DAT_STATUS: {
      auto* status = static_cast<TW_STATUS*>(data);
      status->ConditionCode = gCondition;
      status->Reserved = 0;
      gCondition = TWCC_SUCCESS;
      return TWRC_SUCCESS;
    }
    case DAT_EVENT:
      static_cast<TW_EVENT*>(data)->TWMessage = MSG_NULL;
      return TWRC_NOTDSEVENT;
    case DAT_XFERGROUP:
      *static_cast<TW_UINT32*>(data) = DG_IMAGE;
      return TWRC_SUCCESS;
    case DAT_USERINTERFACE:
      return UserInterface(msg, static_cast<TW_USERINTERFACE*>(data));
    case DAT_CAPABILITY:
      return Capability(msg, static_cast<TW_CAPABILITY*>(data));
    case DAT_SETUPMEMXFER:
      *static_cast<TW_SETUPMEMXFER*>(data) = TW_SETUPMEMXFER{32768, 0x400000, 0x400000};
      return TWRC_SUCCESS;
    case DAT_SETUPFILEXFER:
      if (msg == MSG_SET) {
        gSetupFile = *static_cast<TW_SETUPFILEXFER*>(data);
      } else {
        *static_cast<TW_SETUPFILEXFER*>(data) = gSetupFile;
      }
      return TWRC_SUCCESS;
    case DAT_PENDINGXFERS:
      static_cast<TW_PENDINGXFERS*>(data)->Count = 0;
      if (msg == MSG_ENDXFER) gState = TWAIN_STATE_ENABLED;
      return TWRC_SUCCESS;
    case DAT_KRCUSTOMCOMMAND: {
      auto* custom = static_cast<TW_KRCUSTOMCOMMAND*>(data);
      if (msg != MSG_GET || custom->Command != KRCUSTOMCOMMAND_LASTERROR) {
        return Fail(TWCC_BADPROTOCOL);
      }
      custom->Error = kLastError;
      std::memset(custom->Message, 0, sizeof custom->Message);
      std::char_traits<char16_t>::copy(custom->Message, kLastErrorText,
                                       std::char_traits<char16_t>::length(kLastErrorText));
      return TWRC_SUCCESS;
    }
    case kDatProbe: {
      auto* probe = static_cast<TW_UINT32*>(data);
      probe[kProbeEntryPointAtOpen / 4] = gEntryPointAtOpen;
      probe[kProbeManagerFound / 4] = twain::ManagerEntry() != nullptr;
      probe[kProbeConstructions / 4] = static_cast<TW_UINT32>(gConstructions);
      probe[kProbeLastPost / 4] = gLastPost;
      return TWRC_SUCCESS;
    }
    case kDatFolder:
      twain::CopyText(static_cast<char*>(data), sizeof(TW_STR255), twain::ModuleFolder());
      return TWRC_SUCCESS;
    case kDatPost:
      return Post(*static_cast<TW_UINT16*>(data));
    default:
      return Fail(TWCC_BADPROTOCOL);
  }
}

TW_UINT16 Image(TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  switch (dat) {
    case DAT_IMAGEINFO: {
      TW_IMAGEINFO info{};
      info.XResolution = Fix32(300.5);
      info.YResolution = Fix32(300);
      info.ImageWidth = kImageWidth;
      info.ImageLength = kImageLength;
      info.SamplesPerPixel = 1;
      info.BitsPerSample[0] = 8;
      info.BitsPerPixel = 8;
      info.Planar = TWAIN_FALSE;
      info.PixelType = TWPT_GRAY;
      info.Compression = TWCP_NONE;
      *static_cast<TW_IMAGEINFO*>(data) = info;
      return TWRC_SUCCESS;
    }
    case DAT_IMAGELAYOUT:
      if (msg == MSG_SET) {
        gLayout = *static_cast<TW_IMAGELAYOUT*>(data);
      } else {
        *static_cast<TW_IMAGELAYOUT*>(data) = gLayout;
      }
      return TWRC_SUCCESS;
    case DAT_IMAGEMEMXFER:
      return MemoryStrip(static_cast<TW_IMAGEMEMXFER*>(data));
    case DAT_IMAGENATIVEXFER: {
      TW_HANDLE block = twain::AllocateBlock(sizeof kNativeBlock);
      std::memcpy(block, kNativeBlock, sizeof kNativeBlock);
      *static_cast<TW_HANDLE*>(data) = block;
      gState = TWAIN_STATE_TRANSFERRING;
      return TWRC_XFERDONE;
    }
    case DAT_IMAGEFILEXFER: {
      FILE* file = std::fopen(gSetupFile.FileName, "wb");
      if (file == nullptr) return Fail(TWCC_FILEWRITEERROR);
      const bool written = std::fwrite(kNativeBlock, sizeof kNativeBlock, 1, file) == 1;
      if (std::fclose(file) != 0 || !written) return Fail(TWCC_FILEWRITEERROR);
      gState = TWAIN_STATE_TRANSFERRING;
      return TWRC_XFERDONE;
    }
    case DAT_EXTIMAGEINFO:
      return ExtImageInfo(static_cast<TW_EXTIMAGEINFO*>(data));
    default:
      return Fail(TWCC_BADPROTOCOL);
  }
}

TW_UINT16 Dispatch(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                   TW_MEMREF data) {
  // The file transfer is the one triplet without data.
  if (data == nullptr && !(dg == DG_IMAGE && dat == DAT_IMAGEFILEXFER)) {
    return Fail(TWCC_BADVALUE);
  }
  if (dg == DG_CONTROL) return Control(origin, dat, msg, data);
  if (dg == DG_IMAGE) return Image(dat, msg, data);
  return Fail(TWCC_BADPROTOCOL);
}

void SetCondition(TW_UINT16 condition) { gCondition = condition; }

constexpr twain::SourceHooks kHooks{&Dispatch, &SetCondition};

}  // namespace

extern "C" TW_EXPORT TW_UINT16 DS_Entry(TW_IDENTITY* pOrigin, TW_UINT32 DG, TW_UINT16 DAT,
                                        TW_UINT16 MSG, TW_MEMREF pData) {
  return twain::EnterSource(kHooks, pOrigin, DG, DAT, MSG, pData);
}

extern "C" TW_EXPORT uint32_t LibraryCurrentVersion() { return 0x010000; }
