#include "platform/ui/User.h"

#include "platform/ui/Application.h"

namespace ui {
namespace {

// The byte length of the UTF-8 character that starts with `lead`.
std::size_t characterLength(unsigned char lead) {
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

// The start of the UTF-8 character that ends at `end`.
std::size_t previousCharacter(const std::string& text, std::size_t end) {
  std::size_t start = end;
  while (start > 0) {
    --start;
    if ((static_cast<unsigned char>(text[start]) & 0xC0) != 0x80) break;
  }
  return start;
}

}  // namespace

bool User::chooseTitled(PopUpButton& popUp, const std::vector<std::string>& titles) {
  std::vector<int> path;
  Menu* menu = &popUp.menu();
  for (const std::string& title : titles) {
    if (!menu) return false;
    int index = menu->indexOfItemWithTitle(title);
    if (index < 0) return false;
    path.push_back(index);
    menu = menu->item(static_cast<std::size_t>(index)).submenu();
  }
  return popUp.userChoose(path);
}

bool User::selectTab(TabView& tabView, std::string_view identifier) {
  int index = tabView.indexOfItemWithIdentifier(identifier);
  return index >= 0 && tabView.userSelectTab(static_cast<std::size_t>(index));
}

bool User::clickCell(TableView& table, int row, std::string_view column) {
  int index = table.columnIndex(column);
  return index >= 0 && table.userClickCell(row, static_cast<std::size_t>(index));
}

bool User::type(TextField& field, std::string_view text) {
  if (!field.isEditing() && !field.userBeginEditing()) return false;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length = characterLength(static_cast<unsigned char>(text[i]));
    std::string edited = field.text();
    TextRange selection = field.selection();
    edited.replace(selection.location, selection.length, text.substr(i, length));
    if (!field.userEdit(std::move(edited), {selection.location + length, 0})) return false;
    i += length;
  }
  return true;
}

bool User::deleteBackward(TextField& field) {
  if (!field.isEditing() && !field.userBeginEditing()) return false;
  std::string edited = field.text();
  TextRange selection = field.selection();
  if (selection.length == 0) {
    if (selection.location == 0) return true;  // nothing before the caret: no change
    std::size_t start = previousCharacter(edited, selection.location);
    selection = {start, selection.location - start};
  }
  edited.erase(selection.location, selection.length);
  return field.userEdit(std::move(edited), {selection.location, 0});
}

bool User::paste(TextField& field, std::string_view text) {
  if (!field.isEditing() && !field.userBeginEditing()) return false;
  field.application().services().pasteboard->setString(std::string(text));
  return field.userKeyEquivalent({U'v', SpecialKey::none, kCtrl});
}

bool User::pressKey(TextField& field, SpecialKey key) {
  switch (key) {
    case SpecialKey::tab:
      return field.userEndEditing(TextMovement::tab);
    case SpecialKey::backtab:
      return field.userEndEditing(TextMovement::backtab);
    case SpecialKey::returnKey:
      return field.userEndEditing(TextMovement::returnKey);
    case SpecialKey::deleteBackward:
      return deleteBackward(field);
    default:
      return false;
  }
}

}  // namespace ui
