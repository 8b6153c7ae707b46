// The layout check of a shown window: every control's widget as Qt laid it out, measured with the
// fonts it draws with.
#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <algorithm>
#include <optional>
#include <string>

#include "platform/ui/qt/Adapter.h"

namespace ui::qt {
namespace {

// Rectangles that share less than this in either direction only touch.
constexpr int kTouching = 2;
// What a group box's title takes beside its text.
constexpr int kBoxTitleMargin = 16;

struct Shown {
  const Control* control;
  QWidget* widget;
  QRect rect;  // in the window's coordinates
};

std::string size(const QRect& r) {
  return std::to_string(r.width()) + " x " + std::to_string(r.height()) + " at " +
         std::to_string(r.x()) + "," + std::to_string(r.y());
}

std::string quoted(const QString& text) { return "\"" + text.toStdString() + "\""; }

int widest(const QFontMetrics& metrics, const QString& text) {
  int width = 0;
  for (const QString& line : text.split('\n'))
    width = std::max(width, metrics.horizontalAdvance(line));
  return width;
}

// Content inside a scroll area scrolls: it may lie beyond the window.
bool scrolls(const QWidget* w, const QWidget& top) {
  for (const QWidget* p = w->parentWidget(); p && p != &top; p = p->parentWidget()) {
    if (qobject_cast<const QAbstractScrollArea*>(p)) return true;
  }
  return false;
}

// The text a widget shows and the room it has for it; nothing when the widget shows none or
// fits it.
std::optional<std::string> cutText(QWidget* w) {
  auto cut = [](const QString& text, int need, int room) -> std::optional<std::string> {
    if (need <= room) return std::nullopt;
    return "cuts its text " + quoted(text) + ": it needs " + std::to_string(need) + " px, it has " +
           std::to_string(room);
  };
  const QFontMetrics metrics = w->fontMetrics();
  if (auto* label = qobject_cast<QLabel*>(w)) {
    const QString text = label->text();
    if (text.isEmpty() || label->textFormat() == Qt::RichText) return std::nullopt;
    const QRect room = label->contentsRect();
    if (label->wordWrap()) {
      const int need = label->heightForWidth(label->width());
      if (need > label->height()) {
        return "cuts its text " + quoted(text) + ": its lines need " + std::to_string(need) +
               " px of height, it has " + std::to_string(label->height());
      }
      return std::nullopt;
    }
    const int lines = static_cast<int>(text.count('\n')) + 1;
    if (lines * metrics.height() > room.height() + kTouching) {
      return "cuts its text " + quoted(text) + ": it needs " +
             std::to_string(lines * metrics.height()) + " px of height, it has " +
             std::to_string(room.height());
    }
    return cut(text, widest(metrics, text), room.width());
  }
  if (auto* box = qobject_cast<QCheckBox*>(w)) {
    if (box->text().isEmpty()) return std::nullopt;
    return cut(box->text(), box->sizeHint().width(), box->width());
  }
  if (auto* radio = qobject_cast<QRadioButton*>(w)) {
    if (radio->text().isEmpty()) return std::nullopt;
    return cut(radio->text(), radio->sizeHint().width(), radio->width());
  }
  if (auto* button = qobject_cast<QPushButton*>(w)) {
    const QString text = button->text().remove('&');
    if (text.isEmpty()) return std::nullopt;
    // The room the style leaves for the title inside the bevel.
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const int room =
        button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
    const int icon = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
    return cut(text, widest(metrics, text) + icon, room);
  }
  if (auto* combo = qobject_cast<QComboBox*>(w)) {
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.editable = combo->isEditable();
    const int room =
        combo->style()
            ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo)
            .width();
    // Every item, not only the one shown: the user chooses them.
    for (int i = 0; i < combo->count(); ++i) {
      if (auto fault =
              cut(combo->itemText(i), metrics.horizontalAdvance(combo->itemText(i)), room)) {
        return fault;
      }
    }
    return std::nullopt;
  }
  if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    const QString text = edit->displayText();
    if (text.isEmpty()) return std::nullopt;
    const QMargins margins = edit->textMargins();
    const int frame =
        edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) : 0;
    // Qt keeps 2 px beside the text inside the frame.
    const int room = edit->width() - 2 * frame - 4 - margins.left() - margins.right();
    return cut(text, metrics.horizontalAdvance(text), room);
  }
  if (auto* group = qobject_cast<QGroupBox*>(w)) {
    if (group->title().isEmpty()) return std::nullopt;
    QFont bold = group->font();
    return cut(group->title(),
               QFontMetrics(bold).horizontalAdvance(group->title()) + kBoxTitleMargin,
               group->width());
  }
  if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
    const int need = tabs->tabBar()->sizeHint().width();
    if (need > tabs->width()) {
      return "shows its tabs in " + std::to_string(tabs->width()) + " px; they need " +
             std::to_string(need);
    }
  }
  return std::nullopt;
}

