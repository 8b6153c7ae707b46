// The peers: one Qt widget per layer control and window.
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QStandardItemModel>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "platform/ui/Layout.h"
#include "platform/ui/qt/Adapter.h"

namespace ui::qt {

QString qs(const std::string& text) { return QString::fromStdString(text); }

QFont qfont(const Font& f, bool underlined) {
  QFont font(qs(f.family));
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(f.size))));
  font.setBold(f.bold);
  font.setUnderline(underlined);
  return font;
}

namespace {

// A check box and the toggle button of its choice: the room between them, and the extra room
// that sets a pair apart from the pair left of it.
constexpr int kChoiceSpacing = 2;
constexpr int kChoiceGap = 12;
// A slider's track when its row leaves it the choice.
constexpr int kSliderLength = 160;

QColor qcolor(const Color& c) { return QColor::fromRgbF(c.red, c.green, c.blue, c.alpha); }

Qt::Alignment qalignment(TextAlignment a) {
  switch (a) {
    case TextAlignment::center:
      return Qt::AlignHCenter | Qt::AlignVCenter;
    case TextAlignment::right:
      return Qt::AlignRight | Qt::AlignVCenter;
    case TextAlignment::justified:
      return Qt::AlignJustify | Qt::AlignVCenter;
    default:
      return Qt::AlignLeft | Qt::AlignVCenter;
  }
}

// UTF-8 byte offsets of the layer to UTF-16 positions of Qt, and back.
int qtPosition(const std::string& text, std::size_t bytes) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(std::min(bytes, text.size())))
      .size();
}

std::size_t bytePosition(const QString& text, int position) {
  return static_cast<std::size_t>(text.left(position).toUtf8().size());
}

// A label that can turn its text about its centre (the imprinter's sample upside down).
class TurnedLabel : public QLabel {
 public:
  using QLabel::QLabel;
  void setRotation(double degrees) {
    rotation_ = degrees;
    update();
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    if (rotation_ == 0) {
      QLabel::paintEvent(event);
      return;
    }
    QPainter painter(this);
    painter.translate(width() / 2.0, height() / 2.0);
    painter.rotate(rotation_);
    painter.translate(-width() / 2.0, -height() / 2.0);
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(rect(), static_cast<int>(alignment()), text());
  }

 private:
  double rotation_ = 0;
};

// --- text fields ---------------------------------------------------------------------------

// A line edit whose keys go to the layer field: each edit is one change, Tab, Back-tab and
// Return end the editing (Qt's own focus chain is off), Ctrl keys are the field's key
// equivalents, and focus given or taken by the user begins or ends the editing.
class FieldEdit : public QLineEdit {
 public:
  FieldEdit(TextField& field, WindowPeerImpl& window) : field_(&field), window_(window) {}
  void forget() { field_ = nullptr; }
  // A field of a number that a stepper sets: as wide as the longest number it takes, not as its
  // column.
  void sizeForNumbers() {
    constexpr int kDigits = 6;  // "35400", "355.6" and a sign
    numberWidth_ = fontMetrics().horizontalAdvance(QString(kDigits, QChar('0'))) + 2 * kFrame;
    setSizePolicy(QSizePolicy::Fixed, sizePolicy().verticalPolicy());
    updateGeometry();
  }
  QSize sizeHint() const override {
    QSize hint = QLineEdit::sizeHint();
    if (numberWidth_ > 0) hint.setWidth(std::max(numberWidth_, minimumWidth()));
    return hint;
  }

 protected:
  bool focusNextPrevChild(bool) override { return false; }

  bool event(QEvent* e) override {
    // Ctrl keys are the field's, not shortcuts of the window.
    if (e->type() == QEvent::ShortcutOverride) {
      auto* k = static_cast<QKeyEvent*>(e);
      if (k->modifiers() & Qt::ControlModifier) {
        e->accept();
        return true;
      }
    }
    return QLineEdit::event(e);
  }

  void keyPressEvent(QKeyEvent* e) override {
    if (!field_) return;
    window_.syncModifiers(e->modifiers());
    switch (e->key()) {
      case Qt::Key_Backtab:
        field_->userEndEditing(TextMovement::backtab);
        return;
      case Qt::Key_Tab:
        field_->userEndEditing((e->modifiers() & Qt::ShiftModifier) ? TextMovement::backtab
                                                                    : TextMovement::tab);
        return;
      case Qt::Key_Return:
      case Qt::Key_Enter:
        field_->userEndEditing(TextMovement::returnKey);
        return;
      default:
        break;
    }
    if ((e->modifiers() & Qt::ControlModifier) && e->key() >= Qt::Key_A && e->key() <= Qt::Key_Z) {
      char32_t c = static_cast<char32_t>(U'a' + (e->key() - Qt::Key_A));
      field_->userKeyEquivalent({c, SpecialKey::none, modifiersOf(e->modifiers())});
      return;  // not Qt's own cut, copy or paste: the field decides
    }
    QLineEdit::keyPressEvent(e);
  }

  void focusInEvent(QFocusEvent* e) override {
    QLineEdit::focusInEvent(e);
    if (!field_ || window_.movingFocus() || field_->isEditing()) return;
    if (e->reason() == Qt::ActiveWindowFocusReason || e->reason() == Qt::PopupFocusReason) return;
    if (!field_->userBeginEditing()) clearFocus();
  }

  void focusOutEvent(QFocusEvent* e) override {
    QLineEdit::focusOutEvent(e);
    if (!field_ || window_.movingFocus() || !field_->isEditing()) return;
    // The window losing activation keeps the editing, as the platform's field editor does.
    if (e->reason() == Qt::ActiveWindowFocusReason || e->reason() == Qt::PopupFocusReason) return;
    field_->userEndEditing(TextMovement::other);
  }

 private:
  static constexpr int kFrame = 6;  // the frame and Qt's margin beside the text, each side
  TextField* field_;
  WindowPeerImpl& window_;
  int numberWidth_ = 0;
};

class TextPeer : public ControlPeer {
 public:
  TextPeer(TextControl& text, WindowPeerImpl& window) : ControlPeer(text, window) {
    auto* field = text.kind() == ControlKind::textField ? static_cast<TextField*>(&text) : nullptr;
    if (field && field->isEditable()) {
      edit_ = new FieldEdit(*field, window);
      QObject::connect(edit_, &QLineEdit::textEdited, edit_, [this](const QString& now) {
        if (!control_) return;
        auto* f = static_cast<TextField*>(control_);
        userCall([&] {
          f->userEdit(now.toStdString(), {bytePosition(now, edit_->cursorPosition()), 0});
        });
      });
      setWidget(edit_);
    } else {
      label_ = new TurnedLabel;
      setWidget(label_);
    }
  }
  ~TextPeer() override {
    if (edit_) edit_->forget();
  }

 protected:
  std::vector<Aspect> aspects() const override { return {Aspect::text, Aspect::textStyle}; }
  void update(Aspect aspect) override {
    auto& text = static_cast<TextControl&>(*control_);
    if (aspect == Aspect::text || aspect == Aspect::editing) {
      if (edit_) {
        auto& field = static_cast<TextField&>(text);
        QSignalBlocker block(edit_);
        QString now = qs(field.text());
        if (edit_->text() != now) edit_->setText(now);
        if (field.isEditing()) {
          const TextRange& s = field.selection();
          int start = qtPosition(field.text(), s.location);
          int end = qtPosition(field.text(), s.location + s.length);
          if (s.length) {
            edit_->setSelection(start, end - start);
          } else {
            edit_->setCursorPosition(start);
          }
        }
        edit_->setReadOnly(!field.isEditable());
      } else {
        label_->setText(qs(text.text()));
      }
    } else if (aspect == Aspect::textStyle) {
      QWidget* w = widget_;
      w->setFont(qfont(text.font(), text.isUnderlined()));
      QPalette palette = w->palette();
      palette.setColor(QPalette::WindowText, qcolor(text.textColor()));
      palette.setColor(QPalette::Text, qcolor(text.textColor()));
      w->setPalette(palette);
      if (edit_) {
        edit_->setAlignment(qalignment(text.alignment()));
      } else {
        label_->setAlignment(qalignment(text.alignment()));
        label_->setRotation(text.rotation());
      }
    }
  }

 private:
  FieldEdit* edit_ = nullptr;
  TurnedLabel* label_ = nullptr;
};

// --- buttons and the matrix ------------------------------------------------------------------

