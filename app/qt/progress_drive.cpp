#include "app/qt/progress_drive.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QPixmap>
#include <QTableWidget>

#include "app/qt/progress_window.h"

namespace sorabeku {
namespace {

DriveOutcome Fail(int status, std::string message) {
  return DriveOutcome{status, std::move(message), false};
}

ProgressWindow* OpenWindow(const TForm2& window) {
  for (ProgressWindow* w : window.findChildren<ProgressWindow*>()) {
    if (w->isVisible()) return w;
  }
  return nullptr;
}

}  // namespace

DriveOutcome SeisekiCommand(TForm2& window, const std::string& args) {
  const auto space = args.find(' ');
  const std::string what = args.substr(0, space);
  const std::string rest = space == std::string::npos ? std::string{} : args.substr(space + 1);
  ProgressWindow* w = OpenWindow(window);
  if (what != "dbl" && what != "escape" && what != "screenshot") {
    return Fail(kDriveScriptError, "seiseki takes dbl ROW, escape or screenshot FILE");
  }
  if (!w) return Fail(kDriveCannotTake, "the window 成績 is not open");
  if (what == "escape") {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &press);
    QCoreApplication::processEvents();
    return {};
  }
  if (what == "screenshot") {
    if (rest.empty()) return Fail(kDriveScriptError, "seiseki screenshot takes a file name");
    QCoreApplication::processEvents();
    if (!w->grab().save(QString::fromStdString(rest), "PNG")) {
      return Fail(kDriveScriptError, "cannot write " + rest);
    }
    return {};
  }
  int row = 0;
  try {
    row = std::stoi(rest);
  } catch (const std::exception&) {
    row = 0;
  }
  if (row < 1) return Fail(kDriveScriptError, "seiseki dbl takes a row from 1");
  if (row > w->missedTable()->rowCount()) {
    return Fail(kDriveCannotTake, "the list has " +
                                      std::to_string(w->missedTable()->rowCount()) + " rows");
  }
  emit w->missedTable()->cellDoubleClicked(row - 1, 0);
  QCoreApplication::processEvents();
  return {};
}

void AddProgressWindow(const TForm2& window, nlohmann::json& dump) {
  if (ProgressWindow* w = OpenWindow(window)) dump["progressWindow"] = w->Dump();
}

}  // namespace sorabeku
