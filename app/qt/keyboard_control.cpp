#include "app/qt/keyboard_control.h"

#include <QAbstractItemView>
#include <QAction>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QTextEdit>

#include "app/qt/cute_button.h"
#include "app/qt/main_window.h"
#include "form/grid_source.h"
#include "main_form/main_form.h"

namespace sorabeku {
namespace {

struct ButtonKey {
  const char* control;
  const char* key;
};

// The buttons with a key, and the key named in their tooltip.
constexpr ButtonKey kButtonKeys[] = {
    {"CuteButton5", "→"},       {"CuteButton7", "←"},
    {"CuteButton1", "Shift+←"}, {"CuteButton10", "Space（もう一度で止める）"},
    {"CuteButton9", "Home"},
};

}  // namespace

KeyboardControl::KeyboardControl(TForm2& window, MainForm& form)
    : QObject(&window), window_(window), form_(form) {
  setObjectName("KeyboardControl");
  qApp->installEventFilter(this);
  for (const ButtonKey& b : kButtonKeys) {
    if (QWidget* w = window_.control(b.control)) {
      w->setToolTip(QString::fromUtf8("キー: ") + QString::fromUtf8(b.key));
    }
  }
  if (auto* screens = window_.findChild<QMenu*>("N7")) {
    screens->setToolTipsVisible(true);
    for (QAction* a : screens->actions()) {
      a->setToolTip(a->text() + QString::fromUtf8("（F2で切り替え）"));
    }
  }
  if (QWidget* grid = window_.control("DBGrid1")) {
    grid->setToolTip(QString::fromUtf8(
        "PageDown / PageUp: 次 / 前の問題（表の外で）　1〜9: 候補を選ぶ　F2: 画面切替"));
  }
}

KeyboardControl::~KeyboardControl() { qApp->removeEventFilter(this); }

bool KeyboardControl::KeepsOwnKeys(const QWidget* widget) {
  for (const QWidget* w = widget; w; w = w->parentWidget()) {
    if (qobject_cast<const QAbstractItemView*>(w) || qobject_cast<const QLineEdit*>(w) ||
        qobject_cast<const QComboBox*>(w) || qobject_cast<const QTextEdit*>(w) ||
        qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QMenu*>(w)) {
      return true;
    }
  }
  return false;
}

bool KeyboardControl::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  // Only the first delivery (to the widget with the focus, or the window
  // itself) counts; a key passed on to the parents is not taken twice.
  if (!widget || widget->window() != &window_) return false;
  QWidget* focus = window_.focusWidget();
  if (widget != (focus ? focus : static_cast<QWidget*>(&window_))) return false;
  if (KeepsOwnKeys(widget)) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  return Press(key->key(), key->modifiers());
}

bool KeyboardControl::Click(const char* name) {
  const auto it = form_.screen.controls.find(name);
  if (it == form_.screen.controls.end() || !it->second.visible) return false;
  auto* button = qobject_cast<CuteButton*>(window_.control(name));
  if (!button) return false;
  button->click();
  return true;
}

bool KeyboardControl::StepContents(int delta) {
  GridSource* contents = form_.contentsSource;
  if (!contents || contents->RowCount() == 0) return false;
  const int row = contents->CurrentRow() + delta;
  if (row < 0 || row >= contents->RowCount()) return true;  // at either end
  window_.Run([&] {
    contents->MoveTo(row);
    form_.DBGrid1CellClick();
  });
  return true;
}

bool KeyboardControl::Press(int key, Qt::KeyboardModifiers modifiers) {
  modifiers &= ~Qt::KeypadModifier;
  const bool shift = modifiers == Qt::ShiftModifier;
  if (modifiers != Qt::NoModifier && !(shift && key == Qt::Key_Left)) return false;
  const bool training = form_.state.ScreenMode == kTrainingMode;
  switch (key) {
    case Qt::Key_Right: return Click("CuteButton5");
    case Qt::Key_Left: return Click(shift ? "CuteButton1" : "CuteButton7");
    case Qt::Key_Home: return Click("CuteButton9");
    case Qt::Key_Space:
      if (!training) return false;
      window_.Run([this] { form_.ToggleAutoPlay(); });
      return true;
    case Qt::Key_PageDown: return StepContents(1);
    case Qt::Key_PageUp: return StepContents(-1);
    case Qt::Key_F2:
      window_.Run([this] {
        if (form_.state.ScreenMode == kTrainingMode) {
          form_.N9Click();
        } else {
          form_.N8Click();
        }
      });
      return true;
    default: break;
  }
  if (key >= Qt::Key_1 && key <= Qt::Key_9 && training) {
    window_.Run([this, n = key - Qt::Key_0] { form_.ChooseCandidate(n); });
    return true;
  }
  return false;
}

}  // namespace sorabeku
