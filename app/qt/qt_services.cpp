#include "app/qt/qt_services.h"

#include <QApplication>
#include <QAudioDevice>
#include <QDateTime>
#include <QFileInfo>
#include <QMediaDevices>
#include <QMessageBox>
#include <QSoundEffect>
#include <QUrl>

#include "app/qt/help_window.h"
#include "main_form/main_form.h"

namespace sorabeku {

QString MessageBoxText(const std::string& text) {
  QString s = QString::fromStdString(text);
  s.replace("\r\n", "\n");
  return s;
}

QtServices::QtServices() {
  timer1_.setInterval(1000);
  timer2_.setInterval(1000);
}

QtServices::~QtServices() = default;

void QtServices::Play(int, const std::string& path) {
  const QString file = QString::fromStdString(path);
  // Without the file or an audio output there is nothing to play; the event
  // that wanted the sound goes on.
  if (!QFileInfo::exists(file) || QMediaDevices::audioOutputs().isEmpty()) {
    return;
  }
  if (!player_) player_ = std::make_unique<QSoundEffect>();
  player_->stop();  // a new sound cuts off the one still playing
  player_->setSource(QUrl::fromLocalFile(file));
  player_->play();
}

void QtServices::Information(const std::string& text) {
  QMessageBox::information(window_, QString::fromUtf8(kProgramTitle),
                           MessageBoxText(text));
}

bool QtServices::Confirm(const std::string& text) {
  return QMessageBox::question(window_, QString::fromUtf8(kProgramTitle),
                               MessageBoxText(text),
                               QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

bool QtServices::ConfirmDefaultNo(const std::string& text) {
  return QMessageBox::question(window_, QString::fromUtf8(kProgramTitle),
                               MessageBoxText(text),
                               QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

void QtServices::Error(const std::string& text) {
  QMessageBox::critical(window_, QString::fromUtf8(kProgramTitle),
                        MessageBoxText(text));
}

void QtServices::SetEnabled(TimerId id, bool enabled) {
  if (enabled) {
    timer(id).start();
  } else {
    timer(id).stop();
  }
}

bool QtServices::IsEnabled(TimerId id) const {
  return (id == TimerId::kTimer1 ? timer1_ : timer2_).isActive();
}

void QtServices::ShowContents(const std::string& path) {
  if (!help_) help_ = std::make_unique<HelpWindow>();
  help_->ShowContents(QString::fromStdString(path));
}

LocalTime QtServices::Now() const {
  const QDateTime now = QDateTime::currentDateTime();
  return LocalTime{now.date().year(), now.date().month(), now.date().day(),
                   now.time().hour(), now.time().minute()};
}

void QtServices::Terminate() { QApplication::quit(); }

}  // namespace sorabeku
