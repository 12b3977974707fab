#include "editing/edit_buffer.h"

namespace sorabeku {

int CountEditMoves(const MainState& state) {
  int n = 0;
  while (n < kEditBufferLimit && state.EditMoves[n + 1].Pst > 0) ++n;
  return n;
}

void ClearEditBuffer(MainState& state) {
  for (int i = 1; i <= kEditBufferLimit; ++i) {
    state.EditMoves[i] = EditMove{};
    state.EditComments[i].clear();
  }
  state.EditCount = 0;
}

}  // namespace sorabeku
