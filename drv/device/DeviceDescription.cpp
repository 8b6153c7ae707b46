#include "drv/device/DeviceDescription.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vantrel/device_ids.h"

namespace kridentity {
uint16_t Word(const uint8_t* block, int index) {
  uint16_t v;
  std::memcpy(&v, block + 2 * index, 2);
  return v;
}
void SetWord(uint8_t* block, int index, uint16_t value) {
  std::memcpy(block + 2 * index, &value, 2);
}
uint32_t IpAddress(const uint8_t* block) {
  uint32_t v;
  std::memcpy(&v, block, 4);
  return v;
}
uint16_t IpPort(const uint8_t* block) { return Word(block, 2); }
void SetIpAddress(uint8_t* block, uint32_t address, uint16_t port) {
  std::memcpy(block, &address, 4);
  SetWord(block, 2, port);
}
void FirstText(const uint8_t* block, char (&out)[kFirstTextSize]) {
  std::memcpy(out, block, kFirstTextSize - 1);
  out[kFirstTextSize - 1] = 0;
}
void SecondText(const uint8_t* block, char (&out)[kSecondTextSize]) {
  std::memcpy(out, block + 8, kSecondTextSize - 1);
  out[kSecondTextSize - 1] = 0;
}
void SetTexts(uint8_t* block, const char* first, const char* second) {
  if (first != nullptr) {
    std::memset(block, 0, 8);
    std::strncpy(reinterpret_cast<char*>(block), first, kFirstTextSize - 1);
  }
  if (second != nullptr) {
    std::memset(block + 8, 0, 120);
    std::strncpy(reinterpret_cast<char*>(block + 8), second, kSecondTextSize - 1);
  }
}
}  // namespace kridentity

using namespace kridentity;

void CDeviceDescription::Clear() {
  std::memset(m_name, 0, sizeof m_name);
  std::memset(m_identity, 0, sizeof m_identity);
  std::memset(m_match, 0, sizeof m_match);
  m_type = krbus::kNone;
  m_factory = nullptr;
}

void CDeviceDescription::SetName(const char* name) {
  std::snprintf(m_name, sizeof m_name, "%s", name != nullptr ? name : "?");
}

CDeviceDescription::CDeviceDescription() {
  Clear();
  SetName(nullptr);
}

CDeviceDescription::CDeviceDescription(uint32_t type, const char* name, CScannerFactory factory,
                                       uint16_t vendor, uint16_t product) {
  Clear();
  SetName(name);
  m_type = type;
  m_factory = factory;
  SetWord(m_identity, 0, vendor);
  SetWord(m_identity, 1, product);
}

CDeviceDescription::CDeviceDescription(uint32_t type, const char* name, CScannerFactory factory,
                                       uint16_t vendor, uint16_t product, uint16_t vendor2,
                                       uint16_t product2)
    : CDeviceDescription(type, name, factory, vendor, product) {
  SetWord(m_identity, 2, vendor2);
  SetWord(m_identity, 3, product2);
}

CDeviceDescription::CDeviceDescription(uint32_t type, const char* name, CScannerFactory factory,
                                       const char* vendorText, const char* modelText) {
  Clear();
  SetName(name);
  m_type = type;
  m_factory = factory;
  SetTexts(m_identity, vendorText, modelText);
}

namespace {
uint16_t ParseId(const char* field) {
  return static_cast<uint16_t>(std::strtoul(field, nullptr, 0));
}
}  // namespace