// A push button the layer widened from its cell by a factor: as many times as wide as its title
// needs, in any language; its height stays the style's, as its neighbours' do.
class PushButton : public QPushButton {
 public:
  void setWidening(double widening) {
    if (widening == widening_) return;
    widening_ = widening;
    updateGeometry();
  }
  // QPushButton's least size is its size hint: widened once, here.
  QSize sizeHint() const override { return widened(QPushButton::sizeHint()); }

 private:
  QSize widened(QSize size) const {
    size.setWidth(static_cast<int>(std::lround(size.width() * widening_)));
    return size;
  }
  double widening_ = 1;
};

class ButtonPeer : public ControlPeer {
 public:
  ButtonPeer(Button& button, WindowPeerImpl& window) : ControlPeer(button, window) {
    switch (button.kind()) {
      case ControlKind::checkBox:
        button_ = new QCheckBox;
        break;
      case ControlKind::radioButton: {
        auto* radio = new QRadioButton;
        radio->setAutoExclusive(false);  // the layer decides which is on
        button_ = radio;
        break;
      }
      default: {
        auto* push = new PushButton;
        push->setAutoDefault(false);
        push->setCheckable(button.kind() == ControlKind::toggleButton);
        // A push button keeps the size of its title, whatever width its column has.
        if (button.kind() == ControlKind::pushButton) {
          push->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        }
        button_ = push;
      }
    }
    button_->setFocusPolicy(Qt::NoFocus);  // a click leaves the field being edited as it is
    setWidget(button_);
    QObject::connect(button_, &QAbstractButton::pressed, button_, [this] {
      auto* b = static_cast<Button*>(control_);
      if (b && b->handlesMouseItself()) userCall([&] { b->userPress(); });
    });
    QObject::connect(button_, &QAbstractButton::released, button_, [this] {
      auto* b = static_cast<Button*>(control_);
      if (b && b->handlesMouseItself()) userCall([&] { b->userRelease(); });
    });
    QObject::connect(button_, &QAbstractButton::clicked, button_, [this] {
      window_.syncModifiers(QGuiApplication::keyboardModifiers());
      auto* b = static_cast<Button*>(control_);
      if (b && !b->handlesMouseItself()) userCall([&] { b->userClick(); });
      if (control_) update(Aspect::state);  // a refused click leaves the state as it was
    });
  }

 protected:
  std::vector<Aspect> aspects() const override {
    return {Aspect::title, Aspect::state, Aspect::color};
  }
  void update(Aspect aspect) override {
    auto& b = static_cast<Button&>(*control_);
    QSignalBlocker block(button_);
    if (aspect == Aspect::title) {
      button_->setText(qs(b.title()));
    } else if (aspect == Aspect::state) {
      if (auto* check = dynamic_cast<QCheckBox*>(button_.data())) {
        check->setTristate(b.allowsMixedState());
        check->setCheckState(b.state() == ButtonState::on      ? Qt::Checked
                             : b.state() == ButtonState::mixed ? Qt::PartiallyChecked
                                                               : Qt::Unchecked);
      } else if (button_->isCheckable()) {
        button_->setChecked(b.state() != ButtonState::off);
      }
    } else if (aspect == Aspect::color) {
      if (b.backgroundColor()) {
        button_->setStyleSheet(
            QStringLiteral("background-color: %1;").arg(qcolor(*b.backgroundColor()).name()));
      } else {
        button_->setStyleSheet({});
      }
    }
  }

 private:
  QPointer<QAbstractButton> button_;
};

class MatrixPeer : public ControlPeer {
 public:
  MatrixPeer(Matrix& matrix, WindowPeerImpl& window) : ControlPeer(matrix, window) {
    auto* box = new QWidget;
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    for (int r = 0; r < matrix.rows(); ++r) {
      for (int c = 0; c < matrix.columns(); ++c) {
        auto* cell = new QRadioButton;
        cell->setAutoExclusive(false);
        cell->setFocusPolicy(Qt::NoFocus);
        grid->addWidget(cell, r, c);
        QObject::connect(cell, &QRadioButton::clicked, cell, [this, r, c] {
          if (!control_) return;
          userCall([&] { static_cast<Matrix*>(control_)->userClickCell(r, c); });
          if (control_) update(Aspect::state);
        });
        cells_.push_back(cell);
      }
    }
    setWidget(box);
  }

 protected:
  std::vector<Aspect> aspects() const override {
    return {Aspect::title, Aspect::state, Aspect::enabled};
  }
  void update(Aspect aspect) override {
    auto& m = static_cast<Matrix&>(*control_);
    for (int r = 0; r < m.rows(); ++r) {
      for (int c = 0; c < m.columns(); ++c) {
        QRadioButton* cell = cells_[r * m.columns() + c];
        QSignalBlocker block(cell);
        const Matrix::Cell& layerCell = m.cell(r, c);
        if (aspect == Aspect::title) cell->setText(qs(layerCell.title));
        if (aspect == Aspect::state) cell->setChecked(layerCell.state == ButtonState::on);
        if (aspect == Aspect::enabled) cell->setEnabled(layerCell.enabled);
      }
    }
  }

 private:
  std::vector<QRadioButton*> cells_;
};

// --- pop-up and pull-down buttons ----------------------------------------------------------------

class PopUpPeer : public ControlPeer {
 public:
  PopUpPeer(PopUpButton& popUp, WindowPeerImpl& window) : ControlPeer(popUp, window) {
    combo_ = new QComboBox;
    combo_->setFocusPolicy(Qt::NoFocus);
    // As wide as its longest item, also for items the dialog puts in after it first showed.
    combo_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    setWidget(combo_);
    QObject::connect(combo_, &QComboBox::activated, combo_, [this](int index) {
      if (!control_) return;
      userCall([&] { static_cast<PopUpButton*>(control_)->userChoose({index}); });
      if (control_) update(Aspect::selection);
    });
  }

 protected:
  std::vector<Aspect> aspects() const override { return {Aspect::menu, Aspect::selection}; }
  void update(Aspect aspect) override {
    auto& p = static_cast<PopUpButton&>(*control_);
    QSignalBlocker block(combo_);
    if (aspect == Aspect::menu) {
      combo_->clear();
      const Menu& menu = p.menu();
      auto* model = qobject_cast<QStandardItemModel*>(combo_->model());
      for (std::size_t i = 0; i < menu.size(); ++i) {
        const MenuItem& item = menu.item(i);
        if (item.isSeparator()) {
          combo_->insertSeparator(static_cast<int>(i));
          continue;
        }
        combo_->addItem(qs(item.title()));
        if (model && !item.isEnabled()) {
          model->item(static_cast<int>(i))->setFlags(Qt::NoItemFlags);
        }
      }
    }
    combo_->setCurrentIndex(p.indexOfSelectedItem());
  }

 private:
  QPointer<QComboBox> combo_;
};

class PullDownPeer : public ControlPeer {
 public:
  PullDownPeer(PopUpButton& pullDown, WindowPeerImpl& window) : ControlPeer(pullDown, window) {
    button_ = new QToolButton;
    button_->setPopupMode(QToolButton::InstantPopup);
    button_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button_->setFocusPolicy(Qt::NoFocus);
    setWidget(button_);
  }

 protected:
  std::vector<Aspect> aspects() const override { return {Aspect::menu}; }
  void update(Aspect aspect) override {
    if (aspect != Aspect::menu && aspect != Aspect::selection) return;
    // The menu may be showing the action that led here: build a new one afterwards.
    if (scheduled_) return;
    scheduled_ = true;
    QMetaObject::invokeMethod(
        button_,
        [this] {
          scheduled_ = false;
          if (control_) rebuild();
        },
        Qt::QueuedConnection);
  }

 private:
  void addItems(QMenu& target, const Menu& menu, std::vector<int> path, std::size_t first) {
    for (std::size_t i = first; i < menu.size(); ++i) {
      const MenuItem& item = menu.item(i);
      std::vector<int> itemPath = path;
      itemPath.push_back(static_cast<int>(i));
      if (item.isSeparator()) {
        target.addSeparator();
      } else if (item.submenu()) {
        QMenu* sub = target.addMenu(qs(item.title()));
        sub->setEnabled(item.isEnabled());
        addItems(*sub, *item.submenu(), itemPath, 0);
      } else {
        QAction* action = target.addAction(qs(item.title()));
        action->setEnabled(item.isEnabled());
        action->setCheckable(true);
        action->setChecked(item.state() == ButtonState::on);
        QObject::connect(action, &QAction::triggered, button_, [this, itemPath] {
          if (control_)
            userCall([&] { static_cast<PopUpButton*>(control_)->userChoose(itemPath); });
          update(Aspect::menu);
        });
      }
    }
  }

