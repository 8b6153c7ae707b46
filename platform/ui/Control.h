#pragma once
// The widget layer's controls: what the dialog's code calls on a window's buttons, fields, menus
// and views, without a toolkit. A control keeps its state (enabled, hidden, frame, title, value,
// ...), runs its action when the user changes it, and tells its peer (the toolkit's widget, when
// a toolkit shows the window) what changed, so the peer can show the new state.
//
// Rules every control follows:
// - A programmatic change (a setter) sends no action.
// - A user change comes in through a member named user...(): the simulated user of the tests
//   (User.h) and the Qt adapter both call these, so they fire the same callbacks in the same
//   order: the control's state changes, a bound property is set, then the action runs. A user
//   change is refused (false) when the control cannot take input: disabled, hidden, on a tab page
//   not shown, in a window that is not shown or is blocked by a sheet or a modal session, or
//   while the short run-loop pass runs.
// - Everything runs on the UI thread.
//
// The adapter lives in a library of its own: it reads a control's state through the inline
// getters and comes in through the virtual user...() members only, so that one copy of the
// layer's code runs in the process.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/Geometry.h"

namespace ui {

class Application;
class TabViewItem;
class Window;

enum class ControlKind : std::uint8_t {
  view,
  label,
  pushButton,
  toggleButton,
  checkBox,
  radioButton,
  matrix,
  popUpButton,
  pullDownButton,
  slider,
  stepper,
  textField,
  colorWell,
  box,
  progressIndicator,
  tabView,
  tableView,
  imageView,
  scrollView,
};
const char* kindName(ControlKind kind);

// What changed, as told to a peer.
enum class Aspect : std::uint8_t {
  enabled,
  hidden,
  frame,      // frame or grid cell
  title,      // button, box or tab titles; matrix cell titles
  text,       // a text control's text or its editing selection
  textStyle,  // colour, font, alignment, underline, rotation
  state,      // button state, matrix selection and cell states
  value,      // slider, stepper and progress values
  range,      // minimum, maximum, increment
  menu,       // a pop-up's items, their titles, ticks, enabling
  selection,  // selected item, tab, row
  color,      // colour well, button background
  picture,    // a view drew again
  rows,       // a table's rows, cells or columns
  tabs,       // a tab view's items
  editing,    // a text field's editing began or ended
  rulers,     // a scroll view's rulers, their units or offsets
  tracking,   // a view's tracking areas
  children,   // a control was added to this container
};

class Peer {
 public:
  virtual ~Peer() = default;
  virtual void changed(Aspect aspect) = 0;
  // The control is going away; the peer must not use it any more.
  virtual void released() = 0;
};

// The state of a button, a matrix cell or a menu item's tick.
enum class ButtonState : int { mixed = -1, off = 0, on = 1 };

struct GridCell {
  int row = 0;
  int column = 0;
  int rowSpan = 1;
  int columnSpan = 1;
  bool operator==(const GridCell&) const = default;
};

// How the children of a container are placed: by grid cell, or by their frames.
enum class ContainerLayout : std::uint8_t { grid, free };

class Control {
 public:
  using Action = std::function<void(Control& sender)>;

  Control(ControlKind kind, std::string outlet);
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  ControlKind kind() const { return kind_; }
  const std::string& outlet() const { return outlet_; }
  Window* window() const { return window_; }
  Application& application() const;
  Control* parent() const { return parent_; }
  const std::vector<Control*>& children() const { return children_; }

  bool isEnabled() const { return enabled_; }
  void setEnabled(bool enabled);
  bool isHidden() const { return hidden_; }
  void setHidden(bool hidden);
  bool isHiddenOrHasHiddenAncestor() const {
    for (const Control* c = this; c; c = c->parent_) {
      if (c->hidden_) return true;
    }
    return false;
  }

  const Rect& frame() const { return frame_; }
  void setFrame(const Rect& frame);
  void setFrameOrigin(Point origin);
  void setFrameSize(Size size);
  const GridCell& gridCell() const { return cell_; }
  void setGridCell(GridCell cell);
  // How this control places its children, when it is a container.
  ContainerLayout containerLayout() const { return layout_; }
  void setContainerLayout(ContainerLayout layout) { layout_ = layout; }

  std::int64_t tag() const { return tag_; }
  void setTag(std::int64_t tag) { tag_ = tag; }

  // The target/action pair: run with this control as sender when the user changes it.
  void setAction(Action action) { action_ = std::move(action); }
  bool hasAction() const { return static_cast<bool>(action_); }

  // The key view Tab leads to from here, for fields whose editing ends the usual way.
  Control* nextKeyView() const { return nextKeyView_; }
  void setNextKeyView(Control* next) { nextKeyView_ = next; }

  // The tab item whose page this control is (only the view of a tab item has one).
  TabViewItem* tabViewItem() const { return tabItem_; }

  // Whether the user can reach the control now (see the rules above).
  bool acceptsUserInput() const;

  Peer* peer() const { return peer_; }
  void setPeer(Peer* peer) { peer_ = peer; }

 protected:
  void changed(Aspect aspect) const {
    if (peer_) peer_->changed(aspect);
  }
  // Runs the action, if any, with this control as sender.
  void sendAction();

 private:
  friend class Window;
  friend class TabView;

  const ControlKind kind_;
  const std::string outlet_;
  Window* window_ = nullptr;
  Control* parent_ = nullptr;
  std::vector<Control*> children_;
  TabViewItem* tabItem_ = nullptr;
  bool enabled_ = true;
  bool hidden_ = false;
  Rect frame_;
  GridCell cell_;
  ContainerLayout layout_ = ContainerLayout::grid;
  std::int64_t tag_ = 0;
  Action action_;
  Control* nextKeyView_ = nullptr;
  Peer* peer_ = nullptr;
};

// A plain container: a page, a custom area, a window's content.
class View : public Control {
 public:
  explicit View(std::string outlet) : Control(ControlKind::view, std::move(outlet)) {}
};

}  // namespace ui
