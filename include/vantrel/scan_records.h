#pragma once
// The records of a scan job that pass between the driver and its clients: the status list that
// comes with every data callback, the page description of KRRequestImageInfo and the callback
// itself. Packed, host byte order, version 200.
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define VT_SCAN_ASSERT(c, m) static_assert(c, m)
#else
#define VT_SCAN_ASSERT(c, m) _Static_assert(c, m)
#endif
#define VT_SCAN_OFFSET(type, field, offset) \
  VT_SCAN_ASSERT(offsetof(type, field) == (offset), #type "." #field " must be at " #offset)

// Codes in the order status, message, end of file (-2038), end of page (-2022); the first 0
// ends the list.
typedef struct __attribute__((packed)) STATUSLIST {
  uint16_t Version;  // 200
  uint16_t Size;     // 88
  uint8_t Reserved[4];
  int64_t Status[6];
  uint8_t Reserved2[32];
} STATUSLIST;

// The last page as the driver delivered it.
typedef struct __attribute__((packed)) ImageInformation {
  uint16_t Version;  // 200
  uint16_t Size;     // 64
  uint32_t Width;    // pixels
  uint32_t Height;   // lines
  uint32_t ImageSize;
  uint32_t BytesPerLine;
  uint32_t ScanMode;  // 0 lineart, 1 halftone, 2 grey, 4 colour, 5 error diffusion, 6 IR, 7 UV
  uint16_t JPEGDRI;
  uint8_t Reserved[38];
} ImageInformation;

// The client's data callback, called on the driver's reader thread with the controller id and
// the device-handle pointer given to KRStartScan. Result 0 goes on, 1 ends the page's delivery,
// 2 cancels the job. An error arrives with no data and -1 as size, lines and pixels.
typedef long (*AP_CALLBACK)(uint32_t ctrlId, uint32_t* phDevice, uint8_t* pData,
                            uint32_t dwReceivedSize, long lReceivedLines, long lReceivedPixels,
                            STATUSLIST* pStatusList);

#define STATUSLIST_VERSION 200
#define STATUSLIST_CODES 6
#define IMAGEINFORMATION_VERSION 200

VT_SCAN_ASSERT(sizeof(STATUSLIST) == 88, "STATUSLIST is 88 bytes");
VT_SCAN_OFFSET(STATUSLIST, Version, 0);
VT_SCAN_OFFSET(STATUSLIST, Size, 2);
VT_SCAN_OFFSET(STATUSLIST, Reserved, 4);
VT_SCAN_OFFSET(STATUSLIST, Status, 8);
VT_SCAN_OFFSET(STATUSLIST, Reserved2, 56);

VT_SCAN_ASSERT(sizeof(ImageInformation) == 64, "ImageInformation is 64 bytes");
VT_SCAN_OFFSET(ImageInformation, Version, 0);
VT_SCAN_OFFSET(ImageInformation, Size, 2);
VT_SCAN_OFFSET(ImageInformation, Width, 4);
VT_SCAN_OFFSET(ImageInformation, Height, 8);
VT_SCAN_OFFSET(ImageInformation, ImageSize, 12);
VT_SCAN_OFFSET(ImageInformation, BytesPerLine, 16);
VT_SCAN_OFFSET(ImageInformation, ScanMode, 20);
VT_SCAN_OFFSET(ImageInformation, JPEGDRI, 24);
VT_SCAN_OFFSET(ImageInformation, Reserved, 26);

#undef VT_SCAN_OFFSET
#undef VT_SCAN_ASSERT
