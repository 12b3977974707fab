// The platform services that the program logic calls: sound, message boxes,
// timers, help viewer, clock and the application itself. The Qt window
// supplies real ones; the driver and the tests supply recording ones.
#pragma once

#include <string>

namespace sorabeku {

class SoundService {
 public:
  virtual ~SoundService() = default;
  // Starts playing the wave file at `path` (sound `kind` 0..2) and returns
  // at once, cutting off a sound still playing. A file that is missing or
  // cannot be played, or a machine without audio output, skips the sound
  // silently. Never throws.
  virtual void Play(int kind, const std::string& path) = 0;
};

class MessageService {
 public:
  virtual ~MessageService() = default;
  // A modal information box with one OK button.
  virtual void Information(const std::string& text) = 0;
  // A modal confirmation box with Yes and No; true for Yes.
  virtual bool Confirm(const std::string& text) = 0;
  // The same box with No as the default button, for a question whose Yes
  // cannot be undone; true for Yes. By default the same as Confirm.
  virtual bool ConfirmDefaultNo(const std::string& text) { return Confirm(text); }
  // The error box that an exception ending an event shows.
  virtual void Error(const std::string& text) = 0;
};

enum class TimerId { kTimer1, kTimer2 };

class TimerService {
 public:
  virtual ~TimerService() = default;
  // Switches the 1000 ms timer on or off; switching it on restarts it.
  virtual void SetEnabled(TimerId timer, bool enabled) = 0;
  virtual bool IsEnabled(TimerId timer) const = 0;
};

class HelpService {
 public:
  virtual ~HelpService() = default;
  // Shows the contents page of the help file at `path`; a missing file is
  // reported by the viewer itself.
  virtual void ShowContents(const std::string& path) = 0;
};

// A local date and time, as the clock panel needs it.
struct LocalTime {
  int year = 2000;
  int month = 1;   // 1..12
  int day = 1;     // 1..31
  int hour = 0;    // 0..23
  int minute = 0;  // 0..59
};

class ClockService {
 public:
  virtual ~ClockService() = default;
  virtual LocalTime Now() const = 0;
};

class ApplicationService {
 public:
  virtual ~ApplicationService() = default;
  // Asks the event loop to end after the current event.
  virtual void Terminate() = 0;
};

// The services one main form uses; none of the pointers is owned, none may
// be null.
struct Services {
  SoundService* sound;
  MessageService* messages;
  TimerService* timers;
  HelpService* help;
  ClockService* clock;
  ApplicationService* application;
};

}  // namespace sorabeku
