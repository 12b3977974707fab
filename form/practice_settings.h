// The learner's practice settings (the menu 練習). All off by default, and
// off means the screens behave as they always did.
#pragma once

namespace sorabeku {

struct PracticeSettings {
  // 出題モード: candidates are offered in one neutral colour and judged
  // after the click.
  bool quiz = false;
  // 候補を隠す: with quiz, no candidate marks until a miss.
  bool hideCandidates = false;
  // 座標を表示: column numbers and row kanji around the board.
  bool coordinates = false;

  // Candidates hidden for real: the setting only counts in quiz mode.
  bool HidesCandidates() const { return quiz && hideCandidates; }
};

}  // namespace sorabeku
