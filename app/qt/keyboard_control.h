// The keys of the main window: → 1手進む, ← 1手戻す, Shift+← 1手順戻す,
// Space starts and stops 手順表示, Home 元に戻す, PageDown / PageUp the
// next / previous problem of the contents, 1-9 the n-th candidate, F2
// 画面切替. A grid, an edit field or a combo box with the focus keeps its
// own keys. The buttons' tooltips name their keys.
#pragma once

#include <QObject>
#include <QString>

class QKeyEvent;
class QWidget;

namespace sorabeku {

class MainForm;
class TForm2;

class KeyboardControl final : public QObject {
  Q_OBJECT
 public:
  // Watches the key presses of `window` (application-wide event filter);
  // the object is a child of `window`. `form` must outlive it.
  KeyboardControl(TForm2& window, MainForm& form);
  ~KeyboardControl() override;

  // Runs the command of a key press; false when the key has none or the
  // command's control is not shown.
  bool Press(int key, Qt::KeyboardModifiers modifiers);

  // True for widgets that keep their own keys while they have the focus.
  static bool KeepsOwnKeys(const QWidget* widget);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Clicks the side panel's button `name` when it is shown.
  bool Click(const char* name);
  bool StepContents(int delta);

  TForm2& window_;
  MainForm& form_;
};

}  // namespace sorabeku
