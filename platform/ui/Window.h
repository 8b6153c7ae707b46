#pragma once
// Windows: the dialog's window, its drawer, sheets, panels and alerts. A window owns its controls
// (found by outlet name), keeps the first responder (making another control first responder ends
// the editing of a field, which may refuse), a default button (the one Return clicks), sheets
// attached to it (while one is, the window takes no input), a tool bar, and the handlers of
// modifier keys and key presses.
//
// Closing a window, by the program or by its close box, tells the delegate's willClose first;
// the close box asks shouldClose before.
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/Control.h"

namespace ui {

class Application;
class ArrayController;
class Button;
class TabView;
class TabViewItem;
class TextField;
class Window;

enum class WindowKind : std::uint8_t { window, panel, sheet, drawer, alert };

enum class WindowAspect : std::uint8_t {
  title,
  visible,         // shown or hidden; for a drawer, opened or closed
  frame,           // size, or a request to centre
  firstResponder,  // the first responder (and with it the focus) changed
  sheet,           // a sheet was attached or detached
  toolbar,         // tool bar items or their selection
  contentView,     // another view became the content
  defaultButton,
};

class WindowPeer {
 public:
  virtual ~WindowPeer() = default;
  virtual void changed(WindowAspect aspect) = 0;
  // A control was made after the peer was (its parent's peer is told too).
  virtual void controlAdded(Control& control) = 0;
  virtual void released() = 0;
};

// The tool bar of a window (the diagnostic sheet has one). Items come from the delegate by
// identifier, as the platform's tool bar asks its delegate; a click selects the item and runs
// its action.
class ToolBar {
 public:
  struct ItemSpec {
    std::string label;
    std::function<void(ToolBar&, const std::string& identifier)> action;
    bool selectable = true;
  };
  struct Item {
    std::string identifier;
    std::string label;
    bool selectable = true;
    bool enabled = true;
  };
  using Delegate = std::function<std::optional<ItemSpec>(const std::string& identifier)>;

  explicit ToolBar(Window& window) : window_(&window) {}
  ToolBar(const ToolBar&) = delete;
  ToolBar& operator=(const ToolBar&) = delete;

  Window& window() const { return *window_; }
  void setDelegate(Delegate delegate) { delegate_ = std::move(delegate); }
  const std::vector<Item>& items() const { return items_; }
  // False when the delegate has no item of that identifier.
  bool insertItem(const std::string& identifier, std::size_t index);
  void removeItemAt(std::size_t index);
  const std::string& selectedItemIdentifier() const { return selected_; }
  void setSelectedItemIdentifier(std::string identifier);

  virtual bool userClickItem(const std::string& identifier);
  virtual ~ToolBar() = default;

 private:
  void changed() const;
  Window* window_;
  Delegate delegate_;
  std::vector<Item> items_;
  std::map<std::string, ItemSpec, std::less<>> specs_;
  std::string selected_;
};

class Window {
 public:
  struct Delegate {
    std::function<bool(Window&)> shouldClose;
    std::function<void(Window&)> willClose;
  };
  using FlagsHandler = std::function<void(Window&, Modifiers)>;
  using KeyHandler = std::function<void(Window&, const KeyEvent&)>;
  using SheetEnd = std::function<void(Window& sheet, int returnCode)>;

  Window(Application& application, WindowKind kind, std::string outlet, Size contentSize = {});
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  Application& application() const { return *application_; }
  WindowKind kind() const { return kind_; }
  const std::string& outlet() const { return outlet_; }
  const std::string& title() const { return title_; }
  void setTitle(std::string title);
  Size contentSize() const { return contentSize_; }
  void setContentSize(Size size);
  // Centres the window on the screen when it is shown.
  void center();
  bool isCentered() const { return centered_; }

  // A drawer is visible while it is open and its window is visible.
  bool isVisible() const {
    if (kind_ == WindowKind::drawer) return drawerOpen_ && parent_ && parent_->isVisible();
    return visible_;
  }
  bool isKeyWindow() const { return key_; }
  void makeKeyAndOrderFront();
  void orderFront();
  void orderOut();
  // Tells willClose, then orders the window out.
  void close();
  void setDelegate(Delegate delegate) { delegate_ = std::move(delegate); }

  View& contentView() const { return *content_; }
  // Another view (made by this window) becomes the content; the former one is kept.
  void setContentView(View& view);