  void rebuild() {
    auto& p = static_cast<PopUpButton&>(*control_);
    const Menu& menu = p.menu();
    button_->setText(menu.size() ? qs(menu.item(0).title()) : QString());
    auto* fresh = new QMenu(button_);
    addItems(*fresh, menu, {}, 1);  // the first item is the title
    QMenu* old = button_->menu();
    button_->setMenu(fresh);
    if (old) old->deleteLater();
  }

  QPointer<QToolButton> button_;
  bool scheduled_ = false;
};

// --- sliders, steppers, wells, boxes, progress ------------------------------------------------

// A slider that shows its value at its right, in room kept from the groove, as the desktop's
// sliders do: the user reads the number chosen.
class ValueSlider : public QSlider {
 public:
  // A slider takes the length a hand sets a value with, not all the room its row has: a row of
  // other controls beside it stays beside it.
  ValueSlider() : QSlider(Qt::Horizontal) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  }
  // The dialog shows the value in a field or label of its own beside the slider: the slider
  // shows none, so that the number is not there twice.
  void setShowsValue(bool shows) {
    if (shows == shows_) return;
    shows_ = shows;
    updateGeometry();
    update();
  }
  QSize sizeHint() const override {
    const QSize track = QSlider::sizeHint();
    return {std::max(track.width(), kSliderLength) + valueRoom(), track.height()};
  }
  QSize minimumSizeHint() const override {
    return QSlider::minimumSizeHint() + QSize(valueRoom(), 0);
  }

 protected:
  void initStyleOption(QStyleOptionSlider* option) const override {
    QSlider::initStyleOption(option);
    option->rect.setWidth(std::max(0, option->rect.width() - valueRoom()));
  }
  void paintEvent(QPaintEvent* event) override {
    QSlider::paintEvent(event);
    if (!shows_) return;
    QPainter painter(this);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(QRect(width() - valueRoom(), 0, valueRoom(), height()),
                     Qt::AlignRight | Qt::AlignVCenter, QString::number(value()));
  }

 private:
  // The widest value of the range (at least three digits and a sign, so that sliders above
  // each other keep one length), and a gap before it.
  int valueRoom() const {
    if (!shows_) return 0;
    constexpr int kGap = 8;
    const QFontMetrics metrics = fontMetrics();
    return kGap + std::max({metrics.horizontalAdvance(QStringLiteral("-000")),
                            metrics.horizontalAdvance(QString::number(minimum())),
                            metrics.horizontalAdvance(QString::number(maximum()))});
  }
  bool shows_ = true;
};

class SliderPeer : public ControlPeer {
 public:
  SliderPeer(Slider& slider, WindowPeerImpl& window) : ControlPeer(slider, window) {
    slider_ = new ValueSlider;
    slider_->setFocusPolicy(Qt::NoFocus);
    setWidget(slider_);
    QObject::connect(slider_, &QSlider::valueChanged, slider_, [this](int value) {
      if (control_) userCall([&] { static_cast<Slider*>(control_)->userSlide(value); });
      if (control_) update(Aspect::value);
    });
  }

 protected:
  std::vector<Aspect> aspects() const override { return {Aspect::range, Aspect::value}; }
  void update(Aspect) override {
    auto& s = static_cast<Slider&>(*control_);
    QSignalBlocker block(slider_);
    slider_->setRange(static_cast<int>(std::lround(s.minValue())),
                      static_cast<int>(std::lround(s.maxValue())));
    slider_->setValue(static_cast<int>(std::lround(s.doubleValue())));
  }

 private:
  QPointer<QSlider> slider_;
};

// Qt has no stepper: two arrow buttons over the layer's value.
class StepperPeer : public ControlPeer {
 public:
  StepperPeer(Stepper& stepper, WindowPeerImpl& window) : ControlPeer(stepper, window) {
    auto* box = new QWidget;
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    for (StepDirection direction : {StepDirection::up, StepDirection::down}) {
      auto* arrow = new QToolButton;
      arrow->setObjectName(direction == StepDirection::up ? "up" : "down");
      arrow->setArrowType(direction == StepDirection::up ? Qt::UpArrow : Qt::DownArrow);
      arrow->setAutoRepeat(true);
      arrow->setFocusPolicy(Qt::NoFocus);
      arrow->setFixedSize(16, 11);
      column->addWidget(arrow);
      QObject::connect(arrow, &QToolButton::clicked, arrow, [this, direction] {
        if (control_) userCall([&] { static_cast<Stepper*>(control_)->userStep(direction); });
      });
    }
    // The two arrows stay together, whatever room the grid gives.
    box->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setWidget(box);
  }

 protected:
  std::vector<Aspect> aspects() const override { return {}; }
  void update(Aspect) override {}
};

class ColorWellPeer : public ControlPeer {
 public:
  ColorWellPeer(ColorWell& well, WindowPeerImpl& window) : ControlPeer(well, window) {
    auto* frame = new QFrame;
    frame->setFrameShape(QFrame::Box);
    frame->setAutoFillBackground(true);
    setWidget(frame);
  }

 protected:
  std::vector<Aspect> aspects() const override { return {Aspect::color}; }
  void update(Aspect) override {
    QPalette palette = widget_->palette();
    palette.setColor(QPalette::Window, qcolor(static_cast<ColorWell&>(*control_).color()));
    widget_->setPalette(palette);
  }
};

class ProgressPeer : public ControlPeer {
 public:
  ProgressPeer(ProgressIndicator& progress, WindowPeerImpl& window)
      : ControlPeer(progress, window) {
    bar_ = new QProgressBar;
    bar_->setTextVisible(false);
    setWidget(bar_);
  }

 protected:
  std::vector<Aspect> aspects() const override { return {Aspect::value}; }
  void update(Aspect) override {
    auto& p = static_cast<ProgressIndicator&>(*control_);
    if (p.isIndeterminate()) {
      bar_->setRange(0, 0);  // Qt's busy bar
    } else {
      bar_->setRange(static_cast<int>(p.minValue()), static_cast<int>(p.maxValue()));
      bar_->setValue(static_cast<int>(std::lround(p.doubleValue())));
    }
  }

 private:
  QPointer<QProgressBar> bar_;
};

// A container: a grid of its children by cell, or their frames in a free container.
class ContainerPeer : public ControlPeer {
 public:
  ContainerPeer(Control& control, WindowPeerImpl& window) : ControlPeer(control, window) {
    if (control.kind() == ControlKind::box) {
      auto* group = new QGroupBox;
      inner_ = group;
      setWidget(group);
    } else {
      inner_ = new QWidget;
      setWidget(inner_);
    }
    if (control.containerLayout() == ContainerLayout::grid) {
      grid_ = new QGridLayout(inner_);
      grid_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    }
  }
  QWidget* container() const override { return inner_; }

  void placeChild(ControlPeer& child) override {
    QWidget* w = child.widget();
    const Control& c = *child.control();
    if (grid_) {
      const GridCell& cell = c.gridCell();
      if (c.kind() == ControlKind::stepper && joinField(w, cell)) return;
      if (c.kind() == ControlKind::toggleButton && joinCheckBox(w, cell)) return;
      grid_->addWidget(w, cell.row, cell.column, cell.rowSpan, cell.columnSpan);
      valuesShownOnce(cell.row);
    } else {
      w->setParent(inner_);
      placeFree(child);
    }
  }

