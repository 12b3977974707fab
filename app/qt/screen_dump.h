// The driver's `dump`: the whole visible and internal state of the main
// form as one JSON object.
#pragma once

#include <nlohmann/json.hpp>

#include "form/recording_services.h"
#include "main_form/main_form.h"

namespace sorabeku {

// Builds the dump of `form`: screen and section names, status panels, every
// scalar MainState field by name, the board, the cells that differ from the
// reset state, candidates, edit moves, capture log, the message-box texts
// and sound kinds recorded in `platform` (which the caller clears after a
// dump), Timer2, Edit1, both combo boxes' shown texts, the grids and the
// names of the controls shown.
nlohmann::json DumpScreen(const MainForm& form, const RecordingServices& platform);

}  // namespace sorabeku
