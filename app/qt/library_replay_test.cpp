// Every registered line of every problem of the sample library, played
// through the training screen as a learner plays it: "1手進む", a click on
// the mark of the chosen continuation, "1手戻す" back to the base diagram.
// After each step the board (the cells' values and the stones drawn) is
// compared with a plain Go board that this test keeps itself: stones are
// placed in the order of the line's rows and a group of the other colour
// without a liberty is taken off. Letter marks occupy their points only
// while they are drawn: from loading until the first click on a mark.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/qt/testing/library_window.h"
#include "app/qt/testing/qt_environment.h"

namespace sorabeku {
namespace {

using nlohmann::json;

const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment("library_replay_test"));

// One row of a problem as stored, in the order of the table.
struct Row {
  int tes = 0, col = 0, pst = 0, bfr = 0, bto = 0, dix = 0;
  bool IsStone() const { return dix < 10 && (std::abs(col) == 1 || std::abs(col) == 2); }
  bool IsMark() const { return dix >= 20; }
};

using Problems = std::map<int, std::vector<Row>>;

// Every row of the library's figure table, by problem, read with the
// engine's tool before the window opens the library.
Problems ReadProblems(const std::string& dir) {
  std::istringstream in;
  std::ostringstream out, err;
  const int status = kura::tool::RunKura(
      {dir, "--tsv", "-c", "select MNB, TES, COL, PST, BFR, BTO, DIX from figure;"},
      in, out, err, false);
  EXPECT_EQ(status, 0) << err.str();
  Problems problems;
  std::istringstream lines(out.str());
  std::string line;
  std::getline(lines, line);  // the titles
  while (std::getline(lines, line)) {
    // Tab-separated; a field without a value reads \N and counts as 0.
    std::istringstream fields(line);
    std::vector<int> v;
    for (std::string field; std::getline(fields, field, '\t');) {
      v.push_back(field == "\\N" ? 0 : std::stoi(field));
    }
    EXPECT_EQ(v.size(), 7u) << line;
    if (v.size() != 7u) continue;
    problems[v[0]].push_back(Row{v[1], v[2], v[3], v[4], v[5], v[6]});
  }
  return problems;
}

// A line: the positions (from 0) of its rows after the base diagram, and
// where each of its sequences starts among them.
struct Line {
  std::vector<int> rows;
  std::vector<int> heads;  // positions of the sequences' head rows
};

int BaseEnd(const std::vector<Row>& rows) {
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    if (rows[i].bfr > 0) return i;
  }
  return -1;
}

// Every line from the end row `end`, depth first, following the heads that
// continue its branch number.
void CollectLines(const std::vector<Row>& rows, int end, Line line,
                  std::vector<Line>& out) {
  const int branch = rows[end].bfr;
  bool continued = false;
  for (int h = 0; h < static_cast<int>(rows.size()); ++h) {
    if (rows[h].bto != branch || h == 0) continue;
    continued = true;
    Line longer = line;
    longer.heads.push_back(h);
    int i = h;
    for (; i < static_cast<int>(rows.size()); ++i) {
      longer.rows.push_back(i);
      if (rows[i].bfr > 0) break;
    }
    if (i < static_cast<int>(rows.size())) {
      CollectLines(rows, i, longer, out);
    } else {
      out.push_back(longer);
    }
  }
  if (!continued && !line.rows.empty()) out.push_back(line);
}

// The plain Go board of the test: 0 empty, 1 black, 2 white, 3 a drawn
// letter mark (no liberty, no stone).
class GoBoard {
 public:
  void Place(int p, int colour) {
    cells_[p] = colour;
    const int other = 3 - colour;
    for (int n : Neighbours(p)) {
      if (cells_[n] == other && !HasLiberty(n)) RemoveGroup(n);
    }
  }
  void Mark(int p) {
    if (cells_[p] == 0) cells_[p] = 3;
  }
  void WipeMarks() {
    for (int& c : cells_) {
      if (c == 3) c = 0;
    }
  }
  int at(int p) const { return cells_[p] == 3 ? 0 : cells_[p]; }

 private:
  static std::vector<int> Neighbours(int p) {
    const int column = (p - 1) / 19, row = (p - 1) % 19;
    std::vector<int> n;
    if (row > 0) n.push_back(p - 1);
    if (row < 18) n.push_back(p + 1);
    if (column > 0) n.push_back(p - 19);
    if (column < 18) n.push_back(p + 19);
    return n;
  }
  std::set<int> Group(int p) const {
    std::set<int> group{p};
    std::vector<int> todo{p};
    while (!todo.empty()) {
      const int q = todo.back();
      todo.pop_back();
      for (int n : Neighbours(q)) {
        if (cells_[n] == cells_[p] && group.insert(n).second) todo.push_back(n);
      }
    }
    return group;
  }
  bool HasLiberty(int p) const {
    for (int q : Group(p)) {
      for (int n : Neighbours(q)) {
        if (cells_[n] == 0) return true;
      }
    }
    return false;
  }
  void RemoveGroup(int p) {
    for (int q : Group(p)) cells_[q] = 0;
  }

  std::array<int, 362> cells_{};
};