CDeviceDescription::CDeviceDescription(const char* targetId) {
  Clear();
  SetName(nullptr);
  if (targetId == nullptr) return;
  char copy[257];
  std::snprintf(copy, sizeof copy, "%s", targetId);
  // Split at every colon; empty fields count ("virtual::a:b").
  const char* fields[16] = {};
  int count = 0;
  char* p = copy;
  fields[count++] = p;
  for (; *p != 0 && count < 16; ++p) {
    if (*p == ':') {
      *p = 0;
      fields[count++] = p + 1;
    }
  }
  auto field = [&](int i) -> const char* { return i < count ? fields[i] : nullptr; };
  auto text = [&](int i) -> const char* { return i < count ? fields[i] : ""; };
  int matchField = -1;
  if (strcasecmp(fields[0], "usb") == 0) {
    m_type = krbus::kUsb;
    SetWord(m_identity, 0, field(1) ? ParseId(field(1)) : 0);
    SetWord(m_identity, 1, field(2) ? ParseId(field(2)) : 0);
    matchField = 3;
  } else if (strcasecmp(fields[0], "scsi") == 0) {
    m_type = krbus::kScsi;
    SetTexts(m_identity, text(1), text(2));
    matchField = 3;
  } else if (strcasecmp(fields[0], "tcpip") == 0) {
    m_type = krbus::kTcpIp;
    SetTexts(m_identity, text(3), text(4));
    matchField = 5;
  } else if (strcasecmp(fields[0], "dualusb") == 0) {
    m_type = krbus::kDualUsb;
    for (int i = 0; i < 4; ++i) SetWord(m_identity, i, field(1 + i) ? ParseId(field(1 + i)) : 0);
    matchField = 5;
  } else if (strcasecmp(fields[0], "virtual") == 0) {
    m_type = krbus::kVirtual;
    SetTexts(m_identity, text(2), text(3));
    matchField = 4;
  }
  if (matchField > 0 && field(matchField) != nullptr) {
    std::snprintf(m_match, sizeof m_match, "%s", field(matchField));
  }
}

bool CDeviceDescription::CheckMatch(const KrDrvDeviceInformation* record) const {
  if (record == nullptr) return false;
  char serial[sizeof record->SerialNumber + 1];
  std::snprintf(serial, sizeof serial, "%.*s", static_cast<int>(sizeof record->SerialNumber),
                record->SerialNumber);
  if (m_match[0] != 0 && serial[0] != 0 && std::strcmp(m_match, serial) != 0) return false;

  const uint8_t* rid = record->Identity;
  char mineFirst[kFirstTextSize], theirsFirst[kFirstTextSize];
  char mineSecond[kSecondTextSize], theirsSecond[kSecondTextSize];
  FirstText(m_identity, mineFirst);
  FirstText(rid, theirsFirst);
  SecondText(m_identity, mineSecond);
  SecondText(rid, theirsSecond);
  switch (record->Type) {
    case krbus::kUsb:
      return m_type == krbus::kUsb && Word(rid, 0) == Word(m_identity, 0) &&
             Word(rid, 1) == Word(m_identity, 1);
    case krbus::kScsi:
    case krbus::kFirewire:
      if (m_type != krbus::kScsi && m_type != krbus::kFirewire) return false;
      return strcasecmp(theirsFirst, mineFirst) == 0 || strcasecmp(theirsSecond, mineSecond) == 0;
    case krbus::kDualUsb:
      if (m_type != krbus::kDualUsb) return false;
      for (int i = 0; i < 4; ++i) {
        if (Word(rid, i) != Word(m_identity, i)) return false;
      }
      return true;
    case krbus::kTcpIp: {
      if (m_type != krbus::kTcpIp && m_type != krbus::kVirtual) return false;
      if (mineFirst[0] == 0) return true;
      char vendor[sizeof record->VendorName + 1];
      std::snprintf(vendor, sizeof vendor, "%.*s", static_cast<int>(sizeof record->VendorName),
                    record->VendorName);
      return strcasecmp(mineFirst, vendor) == 0;
    }
    case krbus::kVirtual:
      return m_type == krbus::kVirtual && strcasecmp(theirsFirst, mineFirst) == 0;
    default:
      return false;
  }
}

bool CDeviceDescription::CheckMatch(const CDeviceDescription* other) const {
  if (other == nullptr) return false;
  KrDrvDeviceInformation record;
  std::memset(&record, 0, sizeof record);
  record.Type = other->m_type;
  std::memcpy(record.Identity, other->m_identity, sizeof record.Identity);
  return CheckMatch(&record);
}

