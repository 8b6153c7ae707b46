#pragma once
// Device descriptions: which found devices the driver supports, which model class each gets,
// and the target id by which a client names a device.
#include <cstdint>

#include "drv/device/CScanner.h"

namespace krbus {
constexpr uint32_t kNone = 0;
constexpr uint32_t kUsb = 1;
constexpr uint32_t kScsi = 2;
constexpr uint32_t kFirewire = 3;
constexpr uint32_t kDualUsb = 257;
constexpr uint32_t kTcpIp = 513;
constexpr uint32_t kVirtual = 3841;
}  // namespace krbus

// What a transport found for one device. The identity block is laid out by bus type (see the
// accessors); multi-byte values in it are in host order.
struct KrDrvDeviceInformation {
  char DeviceName[256];
  char VendorName[64];
  char ModelName[64];
  char SerialNumber[128];
  uint8_t Reserved[128];
  uint8_t Identity[128];
  uint32_t Type;
  uint8_t TransportData[128];
};

// Identity-block fields, shared by the record and the description.
namespace kridentity {
uint16_t Word(const uint8_t* block, int index);
void SetWord(uint8_t* block, int index, uint16_t value);
uint32_t IpAddress(const uint8_t* block);
void SetIpAddress(uint8_t* block, uint32_t address, uint16_t port);
uint16_t IpPort(const uint8_t* block);
// First text: at most 7 characters in bytes 0-7; second text from byte 8. The getters copy
// into a terminated buffer, whatever the block holds.
constexpr int kFirstTextSize = 8;
constexpr int kSecondTextSize = 120;
void FirstText(const uint8_t* block, char (&out)[kFirstTextSize]);
void SecondText(const uint8_t* block, char (&out)[kSecondTextSize]);
void SetTexts(uint8_t* block, const char* first, const char* second);
}  // namespace kridentity

class CDeviceDescription {
 public:
  CDeviceDescription();
  CDeviceDescription(uint32_t type, const char* name, CScannerFactory factory, uint16_t vendor,
                     uint16_t product);
  CDeviceDescription(uint32_t type, const char* name, CScannerFactory factory, uint16_t vendor,
                     uint16_t product, uint16_t vendor2, uint16_t product2);
  CDeviceDescription(uint32_t type, const char* name, CScannerFactory factory,
                     const char* vendorText, const char* modelText);
  explicit CDeviceDescription(const char* targetId);

  uint32_t GetType() const { return m_type; }
  const char* GetName() const { return m_name; }
  const char* GetMatchText() const { return m_match; }
  const uint8_t* GetDesciptrion() const { return m_identity; }
  bool CheckMatch(const KrDrvDeviceInformation* record) const;
  bool CheckMatch(const CDeviceDescription* other) const;
  CScanner* Create() const { return m_factory != nullptr ? m_factory() : nullptr; }
  uint32_t GetDescriptionString(char* text) const;

  static void FillDeviceName(KrDrvDeviceInformation* record);

 private:
  void Clear();
  void SetName(const char* name);

  char m_name[64];
  uint8_t m_identity[128];
  char m_match[128];
  uint32_t m_type;
  CScannerFactory m_factory;
};

// The supported devices, ended by an entry of type 0.
extern const CDeviceDescription DeviceConfigurationArray[];
bool MatchDefaultDeviceArray(const KrDrvDeviceInformation* record);
