// The driver's view of the 成績 window (see driver.h):
//   seiseki dbl ROW         double-clicks row ROW (from 1) of the most-missed list
//   seiseki escape          presses Escape in the window
//   seiseki screenshot FILE saves a picture of the window
// and the part "progressWindow" of a dump while the window is open.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "app/qt/driver.h"

namespace sorabeku {

DriveOutcome SeisekiCommand(TForm2& window, const std::string& args);

// Adds "progressWindow" (ProgressWindow::Dump) to `dump` when the window
// is open.
void AddProgressWindow(const TForm2& window, nlohmann::json& dump);

}  // namespace sorabeku
