#pragma once
// The image-processing plug-in "Lumetra.so" as its callers see it: the entries they look up with
// dlsym, their types, and the statuses they act on. Callers include this header for the types
// only; they never link the plug-in.
//
// Rasters: rows top to bottom, InImage.BytesPerLine apart; 1 bit a pixel (most significant bit
// first, a set bit white), 8-bit grey, or 24-bit colour in R, G, B order (InImage.BitsPerPixel
// 1, 8 or 24). Results are Msg (returned) and Status (written through the last argument when
// given): 0 and 0 on success, else a pair of the image library's table (kLumetraMsg*).
//
// Producing entries (DeskewCrop, AutoOrientation, Merge2Side, GetMultipleImage) hand back a new
// block in *ppDes with OutImage.ImageWidth and OutImage.ImageHeight set; its rows are packed,
// (bits x width + 7) / 8 bytes each, and the block holds exactly height rows. The caller gives it
// back with FreeMemory. In-place entries write their result into *ppDes (the caller's buffer,
// else pSrc), never more bytes than the input occupied, with packed rows as well.
#include <vantrel/nidata.h>

#include <cstdint>

extern "C" {
// Start and end; calls nest. InitializeLib answers a negative value when it cannot start.
using LumetraInitializeLibFn = long (*)();
using LumetraTerminateLibFn = long (*)();
// Debug level and folder of the JPEG part's log.
using LumetraSetDebugModeFn = long (*)(uint32_t level, const char* path);
// The scanner's USB id text ("%04X%04X"); kept for the log, the result does not matter.
using LumetraIdentifyProductSettingFn = long (*)(const char* usbId, long reserved, long* pStatus);
using LumetraFreeMemoryFn = long (*)(void* block);
// Every processing entry: input, address of the output pointer, record, extra argument, status.
using LumetraProcessFn = long (*)(void* pSrc, void** ppDes, NIDATA* pNi, void* pExtra,
                                  long* pStatus);
// The driver library's strip-wise crop, honouring OutImage.AutoCrop (bit 0: cut the page to its
// content) where the driver's own copy only converts.
using LumetraJpegCropFn = long (*)(void* pSrc, void** ppDes, NIDATA* pNi, uint64_t* pulDesJFIFSize,
                                   long* pStatus, uint64_t ulSrcJFIFSize, long* plDesStripHeight);
// Version word of the library: major << 16 | minor << 8 | patch.
using LibraryCurrentVersionFn = uint32_t (*)();
}

// Names the callers look up.
inline constexpr const char* kLumetraLibraryName = "Lumetra.so";

// Result words.
inline constexpr long kLumetraMsgFail = -4000;
inline constexpr long kLumetraMsgNoMemory = -4001;
inline constexpr long kLumetraMsgNotSupported = -4002;
inline constexpr long kLumetraMsgBadValue = -4003;
inline constexpr long kLumetraMsgBadBuffer = -4007;

// Statuses of the detections.
inline constexpr long kLumetraStatusNoColour = -1001;   // AutoColorDetection: no colour
inline constexpr long kLumetraStatusBlankPage = -1003;  // BlankPageDetection: blank
// PatchCode: a patch sheet answers kLumetraStatusPatch1 - index, the index in the order
// 1, 2, 3, 4, 6, T of kLumetraPatchPatterns (so every patch sheet is at or below -1025).
inline constexpr long kLumetraStatusPatch1 = -1025;
// JpegCrop: more output strips follow.
inline constexpr long kLumetraStatusMoreStrips = -1036;

// Patch sheets: four bars across the page, each 'W' wide (0.20 inch) or 'N' narrow (0.08 inch),
// separated by gaps of 0.08 inch.
inline constexpr const char* kLumetraPatchPatterns[] = {"WNNW", "WNWN", "WWNN",
                                                        "NWNW", "NNWW", "WNNN"};

// OutImage.AutoCrop bits read by DeskewCrop and Merge2Side.
inline constexpr uint8_t kLumetraCropOn = 0x01;       // cut the page to the document
inline constexpr uint8_t kLumetraCropFeeder = 0x10;   // one document against the feeder
inline constexpr uint8_t kLumetraCropFlatbed = 0x20;  // one document on the flatbed
// The rear of a duplex sheet takes its front's cut, mirrored, where its own edges do not show.
inline constexpr uint8_t kLumetraCropSameForRear = 0x40;
inline constexpr uint8_t kLumetraCropMultiple = 0x80;  // every document on the flatbed
// OutImage.Rotate: 1 straightens the document, 2 also turns it upright by quarter turns.
// OutImage.Merge2Side: bit 0 merges; bit 6 (0x40) puts the rear below the front, else beside it.
inline constexpr uint8_t kLumetraMergeVertical = 0x40;

// Test hook: with this environment variable set to 0, 90, 180 or 270, AutoOrientation (and the
// orientation step of DeskewCrop) turns every page clockwise by that angle instead of detecting.
inline constexpr const char* kLumetraForceOrientationEnv = "LUMETRA_TEST_ORIENTATION";
