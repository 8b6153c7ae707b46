#pragma once
// The data source's table of standard paper sizes, 21 rows of {page id, width, length} in
// 1/300 inch. Rows 0 (automatic) and 18 (maximum) stand for the device's maximum; the dialog
// writes that maximum into them when it builds its paper list.
#include <cstddef>
#include <cstdint>

namespace ferrolite {

struct PaperTblRow {
  uint32_t pageId;
  uint32_t width;
  uint32_t length;
};

inline constexpr std::size_t kPaperTblRows = 21;

struct PaperTbl {
  PaperTblRow rows[kPaperTblRows];
};

static_assert(sizeof(PaperTblRow) == 12);
static_assert(sizeof(PaperTbl) == 252, "PaperTbl is 21 rows of 12 bytes");
static_assert(offsetof(PaperTblRow, width) == 4);
static_assert(offsetof(PaperTblRow, length) == 8);

// The table as the data source builds it, in this order.
inline constexpr PaperTbl kStandardPaperTbl = {{
    {0, 0, 0},        {20, 0, 0},       {1, 2550, 4200},  {2, 2550, 3300},  {3, 1800, 1200},
    {4, 1500, 900},   {5, 3508, 4961},  {6, 2480, 3508},  {7, 1748, 2480},  {8, 1240, 1748},
    {9, 874, 1240},   {10, 2953, 4169}, {11, 2079, 2953}, {12, 1476, 2079}, {13, 1039, 1476},
    {14, 3035, 4299}, {15, 2150, 3035}, {16, 1512, 2150}, {17, 1075, 1512}, {18, 65535, 65535},
    {19, 0, 11400},
}};

}  // namespace ferrolite