  // A free child's frame, from the lower-left convention to Qt's top-left.
  void placeFree(ControlPeer& child) {
    const Rect& f = child.control()->frame();
    const double height = control_->frame().size.height;
    child.widget()->setGeometry(static_cast<int>(f.origin.x),
                                static_cast<int>(height - f.origin.y - f.size.height),
                                static_cast<int>(f.size.width), static_cast<int>(f.size.height));
  }
  bool isFree() const { return grid_ == nullptr; }
  // A slider whose row has a text field, or a label named for a value, right of it leaves the
  // value to that control.
  void valuesShownOnce(int row) {
    auto named = [](const QWidget* w) {
      const QString name = w->objectName();
      return name.startsWith(QStringLiteral("mTextField")) ||
             (qobject_cast<const QLabel*>(w) && name.contains(QStringLiteral("Value")));
    };
    // A field joined with its stepper stands in their pair.
    auto showsValue = [&named](const QWidget* w) {
      if (named(w)) return true;
      const auto inner = w->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
      return std::any_of(inner.begin(), inner.end(), named);
    };
    for (int column = 0; column < grid_->columnCount(); ++column) {
      QLayoutItem* item = grid_->itemAtPosition(row, column);
      auto* slider = item ? dynamic_cast<ValueSlider*>(item->widget()) : nullptr;
      if (!slider) continue;
      bool beside = false;
      for (int right = column + 1; right < grid_->columnCount(); ++right) {
        QLayoutItem* other = grid_->itemAtPosition(row, right);
        if (other && other->widget() && other->widget() != slider) {
          beside = beside || showsValue(other->widget());
        }
      }
      slider->setShowsValue(!beside);
    }
  }
  // A stepper in the cell right of a text field joins the field: the two stand together as one
  // spin box in both cells, the field as wide as its number, whatever the column's width.
  bool joinField(QWidget* stepper, const GridCell& cell) {
    if (cell.column == 0 || cell.rowSpan != 1 || cell.columnSpan != 1) return false;
    QLayoutItem* left = grid_->itemAtPosition(cell.row, cell.column - 1);
    auto* field = left ? dynamic_cast<FieldEdit*>(left->widget()) : nullptr;
    if (!field) return false;
    int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
    grid_->getItemPosition(grid_->indexOf(field), &row, &column, &rowSpan, &columnSpan);
    if (rowSpan != 1 || columnSpan != 1 || column != cell.column - 1) return false;
    grid_->removeWidget(field);
    auto* pair = new QWidget(inner_);
    auto* line = new QHBoxLayout(pair);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(2);
    field->sizeForNumbers();
    line->addWidget(field);
    line->addWidget(stepper);
    line->addStretch(1);
    grid_->addWidget(pair, row, column, 1, 2);
    return true;
  }
  // A check box without a title in the cell left of a toggle button joins the button: the box
  // says whether its choice is made, the button shows that choice's settings, and the two read
  // as one choice, close together and apart from the pair beside them.
  bool joinCheckBox(QWidget* button, const GridCell& cell) {
    if (cell.column == 0 || cell.rowSpan != 1 || cell.columnSpan != 1) return false;
    QLayoutItem* left = grid_->itemAtPosition(cell.row, cell.column - 1);
    auto* check = left ? qobject_cast<QCheckBox*>(left->widget()) : nullptr;
    if (!check) return false;
    const auto untitled = std::find_if(
        control_->children().begin(), control_->children().end(), [&](const Control* c) {
          const ControlPeer* peer = window_.peerOf(c);
          return peer && peer->widget() == check && c->kind() == ControlKind::checkBox &&
                 c->gridCell() == GridCell{cell.row, cell.column - 1} &&
                 static_cast<const Button*>(c)->title().empty();
        });
    if (untitled == control_->children().end()) return false;
    grid_->removeWidget(check);
    auto* pair = new QWidget(inner_);
    auto* line = new QHBoxLayout(pair);
    line->setContentsMargins(cell.column > 1 ? kChoiceGap : 0, 0, 0, 0);
    line->setSpacing(kChoiceSpacing);
    check->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    line->addWidget(check);
    line->addWidget(button, 1);
    grid_->addWidget(pair, cell.row, cell.column - 1, 1, 2);
    return true;
  }
  // A child's grid cell changed after it was placed.
  void moveToCell(ControlPeer& child) {
    QWidget* w = child.widget();
    if (!grid_ || !w) return;
    const int at = grid_->indexOf(w);
    if (at < 0) return;
    int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
    grid_->getItemPosition(at, &row, &column, &rowSpan, &columnSpan);
    const GridCell& cell = child.control()->gridCell();
    if (GridCell{row, column, rowSpan, columnSpan} == cell) return;
    grid_->removeWidget(w);
    grid_->addWidget(w, cell.row, cell.column, cell.rowSpan, cell.columnSpan);
  }

 protected:
  std::vector<Aspect> aspects() const override { return {Aspect::title}; }
  void update(Aspect aspect) override {
    if (aspect == Aspect::title && control_->kind() == ControlKind::box) {
      static_cast<QGroupBox*>(inner_.data())->setTitle(qs(static_cast<Box&>(*control_).title()));
    }
  }

 private:
  QPointer<QWidget> inner_;
  QGridLayout* grid_ = nullptr;
};

class TabViewPeer : public ControlPeer {
 public:
  TabViewPeer(TabView& tabView, WindowPeerImpl& window) : ControlPeer(tabView, window) {
    tabs_ = new QTabWidget;
    tabs_->setFocusPolicy(Qt::NoFocus);
    setWidget(tabs_);
    QObject::connect(tabs_, &QTabWidget::currentChanged, tabs_, [this](int index) {
      if (!control_ || index < 0) return;
      userCall(
          [&] { static_cast<TabView*>(control_)->userSelectTab(static_cast<std::size_t>(index)); });
      if (control_) update(Aspect::selection);  // a refused tab goes back
    });
  }

  void placeChild(ControlPeer& child) override {
    pages_[child.control()] = child.widget();
    update(Aspect::tabs);
  }

 protected:
  std::vector<Aspect> aspects() const override { return {Aspect::tabs, Aspect::selection}; }
  void update(Aspect aspect) override {
    auto& t = static_cast<TabView&>(*control_);
    QSignalBlocker block(tabs_);
    if (aspect == Aspect::tabs) {
      while (tabs_->count()) tabs_->removeTab(0);
      for (TabViewItem* item : t.items()) {
        auto page = pages_.find(&item->view());
        if (page != pages_.end() && page->second) tabs_->addTab(page->second, qs(item->label()));
      }
      window_.fitLater();
    }
    int selected = -1;
    for (std::size_t i = 0; i < t.items().size(); ++i) {
      if (t.items()[i] == t.selectedItem()) selected = static_cast<int>(i);
    }
    if (selected >= 0) tabs_->setCurrentIndex(selected);
  }

 private:
  QPointer<QTabWidget> tabs_;
  std::map<const Control*, QPointer<QWidget>> pages_;
};

class TablePeer : public ControlPeer {
 public:
  TablePeer(TableView& table, WindowPeerImpl& window) : ControlPeer(table, window) {
    table_ = new QTableWidget;
    table_->setFocusPolicy(Qt::NoFocus);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    setWidget(table_);
    QObject::connect(table_, &QTableWidget::itemChanged, table_, [this](QTableWidgetItem* item) {
      if (!control_ || !(item->flags() & Qt::ItemIsUserCheckable)) return;
      const int row = item->row(), column = item->column();
      userCall([&] {
        static_cast<TableView*>(control_)->userClickCell(row, static_cast<std::size_t>(column));
      });
      if (control_) update(Aspect::rows);  // a refused click puts the box back
    });
    QObject::connect(table_, &QTableWidget::currentCellChanged, table_, [this](int row) {
      if (!control_ || row < 0) return;
      userCall([&] { static_cast<TableView*>(control_)->userSelectRow(row); });
      if (control_) update(Aspect::selection);
    });
  }

 protected:
  std::vector<Aspect> aspects() const override { return {Aspect::rows, Aspect::selection}; }
  void update(Aspect aspect) override {
    auto& t = static_cast<TableView&>(*control_);
    QSignalBlocker block(table_);
    if (aspect == Aspect::rows) fill(t);
    if (t.selectedRow() >= 0) {
      table_->selectRow(t.selectedRow());
    } else {
      table_->clearSelection();
    }
  }

 private:
  void fill(TableView& t) {
    const auto& columns = t.columns();
    const int rows = t.numberOfRows();
    table_->setColumnCount(static_cast<int>(columns.size()));
    table_->setRowCount(rows);
    QStringList titles;
    bool anyTitle = false;
    for (std::size_t c = 0; c < columns.size(); ++c) {
      titles << qs(columns[c].title);
      anyTitle = anyTitle || !columns[c].title.empty();
      table_->setColumnWidth(static_cast<int>(c), static_cast<int>(columns[c].width));
    }
    table_->setHorizontalHeaderLabels(titles);
    table_->horizontalHeader()->setVisible(anyTitle);
    // The header spans the table: the last column takes the room the others leave.
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setShowGrid(t.gridLines() != TableView::kNoGridLines);
    int height =
        2 * table_->frameWidth() + (anyTitle ? table_->horizontalHeader()->sizeHint().height() : 0);
    for (int r = 0; r < rows; ++r) {
      table_->setRowHeight(r, static_cast<int>(t.heightOfRow(r)));
      height += table_->rowHeight(r);
      for (std::size_t c = 0; c < columns.size(); ++c)
        fillCell(t.cellAt(r, c), r, static_cast<int>(c));
    }
    // A table of a few rows shows them all rather than scroll beside empty room, with no empty
    // rows under them, and every column whole.
    constexpr int kRowsShownWhole = 16;
    if (rows <= kRowsShownWhole) {
      table_->setMinimumHeight(height);
      table_->setMaximumHeight(height);
    } else {
      table_->setMaximumHeight(QWIDGETSIZE_MAX);
    }
    int width = 2 * table_->frameWidth() + table_->verticalScrollBar()->sizeHint().width();
    for (const auto& column : columns) width += static_cast<int>(column.width);
    table_->setMinimumWidth(std::max(width, table_->minimumWidth()));
  }

