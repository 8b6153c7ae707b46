#pragma once
// The rules of the dialog's tables that hold no control: the information table's row texts and
// colours (the mode/side rows are the image page's, the settings table's edits the page
// book's).
#include <array>
#include <string>

namespace ferrolite::dialog {

inline constexpr int kRowHeight = 24;  // points, every row of every table

// Rows whose parity differs from the row count's are drawn light blue, so the last row is
// always blue and the colours alternate upwards; the others white.
bool infoRowIsBlue(int row, int rowCount);
struct RowColour {
  double red, green, blue, alpha;
};
RowColour infoRowColour(int row, int rowCount);

// A row's name and value, with "text%d" and "Info%d" standing in for an empty entry.
std::string infoTableName(int row, const std::string& entry);
std::string infoTableInfo(int row, const std::string& entry);

}  // namespace ferrolite::dialog
