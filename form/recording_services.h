// Services that record what the program asked for instead of reaching the
// platform: used by the tests and by the driver sorabeku-drive.
#pragma once

#include <string>
#include <vector>

#include "form/services.h"

namespace sorabeku {

class RecordingServices : public SoundService,
                          public MessageService,
                          public TimerService,
                          public HelpService,
                          public ClockService,
                          public ApplicationService {
 public:
  // The services to hand to a MainForm; they point into this object.
  Services services() {
    return Services{this, this, this, this, this, this};
  }

  void Play(int kind, const std::string& path) override {
    sounds.push_back(kind);
    soundPaths.push_back(path);
  }
  void Information(const std::string& text) override { messages.push_back(text); }
  bool Confirm(const std::string& text) override {
    messages.push_back(text);
    const bool yes = nextAnswer;
    nextAnswer = true;
    return yes;
  }
  void Error(const std::string& text) override { messages.push_back(text); }
  void SetEnabled(TimerId timer, bool enabled) override {
    (timer == TimerId::kTimer1 ? timer1 : timer2) = enabled;
  }
  bool IsEnabled(TimerId timer) const override {
    return timer == TimerId::kTimer1 ? timer1 : timer2;
  }
  void ShowContents(const std::string& path) override { helpShown.push_back(path); }
  LocalTime Now() const override { return now; }
  void Terminate() override { terminated = true; }

  std::vector<int> sounds;
  std::vector<std::string> soundPaths;
  std::vector<std::string> messages;  // every box's text, in order
  std::vector<std::string> helpShown;
  bool nextAnswer = true;  // the answer to the next confirmation
  bool timer1 = false;
  bool timer2 = false;
  bool terminated = false;
  LocalTime now;
};

}  // namespace sorabeku
