#pragma once
// The device's command set: one operation per command, each a 12-byte block sent through the
// transport's DoIo; the sense evaluation; the image read; the device check and re-open.
#include <vantrel/wire_bytes.h>

#include <cstdint>
#include <mutex>

#include "drv/device/DeviceDescription.h"
#include "drv/device/KRObj.h"

using IoCommandBlock = uint8_t[12];

namespace krcmd {
constexpr uint8_t kInquiry = 0xE2;
constexpr uint8_t kRequestSense = 0xE3;
constexpr uint8_t kSetWindow = 0xE4;
constexpr uint8_t kReserveUnit = 0xE6;
constexpr uint8_t kReleaseUnit = 0xE7;
constexpr uint8_t kMediaCheck = 0xE8;
constexpr uint8_t kRead = 0xA8;
constexpr uint8_t kSend = 0xAA;
constexpr uint8_t kReset = 0xFF;
constexpr uint32_t kSenseLength = 44;
}  // namespace krcmd

// Pass-through transfer kinds the maintenance entries pass (KRUSBBypass by its pipe type; the
// three-phase command passes the client's kinds as they are). What each moves is the device's.
enum KRUSBIOTYPE : uint32_t {
  KRUSBIO_CONTROL = 2,      // pipe type 0
  KRUSBIO_PIPE_DIRECT = 3,  // pipe type 1 with Direct non-zero
  KRUSBIO_PIPE = 4,         // pipe type 1 with Direct 0
  KRUSBIO_PIPE_TIMED = 5,   // pipe type 2, with the client's time-out
};

// Status a sense key and an additional sense code map to.
int32_t SenseKeyStatus(uint8_t senseKey);
// The code's status, or keyStatus for the codes that keep it (0x0000, 0x0006).
int32_t SenseCodeStatus(uint16_t code, int32_t keyStatus);

class IoObject : public KRObj {
 public:
  IoObject();
  virtual ~IoObject();
  IoObject(const IoObject&) = delete;
  IoObject& operator=(const IoObject&) = delete;

  virtual bool InitializeDevice(const KrDrvDeviceInformation* info);
  virtual bool TerminateDevice();
  virtual bool CheckDevice();
  virtual bool RequestSense(uint8_t argument);
  virtual bool ProcessSense();
  virtual bool MediaCheck(uint8_t* buffer, uint32_t length, uint8_t direction);
  virtual bool Inquiry(uint8_t* buffer, uint32_t length);
  virtual bool Inquiry(uint8_t* buffer, uint32_t length, uint8_t page);
  virtual bool ReserveUnit(uint8_t argument);
  virtual bool ReleaseUnit(uint8_t argument);
  virtual bool SetWindow(const uint8_t* window, uint32_t length);
  virtual bool Read(uint8_t* buffer, uint32_t length, uint16_t dataType);
  virtual bool ReadImage(void* context, uint8_t* front, uint8_t* rear, uint32_t length,
                         uint16_t dataType, uint32_t* outLength);
  virtual bool Send(const uint8_t* data, uint32_t length, uint16_t dataType);
  virtual bool ResetScanner();
  virtual bool DoIo(uint8_t* block, void* data, uint32_t readLength, uint32_t writeLength) = 0;
  virtual bool DoIoPass(KRUSBIOTYPE kind, void* data, uint32_t length, uint32_t* outLength,
                        uint32_t timeout);
  virtual void FilterBeforeIo(uint8_t* block, void* data, uint32_t readLength,
                              uint32_t writeLength);
  virtual void FilterAfterIo(uint8_t* block, void* data, uint32_t readLength, uint32_t writeLength,
                             bool* handled);
  virtual bool GetButtonStatus(uint8_t* buffer) = 0;
  virtual bool PrepareReadImage();
  virtual bool FinishReadImage();
  virtual bool IoLockStart();
  virtual bool IoLockEnd();
  // Ends a transfer another thread waits in (a device that stopped answering); safe from any
  // thread. Transfers that start later run normally.
  virtual void AbortTransfers() {}

  bool GetCtrlID(uint16_t* id) const;
  void SetTimeout(uint32_t in, uint32_t out);
  static void CheckAndFixString(char* text, uint32_t length);
  static void GetLockName(const char* input, char* output);
  const char* GetPortName() const { return m_portName; }
  const char* GetPortAddress() const { return m_portAddress; }
  const KrDrvDeviceInformation& GetDeviceInformation() const { return m_deviceInfo; }

  uint32_t GetSenseInformation() const { return m_senseInfo; }
  uint32_t GetImageWidth() const { return m_imageWidth; }
  uint32_t GetImageHeight() const { return m_imageHeight; }
  uint32_t GetImageSize() const { return m_imageSize; }
  uint32_t GetImageBytesPerLine() const { return m_bytesPerLine; }
  uint32_t GetImageScanMode() const { return m_scanMode; }
  uint16_t GetImageJpegDRI() const { return m_jpegDri; }
  const uint8_t* GetSenseData() const { return m_senseData; }
  // Whether the last sense data carries a response code the driver can evaluate.
  bool SenseDataValid() const;
  bool MultiFeedContinue() const { return m_multiFeedContinue; }

  // The library-wide INQUIRY block; KRInitializeDriver writes the controller id into bytes 1-2.
  // Users copy it before they set the length byte.
  static uint8_t bInquiryCommand[12];

 protected:
  // Serialises whole exchanges on one device (command, data, status and any sense request),
  // also against the device check and re-open. Recursive: a check condition sends REQUEST
  // SENSE from inside the exchange that saw it.
  using ExchangeLock = std::lock_guard<std::recursive_mutex>;
  std::recursive_mutex m_exchange;

  uint32_t m_timeoutIn = 0;
  uint32_t m_timeoutOut = 0;
  KrDrvDeviceInformation m_deviceInfo;
  bool m_multiFeedContinue = false;
  // The window reports skew as a message (byte 62 & 0xE0 = 0xA0): a side that met one still
  // brought its block, and the other side of the pair is read too.
  bool m_skewContinue = false;
  bool m_storedMultiFeed = false;
  bool m_windowSet = false;
  uint8_t m_senseData[krcmd::kSenseLength] = {};
  uint32_t m_senseInfo = 0;
  uint32_t m_imageWidth = 0;
  uint32_t m_imageHeight = 0;
  uint32_t m_imageSize = 0;
  uint32_t m_bytesPerLine = 0;
  uint32_t m_scanMode = 0;
  uint16_t m_jpegDri = 0;
  char m_portName[16];
  char m_portAddress[16];
  uint16_t m_ctrlId = 0;

  uint8_t m_cmdRequestSense[12];
  uint8_t m_cmdMediaCheck[12];
  uint8_t m_cmdInquiry[12];
  uint8_t m_cmdReserveUnit[12];
  uint8_t m_cmdReleaseUnit[12];
  uint8_t m_cmdSetWindow[12];
  uint8_t m_cmdRead[12];
  uint8_t m_cmdSend[12];
  uint8_t m_cmdReset[12];

 private:
  struct SideResult;
  void ReadSide(uint8_t* buffer, uint32_t length, uint16_t dataType, const char* side,
                SideResult* result);
};

// Big-endian helpers for wire records: this layer's names for the shared ones.
inline uint16_t GetBE16(const uint8_t* p) { return wire::Get16(p); }
inline uint32_t GetBE32(const uint8_t* p) { return wire::Get32(p); }
inline void PutBE16(uint8_t* p, uint16_t v) { wire::Put16(p, v); }
inline void PutBE32(uint8_t* p, uint32_t v) { wire::Put32(p, v); }
