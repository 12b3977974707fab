#include "app/practice.h"

#include <ctime>

#include "library/problem_store.h"
#include "training/progress/problem_fingerprint.h"

namespace sorabeku {

std::string ReviewsDueText(int due) {
  return "今日の復習は" + std::to_string(due) + "問です。";
}

std::int64_t SecondsOf(const LocalTime& t) {
  std::tm local{};
  local.tm_year = t.year - 1900;
  local.tm_mon = t.month - 1;
  local.tm_mday = t.day;
  local.tm_hour = t.hour;
  local.tm_min = t.minute;
  local.tm_isdst = -1;
  return static_cast<std::int64_t>(std::mktime(&local));
}

Practice::Practice(MainForm& form, LibraryScreens& screens, ProblemQueries& lookup,
                   PracticeWiring wiring)
    : form_(form),
      screens_(screens),
      lookup_(lookup),
      wiring_(std::move(wiring)),
      recorder_([this]() -> progress::LearnerProgress& { return Progress(); },
                progress::RecorderWiring{
                    wiring_.libraryDir, [this](int mnb) { return FingerprintAt(mnb); },
                    wiring_.now,
                    [this](const std::string& m) { form_.services().messages->Error(m); }}) {
  screens_.training().SetAnswerListener(&recorder_);
}

Practice::~Practice() { screens_.training().SetAnswerListener(nullptr); }

progress::LearnerProgress& Practice::Progress() {
  if (!progress_) {
    progress_ = std::make_unique<progress::LearnerProgress>(wiring_.recordsDir);
    ShowRecordsError();
  }
  return *progress_;
}

progress::LearnerProgress& Practice::Current() {
  const bool opened = progress_ != nullptr;
  progress::LearnerProgress& progress = Progress();
  if (opened) {
    progress.Reload();
    ShowRecordsError();
  }
  return progress;
}

void Practice::ShowRecordsError() {
  if (auto message = progress_->Records().TakeErrorToShow()) {
    form_.services().messages->Error(*message);
  }
}

int Practice::Today() const { return progress::LocalDay(wiring_.now()); }

std::string Practice::FingerprintAt(int mnb) {
  const std::optional<ProblemRecord> problem = ReadProblem(lookup_, mnb);
  if (!problem || problem->rows.empty()) return {};
  return progress::ProblemFingerprint(problem->rows);
}

bool Practice::Listed(int mnb) {
  const int section = SectionOf(mnb);
  if (section == 0) return false;
  lookup_.OpenContents(section, 0);
  return lookup_.KuraQuery1().Locate("MNB", {std::int64_t{mnb}});
}

std::optional<int> Practice::NumberOf(int mnb, const std::string& fingerprint) {
  if (FingerprintAt(mnb) == fingerprint && Listed(mnb)) return mnb;
  if (!index_) {
    index_.emplace();
    for (int section = 1; section <= 3; ++section) {
      for (int number : ListSection(lookup_, section)) {
        if (std::string f = FingerprintAt(number); !f.empty()) index_->emplace(std::move(f), number);
      }
    }
  }
  const auto found = index_->find(fingerprint);
  if (found == index_->end()) return std::nullopt;
  return found->second;
}

void Practice::ReviewNext() {
  index_.reset();
  progress::LearnerProgress& progress = Current();
  const auto held = [this](const progress::ReviewItem& item) {
    return NumberOf(item.mnb, item.fingerprint).has_value();
  };
  const int today = Today();
  const progress::ReviewItem* next = progress.NextDue(wiring_.libraryDir, today, held);
  if (next == nullptr) {
    form_.screen.panels[0] = kNoReviewToday;
    return;
  }
  const int due = progress.DueCount(wiring_.libraryDir, today, held);
  if (LoadProblem(*NumberOf(next->mnb, next->fingerprint))) {
    form_.screen.panels[0] = ReviewsDueText(due);
  }
}

progress::ProgressFigures Practice::Figures() {
  return Current().Figures(wiring_.libraryDir, Today());
}

bool Practice::OpenProblem(int mnb, const std::string& fingerprint) {
  index_.reset();
  const std::optional<int> number = NumberOf(mnb, fingerprint);
  if (!number) {
    form_.services().messages->Error(kProblemGone);
    return false;
  }
  return LoadProblem(*number);
}

bool Practice::LoadProblem(int mnb) {
  if (form_.state.ScreenMode != kTrainingMode) form_.N8Click();
  switch (SectionOf(mnb)) {
    case kCountingSection: form_.N3Click(); break;
    case kTesujiSection: form_.N4Click(); break;
    default: form_.N5Click(); break;
  }
  // A problem with rows but without a contents row cannot be chosen.
  if (!screens_.queries().KuraQuery1().Locate("MNB", {std::int64_t{mnb}})) {
    form_.services().messages->Error(kProblemGone);
    return false;
  }
  screens_.training().LoadProblem();
  return true;
}

}  // namespace sorabeku