  void fillCell(const Cell& cell, int r, int c) {
    if (cell.kind == CellKind::button) {
      auto* button = qobject_cast<QPushButton*>(table_->cellWidget(r, c));
      if (!button) {
        button = new QPushButton;
        button->setFocusPolicy(Qt::NoFocus);
        QObject::connect(button, &QPushButton::clicked, button, [this, r, c] {
          if (!control_) return;
          userCall([&] {
            static_cast<TableView*>(control_)->userClickCell(r, static_cast<std::size_t>(c));
          });
        });
        table_->setCellWidget(r, c, button);
      }
      button->setText(qs(cell.title));
      button->setEnabled(cell.enabled);
    } else if (table_->cellWidget(r, c)) {
      table_->removeCellWidget(r, c);
    }
    QTableWidgetItem* item = table_->item(r, c);
    if (!item) {
      item = new QTableWidgetItem;
      table_->setItem(r, c, item);
    }
    Qt::ItemFlags flags = Qt::ItemIsSelectable;
    if (cell.enabled) flags |= Qt::ItemIsEnabled;
    if (cell.kind == CellKind::check) {
      flags |= Qt::ItemIsUserCheckable;
      item->setText({});
      item->setCheckState(cell.state ? Qt::Checked : Qt::Unchecked);
    } else {
      item->setText(cell.kind == CellKind::text ? qs(cell.text) : QString());
    }
    item->setFlags(flags);
    // A cell's colour is a light tint over the table's base, so that a coloured row never reads
    // as the selected one.
    QBrush background;
    if (cell.drawsBackground) {
      constexpr double kTint = 0.3;
      const QColor base = table_->palette().color(QPalette::Base);
      const QColor tint = qcolor(cell.background);
      background = QBrush(QColor::fromRgbF(
          static_cast<float>(base.redF() + (tint.redF() - base.redF()) * kTint),
          static_cast<float>(base.greenF() + (tint.greenF() - base.greenF()) * kTint),
          static_cast<float>(base.blueF() + (tint.blueF() - base.blueF()) * kTint)));
    }
    item->setBackground(background);
  }

  QPointer<QTableWidget> table_;
};

// --- the image view, the scroll view and its rulers ---------------------------------------------

class PictureWidget : public QWidget {
 public:
  PictureWidget(ImageView& view, WindowPeerImpl& window) : view_(&view), window_(window) {}
  void forget() { view_ = nullptr; }

 protected:
  void paintEvent(QPaintEvent*) override {
    if (!view_) return;
    QPainter painter(this);
    // A preview drawn smaller than its pixels keeps its thin marks.
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    for (const Picture::Op& op : view_->picture().ops) {
      QRectF r = toWidget(op.rect);
      switch (op.kind) {
        case Picture::OpKind::image: {
          const Image& image = *op.image;
          QImage q(image.rgb.data(), image.width, image.height, image.width * 3,
                   QImage::Format_RGB888);
          painter.drawImage(r, q);
          break;
        }
        case Picture::OpKind::fillRect:
          painter.fillRect(r, qcolor(op.color));
          break;
        case Picture::OpKind::strokeRect:
          painter.setPen(QPen(qcolor(op.color), op.lineWidth));
          painter.setBrush(Qt::NoBrush);
          painter.drawRect(r);
          break;
      }
    }
  }
  void mousePressEvent(QMouseEvent* e) override { deliver(e, &ImageView::userMouseDown); }
  void mouseMoveEvent(QMouseEvent* e) override {
    deliver(e, e->buttons() ? &ImageView::userMouseDragged : &ImageView::userMouseMoved);
  }
  void mouseReleaseEvent(QMouseEvent* e) override { deliver(e, &ImageView::userMouseUp); }
  void enterEvent(QEnterEvent* e) override {
    lastPosition_ = e->position();
    if (view_) view_->userMouseEntered({toView(e->position())});
  }
  void leaveEvent(QEvent*) override {
    // A leave event carries no position: the last one an event brought stands for it (the
    // pointer's global position does not follow events a test or a script sends).
    if (view_) view_->userMouseExited({toView(lastPosition_)});
  }

 private:
  using Entry = bool (ImageView::*)(const MouseEvent&);
  void deliver(QMouseEvent* e, Entry entry) {
    if (!view_) return;
    lastPosition_ = e->position();
    window_.syncModifiers(e->modifiers());
    (view_->*entry)({toView(e->position()), modifiersOf(e->modifiers())});
  }
  // The layer's view has its origin at the lower left unless it is flipped.
  Point toView(QPointF p) const { return {p.x(), view_->isFlipped() ? p.y() : height() - p.y()}; }
  QRectF toWidget(const Rect& r) const {
    double y = view_->isFlipped() ? r.origin.y : height() - r.origin.y - r.size.height;
    return {r.origin.x, y, r.size.width, r.size.height};
  }
  ImageView* view_;
  WindowPeerImpl& window_;
  QPointF lastPosition_;
};

class ImageViewPeer : public ControlPeer {
 public:
  ImageViewPeer(ImageView& view, WindowPeerImpl& window) : ControlPeer(view, window) {
    picture_ = new PictureWidget(view, window);
    setWidget(picture_);
  }
  ~ImageViewPeer() override {
    if (picture_) picture_->forget();
  }

 protected:
  std::vector<Aspect> aspects() const override { return {Aspect::picture, Aspect::tracking}; }
  void update(Aspect aspect) override {
    auto& v = static_cast<ImageView&>(*control_);
    if (aspect == Aspect::tracking) picture_->setMouseTracking(v.tracksMoves());
    if (aspect == Aspect::picture) picture_->update();
  }

 private:
  QPointer<PictureWidget> picture_;
};

// Rulers drawn by us: a mark per unit with its number, finer marks by the step-down cycle.
class RulerWidget : public QWidget {
 public:
  explicit RulerWidget(const RulerView& ruler) : ruler_(&ruler) {
    if (ruler.orientation() == RulerOrientation::horizontal) {
      setFixedHeight(kThickness);
    } else {
      setFixedWidth(kThickness);
    }
  }
  void forget() { ruler_ = nullptr; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    if (!ruler_ || !ruler_->unit() || ruler_->unit()->pointsPerUnit <= 0) return;
    const RulerUnit& unit = *ruler_->unit();
    const bool horizontal = ruler_->orientation() == RulerOrientation::horizontal;
    const double length = horizontal ? width() : height();
    const double fine = unit.stepDownCycle.empty() ? 1.0 : unit.stepDownCycle.front();
    const double step = unit.pointsPerUnit * fine;
    // Marks closer than a few pixels only blur: show whole units alone then.
    const double markStep = step >= kMinimumMarkGap ? step : unit.pointsPerUnit;
    painter.setPen(palette().color(QPalette::WindowText));
    QFont font = painter.font();
    font.setPixelSize(9);
    painter.setFont(font);
    int index = 0;
    for (double at = ruler_->originOffset(); at <= length; at += markStep, ++index) {
      const double units = (at - ruler_->originOffset()) / unit.pointsPerUnit;
      const bool whole = std::fabs(units - std::round(units)) < 1e-6;
      const int tick = whole ? kThickness : kThickness / 3;
      if (horizontal) {
        painter.drawLine(QPointF(at, kThickness - tick), QPointF(at, kThickness));
        if (whole) painter.drawText(QPointF(at + 2, 9), QString::number(std::lround(units)));
      } else {
        painter.drawLine(QPointF(kThickness - tick, at), QPointF(kThickness, at));
        if (whole) painter.drawText(QPointF(1, at + 10), QString::number(std::lround(units)));
      }
    }
  }

 private:
  static constexpr int kThickness = 16;
  static constexpr double kMinimumMarkGap = 4;
  const RulerView* ruler_;
};

// A container that would like a size of its own (a scroll view's frame), and takes less where
// its window has less room.
class PreferredBox : public QWidget {
 public:
  void setPreferred(QSize size) {
    preferred_ = size;
    updateGeometry();
  }
  QSize sizeHint() const override { return QWidget::sizeHint().expandedTo(preferred_); }

 private:
  QSize preferred_;
};

