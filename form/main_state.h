// MainState: the one record of state that the board, the training screen
// and the editing screen share. Plain values only; owned by the main form.
#pragma once

#include <array>
#include <string>

#include "form/point.h"

namespace sorabeku {

// A board cell's value: 0 empty, 1 black, 2 white, 3 a text mark occupying
// the point, -1/-2 a black/white stone drawn with a red number. Capture rules
// use the absolute value; the other colour of c is 2 / c.
using StoneCode = int;

inline constexpr StoneCode kEmpty = 0;
inline constexpr StoneCode kBlack = 1;
inline constexpr StoneCode kWhite = 2;
inline constexpr StoneCode kMarkCode = 3;

// One composed move of the edit buffer.
struct EditMove {
  int Tes = 0;
  int Col = 0;
  int Pst = 0;
  int Dix = 0;
};

// One stone taken off the board, kept so that the move can be taken back.
// All four fields 0 is a free slot.
struct CaptureRecord {
  int MoveKey = 0;      // EditCount (editing) or TES of the current row
  int StoneNumber = 0;  // number to write again on take-back; 0 none
  int Colour = 0;       // 1 or 2, always positive
  PointIndex Point = 0;

  bool IsFree() const {
    return MoveKey == 0 && StoneNumber == 0 && Colour == 0 && Point == 0;
  }
};

// One continuation of the current end row.
struct Candidate {
  int Col = 0;
  int Pst = 0;
  int Bto = 0;
};

inline constexpr int kEditMoveSlots = 400;
inline constexpr int kEditCommentSlots = 100;
inline constexpr int kCaptureLogSlots = 100;
inline constexpr int kCandidateSlots = 20;

// The screen the window shows (MainState::ScreenMode).
using ScreenModeCode = int;
inline constexpr ScreenModeCode kTrainingMode = 1;
inline constexpr ScreenModeCode kEditingMode = 2;

// The section of the library shown (MainState::CurrentSection): 出入の部,
// 手筋の部, 地中の部.
using SectionNumber = int;
inline constexpr SectionNumber kCountingSection = 1;
inline constexpr SectionNumber kTesujiSection = 2;
inline constexpr SectionNumber kInsideSection = 3;

// The state's on/off flags (CandidatesShown, SequenceReplayed, AutoPlay).
using Flag = int;
inline constexpr Flag kOff = 0;
inline constexpr Flag kOn = 1;

// Every array is numbered from 1 as the screens use it: element 0 is unused
// and stays zero.
struct MainState {
  ScreenModeCode ScreenMode = kTrainingMode;
  int CurrentProblem = 0;  // MNB of the loaded problem; 0 none
  int MoveNumber = 0;      // TES of the move last shown or placed
  int ColourToPlay = 1;    // StoneCode of the next stone
  std::array<StoneCode, kPointCount + 1> Board{};
  std::array<EditMove, kEditMoveSlots + 1> EditMoves{};
  std::array<std::string, kEditCommentSlots + 1> EditComments{};
  int EditCount = 0;       // moves in the edit buffer
  int LastStonePoint = 0;  // point of the last plain stone drawn; 0 none
  std::string ProgramDir;  // the executable's directory, ending in '/'
  int CaptureLogCount = 0;
  std::array<CaptureRecord, kCaptureLogSlots + 1> CaptureLog{};
  std::array<Candidate, kCandidateSlots + 1> Candidates{};
  int MarkKind = 0;    // tens digit of the editing screen's mark code
  int MarkColour = 0;  // units digit of that code
  Flag CandidatesShown = kOff;  // the continuations are offered as marks
  Flag SequenceReplayed = kOff;
  int BoardWidth = kBoardSize;
  int PointCount = kPointCount;
  Flag AutoPlay = kOff;  // the registered sequence replays by itself
  SectionNumber CurrentSection = kCountingSection;
};

// The other colour of a stone colour 1 or 2.
constexpr int OtherColour(int colour) { return 2 / colour; }

}  // namespace sorabeku
