// The menu 練習 of the main window: the checkable practice settings
// "出題モード", "候補を隠す" and "座標を表示" (MainForm::practice). Their
// state is kept between runs in the user's settings file when a store is
// given. Other parts of the program append their own items with menu().
#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QAction;
class QMenu;
class QSettings;

namespace sorabeku {

class MainForm;
class TForm2;

class PracticeMenu final : public QObject {
  Q_OBJECT
 public:
  // Adds the menu at the end of the window's menu bar; the object is a child
  // of `window`. `form` must outlive it.
  PracticeMenu(TForm2& window, MainForm& form);
  ~PracticeMenu() override;

  // The menu, for appending items.
  QMenu* menu() const { return menu_; }
  QAction* quizAction() const { return quiz_; }
  QAction* hideAction() const { return hide_; }
  QAction* coordinatesAction() const { return coordinates_; }

  // Keeps the settings in `store` from now on, after taking the state kept
  // there. Without a store (the driver, tests) nothing is kept.
  void UseStore(std::unique_ptr<QSettings> store);
  QSettings* store() const { return store_.get(); }

  // The program's store: the settings file of the user under the XDG
  // configuration directory (sorabeku/sorabeku.ini).
  static std::unique_ptr<QSettings> UserStore();

 private:
  QAction* AddSetting(const char* name, const char* caption, bool& setting);
  void Changed();

  TForm2& window_;
  MainForm& form_;
  QMenu* menu_ = nullptr;
  QAction* quiz_ = nullptr;
  QAction* hide_ = nullptr;
  QAction* coordinates_ = nullptr;
  std::unique_ptr<QSettings> store_;
};

}  // namespace sorabeku
