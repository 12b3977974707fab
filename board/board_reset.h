// ResetBoard and the two arrangements of the side panel.
#pragma once

#include "form/main_state.h"
#include "form/screen_model.h"

namespace sorabeku {

// Returns the board and the per-problem state to empty: move number 0,
// black to play, no edit moves (their Dix values and comments stay), empty
// capture log, no marks waiting; the first two status panels empty; every
// label transparent showing " ", no pictures; both combo boxes without a
// chosen item. Keeps CurrentProblem, ScreenMode, CurrentSection,
// LastStonePoint, Candidates, MarkKind, MarkColour and AutoPlay.
void ResetBoard(MainState& state, ScreenModel& screen);

// Move, show and hide the side panel's controls and name the screen in
// Label362. The board, MainState and the data stay untouched.
void ShowTrainingLayout(ScreenModel& screen);
void ShowEditLayout(ScreenModel& screen);

}  // namespace sorabeku
