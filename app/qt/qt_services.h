// The platform services of the real program, on Qt: message boxes, two
// QTimers, a help window, Qt Multimedia for the wave files, the system
// clock and QApplication::quit.
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <memory>

#include "form/services.h"

class QSoundEffect;
class QWidget;

namespace sorabeku {

class HelpWindow;

class QtServices : public QObject,
                   public SoundService,
                   public MessageService,
                   public TimerService,
                   public HelpService,
                   public ClockService,
                   public ApplicationService {
  Q_OBJECT
 public:
  QtServices();
  ~QtServices() override;

  Services services() { return Services{this, this, this, this, this, this}; }
  // Message boxes are modal to this window.
  void setWindow(QWidget* window) { window_ = window; }
  QTimer& timer(TimerId id) { return id == TimerId::kTimer1 ? timer1_ : timer2_; }

  void Play(int kind, const std::string& path) override;
  void Information(const std::string& text) override;
  bool Confirm(const std::string& text) override;
  bool ConfirmDefaultNo(const std::string& text) override;
  void Error(const std::string& text) override;
  void SetEnabled(TimerId timer, bool enabled) override;
  bool IsEnabled(TimerId timer) const override;
  void ShowContents(const std::string& path) override;
  LocalTime Now() const override;
  void Terminate() override;

 private:
  QPointer<QWidget> window_;
  QTimer timer1_;
  QTimer timer2_;
  std::unique_ptr<QSoundEffect> player_;
  std::unique_ptr<HelpWindow> help_;
};

// The text of a message box as the platform shows it: "\r\n" becomes a
// line break.
QString MessageBoxText(const std::string& text);

}  // namespace sorabeku
