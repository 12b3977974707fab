#include "app/qt/screen_dump.h"

#include "form/grid_source.h"

namespace sorabeku {
namespace {

using nlohmann::json;

json StateFields(const MainState& s) {
  return json{{"ScreenMode", s.ScreenMode},
              {"CurrentProblem", s.CurrentProblem},
              {"MoveNumber", s.MoveNumber},
              {"ColourToPlay", s.ColourToPlay},
              {"EditCount", s.EditCount},
              {"LastStonePoint", s.LastStonePoint},
              {"ProgramDir", s.ProgramDir},
              {"CaptureLogCount", s.CaptureLogCount},
              {"MarkKind", s.MarkKind},
              {"MarkColour", s.MarkColour},
              {"CandidatesShown", s.CandidatesShown},
              {"SequenceReplayed", s.SequenceReplayed},
              {"BoardWidth", s.BoardWidth},
              {"PointCount", s.PointCount},
              {"AutoPlay", s.AutoPlay},
              {"CurrentSection", s.CurrentSection}};
}

const char* PictureName(Picture p) {
  return p == Picture::kBlack ? "B" : p == Picture::kWhite ? "W" : "";
}

json Cells(const ScreenModel& screen) {
  json cells = json::array();
  for (PointIndex p = 1; p <= kPointCount; ++p) {
    const Cell& c = screen.cells[p];
    if (c.IsReset()) continue;
    cells.push_back({{"point", p}, {"picture", PictureName(c.picture)},
                     {"text", c.text}, {"color", c.colour}, {"bold", c.bold},
                     {"opaque", c.opaque}});
  }
  return cells;
}

json Grid(const GridSource* source, const GridLink& link) {
  const int rows = source ? source->RowCount() : 0;
  const int current = source && rows > 0 ? source->CurrentRow() + 1 : 0;
  return {{"rows", rows}, {"current", current}, {"attached", link.attached}};
}

}  // namespace

json DumpScreen(const MainForm& form, const RecordingServices& platform) {
  const MainState& s = form.state;
  const ScreenModel& screen = form.screen;
  json board = json::array();
  for (PointIndex p = 1; p <= kPointCount; ++p) board.push_back(s.Board[p]);
  json candidates = json::array();
  for (int i = 1; i <= kCandidateSlots; ++i) {
    const Candidate& c = s.Candidates[i];
    if (c.Pst > 0) candidates.push_back({c.Col, c.Pst, c.Bto});
  }
  json editMoves = json::array();
  for (int i = 1; i <= s.EditCount && i <= kEditCommentSlots; ++i) {
    const EditMove& m = s.EditMoves[i];
    editMoves.push_back({m.Tes, m.Col, m.Pst, m.Dix, s.EditComments[i]});
  }
  json captureLog = json::array();
  for (int i = 1; i <= kCaptureLogSlots; ++i) {
    const CaptureRecord& r = s.CaptureLog[i];
    if (!r.IsFree()) captureLog.push_back({r.MoveKey, r.StoneNumber, r.Colour, r.Point});
  }
  json visible = json::array();
  for (const auto& [name, control] : screen.controls) {
    if (control.visible) visible.push_back(name);
  }
  return json{
      {"screen", screen.control("Label362").text},
      {"section", screen.control("Label364").text},
      {"status", screen.panels},
      {"state", StateFields(s)},
      {"board", board},
      {"cells", Cells(screen)},
      {"candidates", candidates},
      {"editMoves", editMoves},
      {"captureLog", captureLog},
      {"messages", platform.messages},
      {"sounds", platform.sounds},
      {"timer2", platform.timer2},
      {"edit1", screen.control("Edit1").text},
      {"combo1", screen.control("ComboBox1").ShownText()},
      {"combo2", screen.control("ComboBox2").ShownText()},
      {"grid1", Grid(form.contentsSource, screen.grid1)},
      {"grid2", Grid(form.rowsSource, screen.grid2)},
      {"visible", visible},
      {"quiz", form.practice.quiz},
      {"hideCandidates", form.practice.hideCandidates},
      {"coordinates", form.practice.coordinates},
  };
}

}  // namespace sorabeku