class LibraryReplay : public testing::LibraryWindow {
 protected:
  // The board of the model with the rows of the line up to position
  // `upTo` of the line (-1: the base diagram alone).
  static GoBoard Model(const std::vector<Row>& rows, const Line& line, int upTo,
                       bool marksDrawn) {
    GoBoard board;
    const int end = BaseEnd(rows);
    for (int i = 0; i <= end; ++i) {
      if (rows[i].IsStone()) board.Place(rows[i].pst, std::abs(rows[i].col));
      if (rows[i].IsMark() && marksDrawn) board.Mark(rows[i].pst);
    }
    for (int k = 0; k <= upTo; ++k) {
      const Row& r = rows[line.rows[k]];
      if (r.IsStone()) board.Place(r.pst, std::abs(r.col));
    }
    return board;
  }

  // Compares the window's board with the model; the failure names where.
  // False when they differ.
  static bool ExpectBoard(const json& d, const GoBoard& model) {
    bool same = true;
    std::map<int, int> cells;
    for (const json& c : d["cells"]) {
      const std::string picture = c["picture"];
      if (!picture.empty()) cells[c["point"]] = picture == "B" ? 1 : 2;
    }
    for (int p = 1; p <= 361; ++p) {
      const int value = d["board"][p - 1];
      const int stone = std::abs(value) == 1 || std::abs(value) == 2 ? std::abs(value) : 0;
      EXPECT_EQ(stone, model.at(p)) << "Board at point " << p;
      const auto drawn = cells.find(p);
      const int picture = drawn == cells.end() ? 0 : drawn->second;
      EXPECT_EQ(picture, model.at(p)) << "stone drawn at point " << p;
      same = same && stone == model.at(p) && picture == model.at(p);
    }
    return same;
  }

  // The position along `line` of the window's current problem row; -1 on
  // the base diagram's end row.
  static int Position(const json& d, const std::vector<Row>& rows, const Line& line) {
    const int current = d["grid2"]["current"].get<int>() - 1;
    if (current == BaseEnd(rows)) return -1;
    for (int k = 0; k < static_cast<int>(line.rows.size()); ++k) {
      if (line.rows[k] == current) return k;
    }
    ADD_FAILURE() << "the current row " << current << " is not on the line";
    return -2;
  }

  // Plays `line` of the problem in row `gridRow` of the contents list
  // forward to its end and back to the base diagram, checking each step.
  void Replay(int gridRow, const std::vector<Row>& rows, const Line& line) {
    json d = Do("grid1 " + std::to_string(gridRow));
    ExpectBoard(d, Model(rows, line, -1, true));
    bool marksDrawn = true;
    int position = -1;
    for (int step = 0; position + 1 < static_cast<int>(line.rows.size()); ++step) {
      ASSERT_LT(step, 200) << "the line does not end";
      d = Do("button 1手進む");
      if (d["state"]["CandidatesShown"] == 1) {
        const int head = rows[line.rows[position + 1]].pst;
        d = Do("board " + std::to_string(head));
        marksDrawn = false;
      }
      const int now = Position(d, rows, line);
      ASSERT_GT(now, position) << "a step forward did not move on";
      position = now;
      if (!ExpectBoard(d, Model(rows, line, position, marksDrawn))) return;
    }
    EXPECT_EQ(d["status"][0], "登録手順は終了です。");
    while (position >= 0) {
      d = Do("button 1手戻す");
      const int now = Position(d, rows, line);
      ASSERT_LT(now, position) << "a step back did not go back";
      position = now;
      if (!ExpectBoard(d, Model(rows, line, position, marksDrawn))) return;
    }
  }
};

TEST_F(LibraryReplay, EveryRegisteredLineAgreesWithAPlainGoBoard) {
  const Problems problems = ReadProblems(SORABEKU_SAMPLE_LIBRARY);
  ASSERT_FALSE(problems.empty());
  OpenCopyOf(SORABEKU_SAMPLE_LIBRARY);
  int lines = 0;
  for (const char* section : {"出入の部", "手筋の部", "地中の部"}) {
    json d = Do(std::string("menu ") + section);
    const json& contents = d["drawn"]["grid1"]["cells"];
    for (int r = 0; r < static_cast<int>(contents.size()); ++r) {
      const int problem = std::stoi(contents[r][0]["text"].get<std::string>());
      SCOPED_TRACE("problem " + std::to_string(problem));
      const auto it = problems.find(problem);
      ASSERT_NE(it, problems.end());
      const std::vector<Row>& rows = it->second;
      const int end = BaseEnd(rows);
      ASSERT_GE(end, 0);
      std::vector<Line> all;
      CollectLines(rows, end, Line{}, all);
      for (std::size_t l = 0; l < all.size(); ++l) {
        SCOPED_TRACE("line " + std::to_string(l + 1) + " of " + std::to_string(all.size()));
        Replay(r + 1, rows, all[l]);
        ++lines;
      }
    }
  }
  // Every line of every problem was played.
  int expected = 0;
  for (const auto& [mnb, rows] : problems) {
    std::vector<Line> all;
    if (BaseEnd(rows) >= 0) CollectLines(rows, BaseEnd(rows), Line{}, all);
    expected += static_cast<int>(all.size());
  }
  RecordProperty("lines", lines);
  EXPECT_EQ(lines, expected);
  EXPECT_GT(lines, 30);
}

}  // namespace
}  // namespace sorabeku
