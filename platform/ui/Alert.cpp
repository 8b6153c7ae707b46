#include "platform/ui/Alert.h"

#include "platform/ui/Application.h"

namespace ui {
namespace {

// The alert's grid: message, informative text, accessory, then the buttons' row.
constexpr int kMessageRow = 0;
constexpr int kInformativeRow = 1;
constexpr int kAccessoryRow = 2;
constexpr int kButtonRow = 3;
constexpr int kMostButtons = 8;

}  // namespace

Alert::Alert(Application& application)
    : window_(std::make_unique<Window>(application, WindowKind::alert, "alert", Size{420, 160})) {
  message_ = &window_->make<Label>(nullptr, "alertMessage");
  message_->setGridCell({kMessageRow, 0, 1, 1});
  message_->setFont({"Sans", 13, true});
  informative_ = &window_->make<Label>(nullptr, "alertInformative");
  informative_->setGridCell({kInformativeRow, 0, 1, 1});
  informative_->setFont({"Sans", 11, false});
  buttonRow_ = &window_->make<View>(nullptr, "alertButtons");
  buttonRow_->setGridCell({kButtonRow, 0, 1, 1});
}

Alert::~Alert() = default;

const std::string& Alert::messageText() const { return message_->text(); }

void Alert::setMessageText(std::string text) { message_->setText(std::move(text)); }

const std::string& Alert::informativeText() const { return informative_->text(); }

void Alert::setInformativeText(std::string text) { informative_->setText(std::move(text)); }

Button& Alert::addButton(std::string title) {
  const int index = static_cast<int>(buttons_.size());
  Button& button = window_->make<Button>(buttonRow_, ControlKind::pushButton,
                                         "alertButton" + std::to_string(index));
  button.setTitle(std::move(title));
  // The first button stands rightmost, the others to its left.
  button.setGridCell({0, kMostButtons - index, 1, 1});
  button.setAction([this, index](Control&) {
    window_->application().stopModal(kAlertFirstButtonReturn + index);
  });
  if (buttons_.empty()) window_->setDefaultButton(&button);
  buttons_.push_back(&button);
  return button;
}

TextField& Alert::setAccessoryTextField(Size size, std::string text) {
  if (!accessory_) {
    accessory_ = &window_->make<TextField>(nullptr, "alertAccessory");
    accessory_->setGridCell({kAccessoryRow, 0, 1, 1});
  }
  accessory_->setFrameSize(size);
  accessory_->setText(std::move(text));
  return *accessory_;
}

int Alert::runModal() {
  if (buttons_.empty()) addButton("OK");
  // The name field of an alert is where the user types first.
  if (accessory_) window_->makeFirstResponder(accessory_);
  int response = window_->application().services().alerts->runModal(*this);
  window_->orderOut();
  return response;
}

int Alert::runSheetModal(Window& parent) {
  if (parent.attachedSheet() != nullptr) return runModal();
  parent.beginSheet(*window_);
  const int response = runModal();
  parent.endSheet(*window_, response);
  return response;
}

}  // namespace ui