class ScrollViewPeer : public ControlPeer {
 public:
  ScrollViewPeer(ScrollView& scroll, WindowPeerImpl& window) : ControlPeer(scroll, window) {
    auto* box = new PreferredBox;
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    horizontal_ = new RulerWidget(scroll.horizontalRuler());
    vertical_ = new RulerWidget(scroll.verticalRuler());
    area_ = new QScrollArea;
    area_->setFocusPolicy(Qt::NoFocus);
    // It takes the room its cell offers: its frame is what it would like, not its least.
    box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    grid->addWidget(horizontal_, 0, 1);
    grid->addWidget(vertical_, 1, 0);
    grid->addWidget(area_, 1, 1);
    setWidget(box);
  }
  ~ScrollViewPeer() override {
    if (horizontal_) horizontal_->forget();
    if (vertical_) vertical_->forget();
  }
  void placeChild(ControlPeer& child) override {
    const Size size = child.control()->frame().size;
    if (size.width > 0 && size.height > 0) {
      child.widget()->setFixedSize(static_cast<int>(size.width), static_cast<int>(size.height));
    }
    area_->setWidget(child.widget());
  }

 protected:
  std::vector<Aspect> aspects() const override { return {Aspect::rulers}; }
  void update(Aspect) override {
    auto& s = static_cast<ScrollView&>(*control_);
    horizontal_->setVisible(s.hasHorizontalRuler() && s.rulersVisible());
    vertical_->setVisible(s.hasVerticalRuler() && s.rulersVisible());
    horizontal_->update();
    vertical_->update();
  }

 private:
  QPointer<RulerWidget> horizontal_;
  QPointer<RulerWidget> vertical_;
  QPointer<QScrollArea> area_;
};

// The top-level widget of a layer window: its close box asks the layer.
class WindowWidget : public QWidget {
 public:
  explicit WindowWidget(Window& window) : window_(&window) {}
  void forget() { window_ = nullptr; }

  // Qt widens a window to its content's least size, never narrows it. A window that stood at its
  // least size (or at the layer's, if larger) follows that size down when its content shrinks,
  // as when pages are hidden; one the user made larger stays as it is. `measure` lays the window
  // out anew first: a change that hid part of it may leave the window's own layout with the
  // least size it had before (Qt then keeps that as the window's minimum), though its content
  // needs less now.
  void fitToContent(bool measure) {
    if (!window_ || !layout() || window_->kind() == WindowKind::drawer) return;
    if (measure) {
      layout()->invalidate();
      layout()->activate();
    }
    const QSize least = minimumSizeHint();
    if (least.isValid() && least_.isValid()) {
      const Size asked = window_->contentSize();
      const QSize layer(static_cast<int>(asked.width), static_cast<int>(asked.height));
      const QSize before = least_.expandedTo(layer), after = least.expandedTo(layer);
      QSize fitted = size();
      if (fitted.width() == before.width() && after.width() < before.width()) {
        fitted.setWidth(after.width());
      }
      if (fitted.height() == before.height() && after.height() < before.height()) {
        fitted.setHeight(after.height());
      }
      if (fitted != size()) resize(fitted);
    }
    least_ = least;
  }

 protected:
  void closeEvent(QCloseEvent* e) override {
    // The layer decides; it hides the window itself when it closes.
    e->ignore();
    if (window_) window_->userClose();
  }

  bool event(QEvent* e) override {
    const bool handled = QWidget::event(e);
    // The layout has just been laid out for this event (measuring again would ask for another).
    if (e->type() == QEvent::LayoutRequest) fitToContent(false);
    return handled;
  }

 private:
  Window* window_;
  QSize least_;  // the content's least size when the layout last settled
};

}  // namespace

Modifiers modifiersOf(Qt::KeyboardModifiers m) {
  Modifiers out = kNoModifier;
  if (m & Qt::ShiftModifier) out |= kShift;
  if (m & Qt::ControlModifier) out |= kCtrl;
  if (m & Qt::AltModifier) out |= kAlt;
  return out;
}

// --- control peers in general ---------------------------------------------------------------

ControlPeer::~ControlPeer() {
  if (!widget_) return;
  // The widget may be inside one of its own signals: it goes later, and calls this peer no more.
  widget_->disconnect();
  for (QObject* inner : widget_->findChildren<QObject*>()) inner->disconnect();
  widget_->hide();
  widget_->deleteLater();
}

void ControlPeer::setWidget(QWidget* widget) {
  widget_ = widget;
  widget->setObjectName(qs(control_->outlet()));
  widget->installEventFilter(&window_.modifierWatch());
}

void ControlPeer::placeChild(ControlPeer& child) {
  // A control that is no container: place beside it in its parent's widget.
  if (widget_ && widget_->parentWidget()) child.widget()->setParent(widget_->parentWidget());
}

void ControlPeer::refresh() {
  for (Aspect aspect : {Aspect::enabled, Aspect::hidden, Aspect::frame}) changed(aspect);
  for (Aspect aspect : aspects()) changed(aspect);
}

void ControlPeer::changed(Aspect aspect) {
  if (!control_ || !widget_) return;
  switch (aspect) {
    case Aspect::enabled: {
      bool enabled = control_->isEnabled();
      if (control_->kind() == ControlKind::textField) {
        auto* field = static_cast<TextField*>(control_);
        if (auto* edit = qobject_cast<QLineEdit*>(widget_)) edit->setReadOnly(!field->isEditable());
      }
      widget_->setEnabled(enabled);
      if (control_->kind() == ControlKind::matrix) update(aspect);
      return;
    }
    case Aspect::hidden: {
      // Tab pages are the tab widget's to show; a view outside the content stays hidden.
      if (control_->tabViewItem()) return;
      const bool placed = control_->parent() || &window_.window()->contentView() == control_;
      const bool shown = placed && !control_->isHidden();
      if (widget_->isVisibleTo(widget_->parentWidget()) == shown) return;
      widget_->setVisible(shown);
      // The containers around it size anew: a panel shown in place of another may need more.
      widget_->updateGeometry();
      for (QWidget* p = widget_->parentWidget(); p; p = p->parentWidget()) {
        if (p->layout()) p->layout()->invalidate();
        p->updateGeometry();
        if (p->isWindow()) break;
      }
      window_.fitLater();
      return;
    }
    case Aspect::frame: {
      const Control* parent = control_->parent();
      ControlPeer* parentPeer = parent ? window_.peerOf(parent) : nullptr;
      auto* container = dynamic_cast<ContainerPeer*>(parentPeer);
      if (container && container->isFree()) {
        container->placeFree(*this);
      } else {
        if (container) container->moveToCell(*this);
        const Size& size = control_->frame().size;
        // The layer's nominal cell size is no size of the control's: Qt sizes it by its content.
        const GridCell& cell = control_->gridCell();
        const bool nominalWidth = container && size.width == cell.columnSpan * kGridCellWidth;
        const bool nominalHeight = container && size.height == cell.rowSpan * kGridCellHeight;
        const bool nominal = nominalWidth && nominalHeight;
        // A scroll view may be narrower than its frame (it scrolls): a drawer beside a window
        // near the screen's edge gives up width there.
        if (auto* box = dynamic_cast<PreferredBox*>(widget_.data()); box && !nominal) {
          box->setPreferred(QSize(static_cast<int>(size.width), static_cast<int>(size.height)));
        }
        // A push button sized from its cell keeps the style's height, as its neighbours do;
        // widened from its cell, it is widened from its title's size.
        auto* push = control_->kind() == ControlKind::pushButton
                         ? dynamic_cast<PushButton*>(widget_.data())
                         : nullptr;
        const bool styleHeight = push && nominalHeight;
        const double cellWidth = cell.columnSpan * kGridCellWidth;
        const bool widened = styleHeight && size.width > cellWidth;
        if (push) push->setWidening(widened ? size.width / cellWidth : 1);
        if (size.width > 0 && size.height > 0 && !nominal && !widened &&
            control_->kind() != ControlKind::view && control_->kind() != ControlKind::tabView &&
            control_->kind() != ControlKind::scrollView) {
          widget_->setMinimumSize(static_cast<int>(size.width),
                                  styleHeight ? 0 : static_cast<int>(size.height));
        }
      }
      return;
    }
    default:
      break;
  }
  if (inUserCall_ && (aspect == Aspect::menu || aspect == Aspect::rows)) {
    deferOrRun(aspect);
    return;
  }
  update(aspect);
}

void ControlPeer::deferOrRun(Aspect aspect) {
  if (std::find(deferred_.begin(), deferred_.end(), aspect) == deferred_.end()) {
    deferred_.push_back(aspect);
  }
}