// A table's header that stops short of the table's width, and columns whose titles are cut.
std::optional<std::string> tableFault(QWidget* w) {
  auto* table = qobject_cast<QTableView*>(w);
  if (!table) return std::nullopt;
  QHeaderView* header = table->horizontalHeader();
  if (!header || header->isHidden()) return std::nullopt;
  if (table->horizontalScrollBar()->isVisible()) {
    return "scrolls sideways: its columns need " + std::to_string(header->length()) +
           " px, it has " + std::to_string(table->viewport()->width());
  }
  const int width = table->viewport()->width();
  if (header->length() < width - kTouching) {
    return "its header spans " + std::to_string(header->length()) + " px of " +
           std::to_string(width);
  }
  return std::nullopt;
}

// A title as a reader takes it: without the mnemonic's mark, the closing colon and case.
QString plainTitle(QString text) {
  text.remove('&');
  text = text.trimmed();
  if (text.endsWith(':')) text.chop(1);
  return text.trimmed().toCaseFolded();
}

}  // namespace

std::vector<LayoutFault> checkLayout(const Window& window, QWidget& top,
                                     const std::function<QWidget*(const Control&)>& widgetOf) {
  std::vector<LayoutFault> faults;
  const QRect frame = top.frameGeometry();
  if (frame.width() > kLayoutScreenWidth || frame.height() > kLayoutScreenHeight) {
    faults.push_back({window.outlet(), "is " + std::to_string(frame.width()) + " x " +
                                           std::to_string(frame.height()) + ", larger than the " +
                                           std::to_string(kLayoutScreenWidth) + " x " +
                                           std::to_string(kLayoutScreenHeight) + " screen"});
  }
  std::vector<Shown> shown;
  for (const auto& control : window.controls()) {
    QWidget* w = widgetOf(*control);
    if (!w || !w->isVisibleTo(&top) || w == &top) continue;
    shown.push_back({control.get(), w, QRect(w->mapTo(&top, QPoint(0, 0)), w->size())});
  }
  auto fault = [&faults](const Shown& s, std::string problem) {
    faults.push_back({s.control->outlet(), std::move(problem)});
  };
  for (const Shown& s : shown) {
    if (s.rect.isEmpty()) continue;
    const bool scrolled = scrolls(s.widget, top);
    if (!scrolled && !top.rect().contains(s.rect)) {
      fault(s, "lies outside its window: " + size(s.rect) + " in " + std::to_string(top.width()) +
                   " x " + std::to_string(top.height()));
    }
    // Cut by the control it lies in.
    const Shown* outer = nullptr;
    for (const Shown& o : shown) {
      if (&o != &s && o.widget->isAncestorOf(s.widget) &&
          (!outer || outer->widget->isAncestorOf(o.widget))) {
        outer = &o;
      }
    }
    if (outer && !scrolled && !outer->rect.contains(s.rect) && top.rect().contains(s.rect)) {
      fault(s, "lies outside " + outer->control->outlet() + ": " + size(s.rect) + " in " +
                   size(outer->rect));
    }
    if (auto cut = cutText(s.widget)) fault(s, *cut);
    if (auto table = tableFault(s.widget)) fault(s, *table);
    if (qobject_cast<QGroupBox*>(s.widget)) {
      const bool holds = std::any_of(shown.begin(), shown.end(), [&s](const Shown& o) {
        return o.widget != s.widget && s.widget->isAncestorOf(o.widget) && !o.rect.isEmpty();
      });
      if (!holds) fault(s, "is a box with nothing shown in it");
    }
    // A label that says what its box's title already says: the user reads it twice.
    if (auto* label = qobject_cast<QLabel*>(s.widget); label && !label->text().isEmpty()) {
      for (QWidget* p = label->parentWidget(); p && p != &top; p = p->parentWidget()) {
        auto* box = qobject_cast<QGroupBox*>(p);
        if (!box) continue;
        if (!box->title().isEmpty() && plainTitle(box->title()) == plainTitle(label->text())) {
          fault(s, "repeats its box's title " + quoted(box->title()));
        }
        break;
      }
    }
  }
  for (std::size_t i = 0; i < shown.size(); ++i) {
    for (std::size_t j = i + 1; j < shown.size(); ++j) {
      const Shown& a = shown[i];
      const Shown& b = shown[j];
      if (a.widget->isAncestorOf(b.widget) || b.widget->isAncestorOf(a.widget)) continue;
      if (scrolls(a.widget, top) != scrolls(b.widget, top)) continue;
      const QRect both = a.rect.intersected(b.rect);
      if (both.width() >= kTouching && both.height() >= kTouching) {
        fault(a, "overlaps " + b.control->outlet() + ": " + size(a.rect) + " and " + size(b.rect));
      }
    }
  }
  return faults;
}

}  // namespace ui::qt
