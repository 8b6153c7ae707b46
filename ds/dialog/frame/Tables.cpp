#include "ds/dialog/frame/Tables.h"

namespace ferrolite::dialog {

bool infoRowIsBlue(int row, int rowCount) { return (row % 2) != (rowCount % 2); }

RowColour infoRowColour(int row, int rowCount) {
  if (infoRowIsBlue(row, rowCount)) return {182.0 / 255.0, 214.0 / 255.0, 1.0, 1.0};
  return {1.0, 1.0, 1.0, 1.0};
}

std::string infoTableName(int row, const std::string& entry) {
  return entry.empty() ? "text" + std::to_string(row) : entry;
}

std::string infoTableInfo(int row, const std::string& entry) {
  return entry.empty() ? "Info" + std::to_string(row) : entry;
}

}  // namespace ferrolite::dialog
