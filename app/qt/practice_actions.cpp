#include "app/qt/practice_actions.h"

#include <QAction>
#include <QMenu>

#include "app/program_library.h"
#include "app/qt/main_window.h"
#include "app/qt/practice_menu.h"
#include "app/qt/progress_window.h"

namespace sorabeku {

PracticeActions::PracticeActions(TForm2& window, QMenu& menu,
                                 std::unique_ptr<Practice> practice)
    : QObject(&window), window_(window), practice_(std::move(practice)) {
  setObjectName("PracticeActions");
  menu.addSeparator();
  QAction* review = menu.addAction(QString::fromUtf8(kReviewCaption));
  review->setObjectName("Review1");
  connect(review, &QAction::triggered, this, &PracticeActions::ReviewClicked);
  QAction* figures = menu.addAction(QString::fromUtf8(kFiguresCaption));
  figures->setObjectName("Figures1");
  connect(figures, &QAction::triggered, this, &PracticeActions::FiguresClicked);
}

PracticeActions::~PracticeActions() { delete figures_; }

void PracticeActions::ReviewClicked() {
  window_.Run([this] { practice_->ReviewNext(); });
}

void PracticeActions::FiguresClicked() {
  progress::ProgressFigures figures;
  bool read = false;
  window_.Run([&] {
    figures = practice_->Figures();
    read = true;
  });
  if (!read) return;
  delete figures_;
  auto open = [this](const progress::MissedProblem& m) {
    bool loaded = false;
    window_.Run([&] { loaded = practice_->OpenProblem(m.mnb, m.fingerprint); });
    return loaded;
  };
  figures_ = new ProgressWindow(figures, open, &window_);
  figures_->setAttribute(Qt::WA_DeleteOnClose);
  figures_->show();
  figures_->raise();
  figures_->activateWindow();
}

PracticeActions& AttachPractice(TForm2& window, MainForm& form, ProgramLibrary& library,
                                std::string recordsDir, std::function<std::int64_t()> now) {
  auto practice = std::make_unique<Practice>(
      form, *library.screens(), library.lookup(),
      PracticeWiring{library.directory(), std::move(recordsDir), std::move(now)});
  return *new PracticeActions(window, *window.practiceMenu()->menu(), std::move(practice));
}

}  // namespace sorabeku
