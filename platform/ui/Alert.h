#pragma once
// Alerts: a message, an informative text, an icon, buttons (the first is the default one, taken
// by Return; each answers 1000 + its index) and an optional accessory text field, whose handlers
// may enable or disable the default button. runModal shows the alert through the application's
// alert presenter (a Qt dialog, or the scripted answers of a test) and answers the response.
//
//   ui::Alert alert(application);
//   alert.setInformativeText(strings.localized("AddProfile", "AddProfile?"));
//   alert.addButton("OK");
//   alert.addButton("Cancel");
//   ui::TextField& name = alert.setAccessoryTextField({300, 24}, "Untitled");
//   if (alert.runModal() == ui::kAlertFirstButtonReturn) use(name.text());
//   int response = alert.runSheetModal(dialogWindow);           // or as a sheet on a window
#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/Controls.h"
#include "platform/ui/Window.h"

namespace ui {

enum class AlertStyle : int { warning = 0, informational = 1, critical = 2 };

class Alert {
 public:
  explicit Alert(Application& application);
  ~Alert();
  Alert(const Alert&) = delete;
  Alert& operator=(const Alert&) = delete;

  AlertStyle style() const { return style_; }
  void setStyle(AlertStyle style) { style_ = style; }
  const std::string& messageText() const;
  void setMessageText(std::string text);
  const std::string& informativeText() const;
  void setInformativeText(std::string text);
  const std::filesystem::path& icon() const { return icon_; }
  void setIcon(std::filesystem::path icon) { icon_ = std::move(icon); }

  Button& addButton(std::string title);
  std::size_t numberOfButtons() const { return buttons_.size(); }
  Button& button(std::size_t index) const { return *buttons_.at(index); }
  TextField& setAccessoryTextField(Size size, std::string text);
  TextField* accessoryTextField() const { return accessory_; }

  // The alert's window: labels "alertMessage" and "alertInformative", the field
  // "alertAccessory", buttons "alertButton0", "alertButton1", ...
  Window& window() const { return *window_; }

  int runModal();
  // The same as a sheet on `parent` (window-modal over it); application-modal when `parent`
  // carries another sheet already.
  int runSheetModal(Window& parent);

 private:
  std::unique_ptr<Window> window_;
  AlertStyle style_ = AlertStyle::warning;
  std::filesystem::path icon_;
  Label* message_;
  Label* informative_;
  View* buttonRow_;
  TextField* accessory_ = nullptr;
  std::vector<Button*> buttons_;
};

}  // namespace ui
