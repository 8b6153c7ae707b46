// The per-model tables. The supported model appears where its behaviour should show: its long
// pages are checked; it keeps the built-in wear lives and is neither power-limited nor the
// product-line model. The other rows are ids of models this data source does not drive yet.
#include "ds/twain/ModelTable.h"

#include <algorithm>

namespace ferrolite {

namespace {

const ModelTable kBuiltIn = {
    // Power-limited models.
    {0xF11E0401, 0xF11E0402, 0xF11E0403, 0xF11E0404, 0xF11E0405, 0xF11E0406, 0xF11E0407, 0xF11E0408,
     0xF11E0409, 0xF11E040A, 0xF11E040B, 0xF11E040C, 0xF11E040D, 0xF11E040E, 0xF11E040F, 0xF11E0410,
     0xF11E0411, 0xF11E0412},
    // Wear lives: pad, roller.
    {{0xF11E0325, 100000, 300000},
     {0xF11E0320, 50000, 200000},
     {0xF11E0321, 50000, 200000},
     {0xF11E0322, 100000, 300000},
     {0xF11E0323, 100000, 300000},
     {0xF11E0324, 200000, 500000}},
    // Feeder minimum overrides.
    {{0xF11E0330, 900, 1050},
     {0xF11E0331, 450, 450},
     {0xF11E0332, 450, 450},
     {0xF11E0333, 450, 450},
     {0xF11E0334, 825, 600}},
    0xF11E0340,
    {kSupportedVidPid, 0xF11E0341},
};

const ModelTable* gReplaced = nullptr;

}  // namespace

bool ModelTable::isSdUsb(uint32_t vidpid) const {
  return std::find(sdUsbList.begin(), sdUsbList.end(), vidpid) != sdUsbList.end();
}

const ModelLife* ModelTable::life(uint32_t vidpid) const {
  for (const ModelLife& row : maxLifeList) {
    if (row.id == vidpid) return &row;
  }
  return nullptr;
}

const FeederMinimum* ModelTable::feederMinimum(uint32_t vidpid) const {
  for (const FeederMinimum& row : feederMinimums) {
    if (row.id == vidpid) return &row;
  }
  return nullptr;
}

bool ModelTable::checksLongPage(uint32_t vidpid) const {
  return std::find(longPageCheckModels.begin(), longPageCheckModels.end(), vidpid) !=
         longPageCheckModels.end();
}

const ModelTable& modelTable() { return gReplaced ? *gReplaced : kBuiltIn; }

void replaceModelTable(const ModelTable* table) { gReplaced = table; }

}  // namespace ferrolite