  // Makes a control of this window, inside `parent` (null: the content view).
  template <class T, class... Args>
  T& make(Control* parent, Args&&... args) {
    auto owned = std::make_unique<T>(std::forward<Args>(args)...);
    T& control = *owned;
    adopt(std::move(owned), parent);
    return control;
  }
  // Takes a control made elsewhere (a window description's), inside `parent` (null: content).
  Control& add(std::unique_ptr<Control> control, Control* parent) {
    Control& added = *control;
    adopt(std::move(control), parent);
    return added;
  }
  // A view outside the content, to become content later (setContentView) or a document view.
  View& makeRootView(std::string outlet);
  // Every control in the order it was made.
  const std::vector<std::unique_ptr<Control>>& controls() const { return controls_; }
  Control* find(std::string_view outlet) const;
  template <class T>
  T* find(std::string_view outlet) const {
    return dynamic_cast<T*>(find(outlet));
  }
  // The control must exist and be of that class.
  template <class T>
  T& get(std::string_view outlet) const {
    T* control = find<T>(outlet);
    if (!control) missing(outlet);
    return *control;
  }

  TabViewItem& makeTabViewItem(std::string outlet, std::string identifier, TabView& tabView);
  TabViewItem* tabViewItem(std::string_view outlet) const;
  ArrayController& makeArrayController(std::string outlet);
  ArrayController* arrayController(std::string_view outlet) const;

  Control* firstResponder() const { return firstResponder_; }
  // Ends the editing of the field being edited (movement 0) first; false when it refused.
  bool makeFirstResponder(Control* control);
  TextField* editingField() const { return editing_; }
  // Tab's way: the next (or previous) key view that takes input becomes first responder.
  bool selectKeyViewFollowing(Control& control);
  bool selectKeyViewPreceding(Control& control);

  Button* defaultButton() const { return defaultButton_; }
  void setDefaultButton(Button* button);

  // Shows `sheet` attached to this window; it takes the window's input until endSheet.
  void beginSheet(Window& sheet, SheetEnd didEnd = {});
  // Detaches the sheet and runs its end handler; the sheet stays visible until ordered out.
  void endSheet(Window& sheet, int returnCode = -1000);
  Window* attachedSheet() const { return sheet_; }
  Window* sheetParent() const { return sheetParent_; }

  // Drawers (kind drawer): opened at a side of their window.
  void setParentWindow(Window* parent) { parent_ = parent; }
  Window* parentWindow() const { return parent_; }
  bool isDrawerOpen() const { return drawerOpen_; }
  void openDrawer();
  void closeDrawer();
  void toggleDrawer();

  ToolBar* toolbar() const { return toolbar_.get(); }
  ToolBar& makeToolbar();

  void setKeyHandlers(FlagsHandler flagsChanged, KeyHandler keyDown);
  // The user's side: the modifier keys now held, a key pressed, the close box.
  virtual bool userFlagsChanged(Modifiers modifiers);
  virtual bool userKeyDown(const KeyEvent& key);
  virtual bool userClose();

  // Draws the views that asked for it.
  void displayIfNeeded();

  WindowPeer* peer() const { return peer_; }
  void setPeer(WindowPeer* peer) { peer_ = peer; }
  void changed(WindowAspect aspect) const {
    if (peer_) peer_->changed(aspect);
  }

 private:
  friend class TextField;
  void adopt(std::unique_ptr<Control> control, Control* parent);
  [[noreturn]] static void missing(std::string_view outlet);

  Application* application_;
  const WindowKind kind_;
  const std::string outlet_;
  std::string title_;
  Size contentSize_;
  bool centered_ = false;
  bool visible_ = false;
  bool key_ = false;
  Delegate delegate_;
  View* content_ = nullptr;
  std::vector<std::unique_ptr<Control>> controls_;
  std::map<std::string, Control*, std::less<>> byOutlet_;
  std::vector<std::unique_ptr<TabViewItem>> tabItems_;
  std::map<std::string, TabViewItem*, std::less<>> tabItemsByOutlet_;
  std::vector<std::unique_ptr<ArrayController>> controllers_;
  Control* firstResponder_ = nullptr;
  TextField* editing_ = nullptr;
  Button* defaultButton_ = nullptr;
  Window* sheet_ = nullptr;
  Window* sheetParent_ = nullptr;
  SheetEnd sheetEnd_;
  Window* parent_ = nullptr;
  bool drawerOpen_ = false;
  std::unique_ptr<ToolBar> toolbar_;
  FlagsHandler flagsChanged_;
  KeyHandler keyDown_;
  WindowPeer* peer_ = nullptr;
};

}  // namespace ui