void ControlPeer::userCall(const std::function<void()>& call) {
  const bool outer = !inUserCall_;
  inUserCall_ = true;
  call();
  if (!outer) return;
  inUserCall_ = false;
  std::vector<Aspect> pending;
  pending.swap(deferred_);
  for (Aspect aspect : pending) {
    if (control_) update(aspect);
  }
}

void ControlPeer::released() {
  // The widget goes with the peer, which its window peer drops.
  control_ = nullptr;
  window_.dropPeer(*this);
}

void ControlPeer::forget() {
  if (control_) control_->setPeer(nullptr);
  control_ = nullptr;
}

std::unique_ptr<ControlPeer> makeControlPeer(Control& control, WindowPeerImpl& window) {
  switch (control.kind()) {
    case ControlKind::label:
    case ControlKind::textField:
      return std::make_unique<TextPeer>(static_cast<TextControl&>(control), window);
    case ControlKind::pushButton:
    case ControlKind::toggleButton:
    case ControlKind::checkBox:
    case ControlKind::radioButton:
      return std::make_unique<ButtonPeer>(static_cast<Button&>(control), window);
    case ControlKind::matrix:
      return std::make_unique<MatrixPeer>(static_cast<Matrix&>(control), window);
    case ControlKind::popUpButton:
      return std::make_unique<PopUpPeer>(static_cast<PopUpButton&>(control), window);
    case ControlKind::pullDownButton:
      return std::make_unique<PullDownPeer>(static_cast<PopUpButton&>(control), window);
    case ControlKind::slider:
      return std::make_unique<SliderPeer>(static_cast<Slider&>(control), window);
    case ControlKind::stepper:
      return std::make_unique<StepperPeer>(static_cast<Stepper&>(control), window);
    case ControlKind::colorWell:
      return std::make_unique<ColorWellPeer>(static_cast<ColorWell&>(control), window);
    case ControlKind::progressIndicator:
      return std::make_unique<ProgressPeer>(static_cast<ProgressIndicator&>(control), window);
    case ControlKind::tabView:
      return std::make_unique<TabViewPeer>(static_cast<TabView&>(control), window);
    case ControlKind::tableView:
      return std::make_unique<TablePeer>(static_cast<TableView&>(control), window);
    case ControlKind::imageView:
      return std::make_unique<ImageViewPeer>(static_cast<ImageView&>(control), window);
    case ControlKind::scrollView:
      return std::make_unique<ScrollViewPeer>(static_cast<ScrollView&>(control), window);
    case ControlKind::view:
    case ControlKind::box:
      return std::make_unique<ContainerPeer>(control, window);
  }
  return std::make_unique<ContainerPeer>(control, window);
}

// --- window peers -------------------------------------------------------------------------------

bool ModifierWatch::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
      window_.syncModifiers(static_cast<QMouseEvent*>(event)->modifiers());
      break;
    case QEvent::KeyRelease:
      window_.syncModifiers(static_cast<QKeyEvent*>(event)->modifiers());
      break;
    case QEvent::KeyPress: {
      auto* key = static_cast<QKeyEvent*>(event);
      window_.syncModifiers(key->modifiers());
      // Keys the window itself gets (no field has the focus) are the window's key presses.
      const bool modifierKey = key->key() == Qt::Key_Shift || key->key() == Qt::Key_Control ||
                               key->key() == Qt::Key_Alt || key->key() == Qt::Key_Meta ||
                               key->key() == Qt::Key_CapsLock;
      if (watched == window_.widget() && !modifierKey && window_.window()) {
        KeyEvent layerKey;
        layerKey.modifiers = modifiersOf(key->modifiers());
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
          layerKey.special = SpecialKey::returnKey;
        } else if (key->key() == Qt::Key_Escape) {
          layerKey.special = SpecialKey::escape;
        } else if (key->key() >= Qt::Key_A && key->key() <= Qt::Key_Z) {
          layerKey.character = static_cast<char32_t>(U'a' + (key->key() - Qt::Key_A));
        } else if (!key->text().isEmpty()) {
          layerKey.character = key->text().toUcs4().value(0);
        }
        window_.window()->userKeyDown(layerKey);
        return true;
      }
      break;
    }
    default:
      break;
  }
  return false;
}

WindowPeerImpl::WindowPeerImpl(Window& window, PeerHost& host) : window_(&window), host_(host) {
  build();
}

WindowPeerImpl::~WindowPeerImpl() { detach(); }

void WindowPeerImpl::build() {
  auto* top = new WindowWidget(*window_);
  top->setObjectName(qs(window_->outlet()));
  top->installEventFilter(&watch_);
  Qt::WindowFlags flags = Qt::Window;
  if (window_->kind() == WindowKind::drawer) flags = Qt::Tool | Qt::FramelessWindowHint;
  if (window_->kind() == WindowKind::sheet || window_->kind() == WindowKind::alert) {
    flags = Qt::Dialog;
  }
  top->setWindowFlags(flags);
  widget_ = top;
  auto* outer = new QHBoxLayout(top);
  if (window_->kind() == WindowKind::alert) {
    icon_ = new QLabel;
    icon_->setAlignment(Qt::AlignTop);
    outer->addWidget(icon_);
  }
  layout_ = new QVBoxLayout;
  outer->addLayout(layout_, 1);
  window_->setPeer(this);
  for (const auto& control : window_->controls()) addPeer(*control);
  rebuildToolbar();
  showContent();
  changed(WindowAspect::title);
  changed(WindowAspect::frame);
  changed(WindowAspect::defaultButton);
  applyVisibility();
  applyFocus();
}

ControlPeer* WindowPeerImpl::peerOf(const Control* control) const {
  auto it = byControl_.find(control);
  return it == byControl_.end() ? nullptr : it->second;
}

void WindowPeerImpl::addPeer(Control& control) {
  std::unique_ptr<ControlPeer> peer = makeControlPeer(control, *this);
  ControlPeer& p = *peer;
  byControl_[&control] = peer.get();
  peers_.push_back(std::move(peer));
  control.setPeer(&p);
  if (ControlPeer* parent = peerOf(control.parent())) parent->placeChild(p);
  p.refresh();
}

void WindowPeerImpl::showContent() {
  ControlPeer* content = peerOf(&window_->contentView());
  QWidget* w = content ? content->widget() : nullptr;
  if (w == shownContent_) return;
  if (shownContent_) {
    layout_->removeWidget(shownContent_);
    shownContent_->hide();
  }
  if (w) {
    layout_->addWidget(w, 1);
    w->show();
  }
  shownContent_ = w;
}

void WindowPeerImpl::applyVisibility() {
  if (!widget_) return;
  if (!window_->isVisible()) {
    widget_->hide();
    return;
  }
  if (Window* parent = window_->sheetParent()) {
    // A sheet: window-modal over its window.
    if (WindowPeerImpl* parentPeer = host_.peerOf(*parent)) {
      if (widget_->parentWidget() != parentPeer->widget()) {
        widget_->setParent(parentPeer->widget(), Qt::Dialog);
      }
      widget_->setWindowModality(Qt::WindowModal);
    }
  }
  if (window_->kind() == WindowKind::drawer && window_->parentWindow()) {
    if (WindowPeerImpl* parentPeer = host_.peerOf(*window_->parentWindow())) {
      placeDrawer(*parentPeer->widget());
      parentPeer->widget()->installEventFilter(&follower_);  // once: a second install moves it
    }
  }
  const bool overAnother =
      window_->sheetParent() || window_->isCentered() || window_->kind() == WindowKind::alert;
  if (overAnother && !widget_->isVisible()) placeOverItsWindow();
  widget_->show();
  if (window_->isKeyWindow()) {
    widget_->raise();
    widget_->activateWindow();
  }
}

