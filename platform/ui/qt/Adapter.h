#pragma once
// The Qt 6 Widgets adapter's own declarations (this folder is the only one that includes Qt).
//
// One peer per control and per window: a peer owns the Qt widget that shows its layer object,
// copies the object's state into the widget whenever the object says an aspect changed (with the
// widget's signals blocked), and turns only the user's signals into the object's user...()
// calls. The layer's code is reached through its inline getters and virtual members only (the
// library is linked with --no-undefined and without the layer, which enforces it).
#include <QFont>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/Alert.h"
#include "platform/ui/Application.h"
#include "platform/ui/Controls.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/TabView.h"
#include "platform/ui/TableView.h"
#include "platform/ui/Toolkit.h"
#include "platform/ui/Window.h"

class QApplication;
class QEventLoop;
class QGridLayout;
class QLabel;
class QToolBar;
class QVBoxLayout;

namespace ui::qt {

class WindowPeerImpl;

// What the peers need of the toolkit.
class PeerHost {
 public:
  virtual ~PeerHost() = default;
  // The peer of a window, or null when it has none.
  virtual WindowPeerImpl* peerOf(Window& window) = 0;
  // The peer of a window, made when it has none (an alert, a window run modally).
  virtual WindowPeerImpl& ensurePeer(Window& window) = 0;
  // The layer window of `peer` is going: the host drops the peer (it is deleted here).
  virtual void windowGone(WindowPeerImpl& peer) = 0;
};

// The layer's modifiers from Qt's.
Modifiers modifiersOf(Qt::KeyboardModifiers modifiers);
// A layer font as Qt's: the dialog's sizes are in points of its original platform, drawn as
// pixels.
QFont qfont(const Font& font, bool underlined = false);
QString qs(const std::string& text);

class ControlPeer : public Peer {
 public:
  ControlPeer(Control& control, WindowPeerImpl& window) : control_(&control), window_(window) {}
  ~ControlPeer() override;

  Control* control() const { return control_; }
  QWidget* widget() const { return widget_; }
  // Where children go (a container's inner widget), or null.
  virtual QWidget* container() const { return nullptr; }
  // Puts a child's widget where its cell or frame says.
  virtual void placeChild(ControlPeer& child);
  // The state the widget shows, all of it.
  void refresh();

  void changed(Aspect aspect) override;
  void released() override;
  // Forgets the layer object without telling it (the window peer detaches).
  void forget();

 protected:
  void setWidget(QWidget* widget);
  // Kind-specific aspects.
  virtual void update(Aspect aspect) = 0;
  // The aspects a full refresh applies.
  virtual std::vector<Aspect> aspects() const = 0;
  // Runs a user call; a state change it causes is applied once the call is over.
  void userCall(const std::function<void()>& call);
  // Widget changes that must not happen inside a widget's own signal (menus, tables).
  void deferOrRun(Aspect aspect);

  Control* control_;
  WindowPeerImpl& window_;
  QPointer<QWidget> widget_;
  bool inUserCall_ = false;
  std::vector<Aspect> deferred_;
};

std::unique_ptr<ControlPeer> makeControlPeer(Control& control, WindowPeerImpl& window);

// Watches a window's widgets for the modifier keys held and the keys the window gets.
class ModifierWatch : public QObject {
 public:
  explicit ModifierWatch(WindowPeerImpl& window) : window_(window) {}
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  WindowPeerImpl& window_;
};

// Watches a drawer's window: the open drawer follows it when it moves or changes size.
class DrawerFollower : public QObject {
 public:
  explicit DrawerFollower(WindowPeerImpl& drawer) : drawer_(drawer) {}
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  WindowPeerImpl& drawer_;
};

class WindowPeerImpl : public WindowPeer {
 public:
  WindowPeerImpl(Window& window, PeerHost& host);
  ~WindowPeerImpl() override;

  Window* window() const { return window_; }
  QWidget* widget() const { return widget_; }
  ControlPeer* peerOf(const Control* control) const;
  // Drops every peer and the widgets; the layer objects forget their peers.
  void detach();
  // An alert's icon and style, beside its texts.
  void setAlertIcon(const std::filesystem::path& icon, AlertStyle style);
  // The window is shown for a modal session (true) or not any more.
  void setModal(bool modal);
  // While the adapter moves the focus itself, focus events are not the user's.
  bool movingFocus() const { return movingFocus_; }
  // Brings the layer's modifier state in line with an event's.
  void syncModifiers(Qt::KeyboardModifiers modifiers);
  ModifierWatch& modifierWatch() { return watch_; }
  // A control went: its peer and widget go too.
  void dropPeer(ControlPeer& peer);
  // The layer showed or hid part of the window: once the events at hand are done, a window at
  // its content's least size follows that size (down as well as up).
  void fitLater();

  void changed(WindowAspect aspect) override;
  void controlAdded(Control& control) override;
  void released() override;

 private:
  void build();
  void addPeer(Control& control);
  void showContent();
  void applyVisibility();
  void placeDrawer(QWidget& parent);
  void placeOverItsWindow();
  friend class DrawerFollower;
  void applyFocus();
  void rebuildToolbar();

  Window* window_;
  PeerHost& host_;
  ModifierWatch watch_{*this};
  DrawerFollower follower_{*this};
  bool placingDrawer_ = false;
  QPointer<QWidget> widget_;
  QVBoxLayout* layout_ = nullptr;
  QToolBar* toolbar_ = nullptr;
  QLabel* icon_ = nullptr;
  std::vector<std::unique_ptr<ControlPeer>> peers_;
  std::map<const Control*, ControlPeer*> byControl_;
  QWidget* shownContent_ = nullptr;
  bool modal_ = false;
  bool movingFocus_ = false;
  bool inToolbarCall_ = false;
};

// The layout check of a shown window (LayoutCheck.cpp); `widgetOf` gives a control's widget.
std::vector<LayoutFault> checkLayout(const Window& window, QWidget& top,
                                     const std::function<QWidget*(const Control&)>& widgetOf);

// The development seam (DevScript.cpp): the UI thread plays the script file this variable
// names. `find` gives the widget of a control by its outlet in any window shown, or null.
constexpr const char* kDevScriptVariable = "VT_UI_QT_SCRIPT";
using WidgetFinder = std::function<QWidget*(const std::string& outlet)>;
void startDevScript(QObject* parent, WidgetFinder find);

}  // namespace ui::qt
