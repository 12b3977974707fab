// The window 成績: for one library, per section the problems tried, solved
// at the first try and due today; the accuracy of the answers per day as a
// chart; the problems missed most often, of which a double-click opens one.
// Escape closes it.
#pragma once

#include <QDialog>
#include <functional>
#include <nlohmann/json.hpp>

#include "training/progress/progress_figures.h"

class QLabel;
class QScatterSeries;
class QTableWidget;

namespace sorabeku {

inline constexpr const char* kProgressWindowTitle = "成績";

class ProgressWindow : public QDialog {
  Q_OBJECT
 public:
  // Opens a missed problem; true when it was loaded (the window then
  // closes).
  using OpenProblem = std::function<bool(const progress::MissedProblem&)>;

  ProgressWindow(const progress::ProgressFigures& figures, OpenProblem open,
                 QWidget* parent = nullptr);

  // What the window shows, read from its widgets: "sections" (name, tried,
  // solvedFirstTry, due), "accuracy" (date, percent, answers), "chartDays"
  // (points drawn) and "mostMissed" (mnb, misses, older).
  nlohmann::json Dump() const;

  QTableWidget* missedTable() const { return missed_; }
  // Double-clicks row `row` (from 0) of the most-missed list.
  void OpenMissed(int row);

 private:
  QWidget* BuildSections(const progress::ProgressFigures& figures);
  QWidget* BuildChart(const progress::ProgressFigures& figures);
  QWidget* BuildMissed(const progress::ProgressFigures& figures);

  progress::ProgressFigures figures_;
  OpenProblem open_;
  QTableWidget* sections_ = nullptr;
  QTableWidget* missed_ = nullptr;
  QWidget* chart_ = nullptr;
  QScatterSeries* dots_ = nullptr;  // the chart's points, one a day
};

// "出入の部", "手筋の部", "地中の部" for sections 1..3, "部の外" for 0.
const char* SectionName(int section);

}  // namespace sorabeku