// A sheet opens centred over its window; a centred window or an alert over the window the user
// works in: the active one, else one of the layer's, else the host's, else the screen. A window
// manager would place them so, but none may run, and then they would open at the screen's corner.
void WindowPeerImpl::placeOverItsWindow() {
  // Its size as it will show: the one asked for, or its content's, never below its least.
  const Size asked = window_->contentSize();
  if (asked.width > 0 && asked.height > 0) {
    if (QLayout* layout = widget_->layout()) layout->activate();
    widget_->resize(widget_->size().expandedTo(widget_->minimumSizeHint()));
  } else {
    widget_->adjustSize();
  }
  QWidget* over = nullptr;
  if (Window* parent = window_->sheetParent()) {
    if (WindowPeerImpl* parentPeer = host_.peerOf(*parent)) over = parentPeer->widget();
  }
  auto eligible = [this](const QWidget* w) {
    return w && w != widget_ && w->isVisible() && w->isWindow() &&
           (w->windowType() == Qt::Window || w->windowType() == Qt::Dialog);
  };
  if (!over && eligible(QApplication::activeWindow())) over = QApplication::activeWindow();
  if (!over) {
    const QWidgetList tops = QApplication::topLevelWidgets();
    for (bool ours : {true, false}) {
      for (QWidget* w : tops) {
        if (!over && eligible(w) && (dynamic_cast<WindowWidget*>(w) != nullptr) == ours) over = w;
      }
    }
  }
  QRect area = over ? over->frameGeometry() : QRect();
  QScreen* screen = over ? over->screen() : widget_->screen();
  if (!over && screen) area = screen->availableGeometry();
  if (area.isNull()) return;
  QRect frame = widget_->frameGeometry();
  frame.moveCenter(area.center());
  if (screen) {
    // Kept on the screen, its title bar first.
    const QRect visible = screen->availableGeometry();
    frame.moveRight(std::min(frame.right(), visible.right()));
    frame.moveBottom(std::min(frame.bottom(), visible.bottom()));
    frame.moveLeft(std::max(frame.left(), visible.left()));
    frame.moveTop(std::max(frame.top(), visible.top()));
  }
  widget_->move(frame.topLeft());
}

// The drawer opens at its window's right side. Where the screen ends before the drawer does, the
// window moves left to make room, as far as the screen's left edge; what is still lacking is
// taken from the drawer's width (its scroll view scrolls) if that makes it fit. On a screen
// too small for both, the drawer keeps its width.
void WindowPeerImpl::placeDrawer(QWidget& parent) {
  // Moving the window to make room tells the follower again: that move is this placing's.
  if (placingDrawer_) return;
  placingDrawer_ = true;
  int width = std::max(widget_->sizeHint().width(), static_cast<int>(window_->contentSize().width));
  if (QScreen* screen = parent.screen()) {
    const QRect area = screen->availableGeometry();
    QRect frame = parent.frameGeometry();
    const int over = frame.right() + width - area.right();
    const int room = frame.left() - area.left();
    if (over > 0 && room > 0) parent.move(parent.pos() - QPoint(std::min(over, room), 0));
    frame = parent.frameGeometry();
    const int left = area.right() - frame.right();
    if (left < width && left >= widget_->minimumSizeHint().width()) width = left;
  }
  const QRect frame = parent.frameGeometry();
  widget_->move(frame.right() + 1, frame.top());
  widget_->resize(width, frame.height());
  placingDrawer_ = false;
}

bool DrawerFollower::eventFilter(QObject* watched, QEvent* event) {
  const bool moved = event->type() == QEvent::Move || event->type() == QEvent::Resize;
  auto* parent = qobject_cast<QWidget*>(watched);
  if (moved && parent && drawer_.window_ && drawer_.window_->isVisible() && drawer_.widget_ &&
      drawer_.widget_->isVisible()) {
    drawer_.placeDrawer(*parent);
  }
  return false;
}

void WindowPeerImpl::applyFocus() {
  if (!widget_ || !widget_->isVisible()) return;
  movingFocus_ = true;
  ControlPeer* peer = peerOf(window_->firstResponder());
  if (peer && peer->widget()) {
    peer->widget()->setFocus(Qt::OtherFocusReason);
  } else if (QWidget* focused = widget_->focusWidget()) {
    focused->clearFocus();
  }
  movingFocus_ = false;
}

void WindowPeerImpl::rebuildToolbar() {
  ToolBar* toolbar = window_->toolbar();
  if (!toolbar) return;
  if (inToolbarCall_) {
    // Rebuilt once the click that changed it is over.
    QMetaObject::invokeMethod(
        widget_,
        [this] {
          if (window_) rebuildToolbar();
        },
        Qt::QueuedConnection);
    return;
  }
  if (!toolbar_) {
    toolbar_ = new QToolBar;
    toolbar_->setObjectName("toolbar");
    toolbar_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    layout_->insertWidget(0, toolbar_);
  }
  toolbar_->clear();
  auto* group = new QActionGroup(toolbar_);
  for (const ToolBar::Item& item : toolbar->items()) {
    QAction* action = toolbar_->addAction(qs(item.label));
    action->setObjectName(qs(item.identifier));
    action->setCheckable(item.selectable);
    action->setChecked(item.identifier == toolbar->selectedItemIdentifier());
    action->setEnabled(item.enabled);
    group->addAction(action);
    const std::string identifier = item.identifier;
    QObject::connect(action, &QAction::triggered, toolbar_, [this, identifier] {
      if (!window_ || !window_->toolbar()) return;
      inToolbarCall_ = true;
      window_->toolbar()->userClickItem(identifier);
      inToolbarCall_ = false;
      if (window_) rebuildToolbar();
    });
  }
}

void WindowPeerImpl::setAlertIcon(const std::filesystem::path& icon, AlertStyle style) {
  if (!icon_) return;
  QPixmap pixmap(qs(icon.string()));
  if (pixmap.isNull()) {
    QStyle::StandardPixmap standard = style == AlertStyle::critical ? QStyle::SP_MessageBoxCritical
                                      : style == AlertStyle::informational
                                          ? QStyle::SP_MessageBoxInformation
                                          : QStyle::SP_MessageBoxWarning;
    pixmap = widget_->style()->standardIcon(standard).pixmap(48, 48);
  }
  icon_->setPixmap(pixmap.scaled(48, 48, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void WindowPeerImpl::setModal(bool modal) {
  if (!widget_ || modal == modal_) return;
  modal_ = modal;
  const bool shown = widget_->isVisible();
  if (shown) widget_->hide();  // modality is taken when a window is shown
  widget_->setWindowModality(modal ? Qt::ApplicationModal : Qt::NonModal);
  if (shown || modal) applyVisibility();
}

void WindowPeerImpl::syncModifiers(Qt::KeyboardModifiers modifiers) {
  if (!window_) return;
  Modifiers now = modifiersOf(modifiers);
  if (now != window_->application().modifierFlags()) window_->userFlagsChanged(now);
}

void WindowPeerImpl::changed(WindowAspect aspect) {
  if (!window_ || !widget_) return;
  switch (aspect) {
    case WindowAspect::title:
      widget_->setWindowTitle(qs(window_->title()));
      break;
    case WindowAspect::frame: {
      Size size = window_->contentSize();
      if (size.width > 0 && size.height > 0) {
        widget_->resize(static_cast<int>(size.width), static_cast<int>(size.height));
      }
      break;
    }
    case WindowAspect::visible:
    case WindowAspect::sheet:
      applyVisibility();
      break;
    case WindowAspect::firstResponder:
      applyFocus();
      break;
    case WindowAspect::toolbar:
      rebuildToolbar();
      break;
    case WindowAspect::contentView:
      showContent();
      break;
    case WindowAspect::defaultButton:
      for (const auto& peer : peers_) {
        if (auto* push = qobject_cast<QPushButton*>(peer->widget())) {
          push->setDefault(peer->control() == window_->defaultButton());
        }
      }
      break;
  }
}

void WindowPeerImpl::fitLater() {
  if (!widget_) return;
  QMetaObject::invokeMethod(
      widget_,
      [top = widget_] {
        if (auto* window = dynamic_cast<WindowWidget*>(top.data())) window->fitToContent(true);
      },
      Qt::QueuedConnection);
}

void WindowPeerImpl::dropPeer(ControlPeer& peer) {
  for (auto it = byControl_.begin(); it != byControl_.end(); ++it) {
    if (it->second == &peer) {
      byControl_.erase(it);
      break;
    }
  }
  std::erase_if(peers_, [&](const std::unique_ptr<ControlPeer>& p) { return p.get() == &peer; });
}

void WindowPeerImpl::controlAdded(Control& control) {
  addPeer(control);
  if (&control == &window_->contentView()) showContent();
}

void WindowPeerImpl::released() {
  // The layer window is going: its controls still exist and forget their peers here.
  detach();
  host_.windowGone(*this);  // deletes this peer
}

void WindowPeerImpl::detach() {
  if (window_) {
    for (const auto& peer : peers_) peer->forget();
    window_->setPeer(nullptr);
  }
  window_ = nullptr;
  byControl_.clear();
  // Children first, as Qt's parents would delete them: the peers hold guarded pointers.
  peers_.clear();
  if (widget_) {
    static_cast<WindowWidget*>(widget_.data())->forget();
    widget_->hide();
    widget_->deleteLater();
  }
  widget_ = nullptr;
}

}  // namespace ui::qt
