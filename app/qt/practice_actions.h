// The items 復習 and 成績 of the menu 練習: 復習 loads the next problem due
// for review; 成績 opens the window of the learner's figures (one at a
// time; opening it again shows the figures as they are then).
#pragma once

#include <QObject>
#include <QPointer>
#include <memory>

#include "app/practice.h"
#include "app/qt/progress_window.h"

class QMenu;

namespace sorabeku {

class TForm2;

inline constexpr const char* kReviewCaption = "復習";
inline constexpr const char* kFiguresCaption = "成績";

class PracticeActions final : public QObject {
  Q_OBJECT
 public:
  // Appends the two items to `menu` (after a separator); the object is a
  // child of `window` and owns `practice`.
  PracticeActions(TForm2& window, QMenu& menu, std::unique_ptr<Practice> practice);
  ~PracticeActions() override;

  Practice& practice() { return *practice_; }
  // The open 成績 window, or null.
  ProgressWindow* figuresWindow() const { return figures_; }

  void ReviewClicked();
  void FiguresClicked();

 private:
  TForm2& window_;
  std::unique_ptr<Practice> practice_;
  QPointer<ProgressWindow> figures_;
};

class ProgramLibrary;

// Joins the learner's records in `recordsDir` to the program: the training
// screen's answers are recorded under the library's directory, and 復習 and
// 成績 are appended to the window's menu 練習. The library must have
// installed its screens; `now` gives the time of each record.
PracticeActions& AttachPractice(TForm2& window, MainForm& form, ProgramLibrary& library,
                                std::string recordsDir, std::function<std::int64_t()> now);

}  // namespace sorabeku
