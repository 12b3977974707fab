// The edit buffer: the stones and marks an author composes on the board
// before they are stored as a base diagram or a sequence. It lives in
// MainState (EditMoves, EditComments, EditCount); entries are numbered
// from 1, and the entries above EditCount have Pst 0.
#pragma once

#include "form/main_state.h"

namespace sorabeku {

// The buffer holds at most this many entries: one comment slot each.
inline constexpr int kEditBufferLimit = kEditCommentSlots;

// The number of consecutive entries from entry 1 whose Pst is greater
// than 0; counting stops at the first empty entry. Registration stores
// that many entries.
int CountEditMoves(const MainState& state);

// Sets all four numbers of entries 1..100 to 0, empties their comments and
// sets EditCount to 0.
void ClearEditBuffer(MainState& state);

}  // namespace sorabeku
