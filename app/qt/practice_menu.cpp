#include "app/qt/practice_menu.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>

#include "app/qt/main_window.h"
#include "app/qt/qt_look.h"

namespace sorabeku {
namespace {

// Keys of the settings file; the action's object name is the key.
constexpr const char* kGroup = "practice";

}  // namespace

PracticeMenu::PracticeMenu(TForm2& window, MainForm& form)
    : QObject(&window), window_(window), form_(form) {
  setObjectName("PracticeMenu");
  QMenuBar* bar = window.menuBar();
  menu_ = new QMenu(QString::fromUtf8("練習"), bar);
  menu_->setObjectName("Practice1");
  menu_->setFont(WindowFont());
  bar->addMenu(menu_);
  quiz_ = AddSetting("quiz", "出題モード", form_.practice.quiz);
  hide_ = AddSetting("hideCandidates", "候補を隠す", form_.practice.hideCandidates);
  coordinates_ = AddSetting("coordinates", "座標を表示", form_.practice.coordinates);
  hide_->setToolTip(QString::fromUtf8("出題モードで候補の印を出さない"));
  menu_->setToolTipsVisible(true);
}

PracticeMenu::~PracticeMenu() = default;

QAction* PracticeMenu::AddSetting(const char* name, const char* caption,
                                  bool& setting) {
  QAction* action = menu_->addAction(QString::fromUtf8(caption));
  action->setObjectName(name);
  action->setCheckable(true);
  action->setChecked(setting);
  connect(action, &QAction::toggled, this, [this, &setting](bool on) {
    if (setting == on) return;
    setting = on;
    Changed();
  });
  return action;
}

void PracticeMenu::Changed() {
  if (store_) {
    store_->beginGroup(kGroup);
    for (QAction* a : {quiz_, hide_, coordinates_}) {
      store_->setValue(a->objectName(), a->isChecked());
    }
    store_->endGroup();
    store_->sync();
  }
  window_.Run([this] { form_.PracticeChanged(); });
}

void PracticeMenu::UseStore(std::unique_ptr<QSettings> store) {
  store_ = std::move(store);
  if (!store_) return;
  store_->beginGroup(kGroup);
  // Values read first: checking one action writes all three back.
  bool on[3];
  QAction* actions[3] = {quiz_, hide_, coordinates_};
  for (int i = 0; i < 3; ++i) {
    on[i] = store_->value(actions[i]->objectName(), false).toBool();
  }
  store_->endGroup();
  for (int i = 0; i < 3; ++i) actions[i]->setChecked(on[i]);
}

std::unique_ptr<QSettings> PracticeMenu::UserStore() {
  return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                     "sorabeku", "sorabeku");
}

}  // namespace sorabeku
