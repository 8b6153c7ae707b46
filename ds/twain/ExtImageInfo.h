#pragma once
// What DAT_EXTIMAGEINFO reports of the image just transferred (TezFRLDS::pageCodes).
//
// In the Linux record every entry's Item is pointer-sized: the barcode count and any entry that
// holds one number carry it in Item itself; several numbers, and the texts, travel in a block of
// the manager's allocator whose address is in Item, and the host frees it with the manager's
// free.
#include <cstddef>
#include <cstdint>

namespace ferrolite {

// At most this many barcodes a page, each text at most 255 characters.
inline constexpr size_t kMaxPageBarcodes = 64;
inline constexpr size_t kMaxBarcodeText = 255;

// The TWAIN barcode type of a row of the supported-barcode table; 0 (unknown) outside it.
uint32_t barcodeTypeCode(uint8_t typeIndex);

}  // namespace ferrolite