uint32_t CDeviceDescription::GetDescriptionString(char* text) const {
  if (text == nullptr) return 0;
  // Callers give a buffer of at least 256 bytes.
  constexpr size_t kSize = 256;
  char first[kFirstTextSize], second[kSecondTextSize];
  FirstText(m_identity, first);
  SecondText(m_identity, second);
  int n;
  switch (m_type) {
    case krbus::kNone:
      n = std::snprintf(text, kSize, "None");
      break;
    case krbus::kUsb:
      n = std::snprintf(text, kSize, "USB %04X:%04X", Word(m_identity, 0), Word(m_identity, 1));
      break;
    case krbus::kScsi:
      n = std::snprintf(text, kSize, "SCSI %s %s", first, second);
      break;
    case krbus::kFirewire:
      n = std::snprintf(text, kSize, "Firewire %s %s", first, second);
      break;
    case krbus::kTcpIp:
      n = std::snprintf(text, kSize, "TCPIP %s %s", first, second);
      break;
    case krbus::kVirtual:
      n = std::snprintf(text, kSize, "Virtual %s", first);
      break;
    case krbus::kDualUsb:
      n = std::snprintf(text, kSize, "Dual USB %04X:%04X+%04X:%04X", Word(m_identity, 0),
                        Word(m_identity, 1), Word(m_identity, 2), Word(m_identity, 3));
      break;
    default:
      n = std::snprintf(text, kSize, "???");
      break;
  }
  return n < 0 ? 0 : static_cast<uint32_t>(std::strlen(text));
}

void CDeviceDescription::FillDeviceName(KrDrvDeviceInformation* record) {
  if (record == nullptr) return;
  char* out = record->DeviceName;
  constexpr size_t kSize = sizeof record->DeviceName;
  const uint8_t* id = record->Identity;
  char first[kFirstTextSize], second[kSecondTextSize];
  FirstText(id, first);
  SecondText(id, second);
  bool formatted = true;
  switch (record->Type) {
    case krbus::kUsb:
      std::snprintf(out, kSize, "usb:0x%04X:0x%04X", Word(id, 0), Word(id, 1));
      break;
    case krbus::kScsi:
    case krbus::kFirewire:
      std::snprintf(out, kSize, "scsi:%s:%s", first, second);
      break;
    case krbus::kDualUsb:
      std::snprintf(out, kSize, "dualusb:0x%04X:0x%04X:0x%04X:0x%04X", Word(id, 0), Word(id, 1),
                    Word(id, 2), Word(id, 3));
      break;
    case krbus::kTcpIp: {
      uint32_t a = IpAddress(id);
      std::snprintf(out, kSize, "tcpip:%d.%d.%d.%d:%d:%.*s:%.*s", a & 0xFF, (a >> 8) & 0xFF,
                    (a >> 16) & 0xFF, (a >> 24) & 0xFF, IpPort(id),
                    static_cast<int>(sizeof record->VendorName), record->VendorName,
                    static_cast<int>(sizeof record->ModelName), record->ModelName);
      break;
    }
    case krbus::kVirtual:
      std::snprintf(out, kSize, "virtual::%s:%s", first, second);
      break;
    default:
      std::snprintf(out, kSize, "???");
      formatted = false;
      break;
  }
  if (formatted && record->SerialNumber[0] != 0) {
    size_t used = std::strlen(out);
    std::snprintf(out + used, kSize - used, ":%.*s", static_cast<int>(sizeof record->SerialNumber),
                  record->SerialNumber);
  }
}

const CDeviceDescription DeviceConfigurationArray[] = {
    CDeviceDescription(krbus::kUsb, "CQM310_DPI200with300X200", &CreateSupportedModel,
                       vantrel::kSupportedVendorId, vantrel::kSupportedProductId),
    CDeviceDescription(),
};

bool MatchDefaultDeviceArray(const KrDrvDeviceInformation* record) {
  for (const CDeviceDescription* d = DeviceConfigurationArray; d->GetType() != krbus::kNone; ++d) {
    if (d->CheckMatch(record)) return true;
  }
  return false;
}
