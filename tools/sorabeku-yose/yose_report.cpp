#include "tools/sorabeku-yose/yose_report.h"

#include <algorithm>
#include <set>
#include <sstream>

#include "library/sgf_values.h"
#include "tools/sorabeku-yose/problem_positions.h"
#include "yose/local_analysis.h"

namespace sorabeku::tool {
namespace {

using nlohmann::json;
using yose::Colour;

// Empty points the default region takes at most: regions grow ring by
// ring around the candidates while they stay within this size.
constexpr int kDefaultRegionPoints = 9;

int CellOfPoint(int point) { return yose::CellAt((point - 1) / 19, (point - 1) % 19); }

std::vector<int> GrowRegion(const yose::Position& p, const std::vector<int>& from) {
  std::vector<int> region = yose::RegionAround(p, from, 1);
  for (int steps = 2; steps <= 8; ++steps) {
    std::vector<int> next = yose::RegionAround(p, from, steps);
    if (static_cast<int>(next.size()) > kDefaultRegionPoints || next.size() == region.size()) break;
    region = std::move(next);
  }
  return region;
}

// The region of a continuation: SBR of the root when given; for a
// counting problem the rings around the candidate alone (each candidate
// is its own local game); otherwise the empty points enclosed with all
// the candidates, or rings around them when that is too large.
std::vector<int> RegionFor(const SgfNode& root, int section, const BranchPoint& b,
                           const Continuation& c) {
  if (const SgfProperty* sbr = root.Find("SBR")) {
    std::vector<int> cells;
    for (int point : SgfPointList(*sbr)) cells.push_back(CellOfPoint(point));
    return cells;
  }
  if (section <= 1) return GrowRegion(b.position, {c.cell});
  std::vector<int> all;
  for (const Continuation& o : b.continuations) all.push_back(o.cell);
  std::vector<int> enclosed = yose::EnclosedRegion(b.position, all);
  if (static_cast<int>(enclosed.size()) <= yose::kMaxEmptyPoints) return enclosed;
  return GrowRegion(b.position, all);
}

json ValueJson(const yose::MoveValue& v, Colour mover) {
  return {{"kind", yose::KindName(v.kind, mover)}, {"deiri", v.deiri}, {"miai", v.miai},
          {"black_first", v.blackFirst}, {"white_first", v.whiteFirst}};
}

const char* ColourName(Colour c) { return c == Colour::kBlack ? "B" : "W"; }

json FatesJson(const yose::LocalArea& area, const yose::LocalBoard& board, Colour toMove) {
  json out = json::array();
  for (const yose::BlockFate& f : yose::AreaBlocks(area, board)) {
    out.push_back({{"stone", CellName(f.cell)}, {"colour", ColourName(f.colour)},
                   {"fate", yose::FateName(yose::FateOfBlock(area, board, f.cell, toMove))}});
  }
  return out;
}

// Whether the region is all there is to the local game: given by the
// author, or every empty point enclosed with the candidate (with all the
// candidates outside counting problems). A value read
// in a region cut short depends on where the cut fell.
bool RegionComplete(const SgfNode& root, int section, const BranchPoint& b, const Continuation& c,
                    const std::vector<int>& region) {
  if (root.Find("SBR")) return true;
  std::vector<int> all{c.cell};  // a counting problem's candidates are separate games
  if (section >= 2) {
    for (const Continuation& o : b.continuations) all.push_back(o.cell);
  }
  std::vector<int> sorted = region;
  std::sort(sorted.begin(), sorted.end());
  return yose::EnclosedRegion(b.position, all) == sorted;
}

// The value of the continuation's first move and of the position.
void JudgeValue(const yose::LocalArea& area, const Continuation& c, json& j) {
  const yose::MoveResult r = yose::AnalyseMove(area, c.cell, c.colour);
  if (!r.legal) {
    j["error"] = "the move is not legal";
    return;
  }
  j["value"] = ValueJson(r.value, c.colour);
  if (r.ifWhiteWinsKo) j["if_white_wins_ko"] = ValueJson(*r.ifWhiteWinsKo, c.colour);
  j["best"] = ValueJson(r.position.value, c.colour);
  if (r.position.ifWhiteWinsKo) {
    j["best_if_white_wins_ko"] = ValueJson(*r.position.ifWhiteWinsKo, c.colour);
  }
  j["ko"] = r.ifWhiteWinsKo.has_value() || r.position.ifWhiteWinsKo.has_value();
  // Sure: the whole local game searched and no ko left open.
  j["exact"] = j["exact"].get<bool>() && !j["ko"].get<bool>();
  json bestMoves = json::array();
  for (int cell : c.colour == Colour::kBlack ? r.position.bestBlack : r.position.bestWhite) {
    bestMoves.push_back(CellName(cell));
  }
  j["best"]["moves"] = bestMoves;
}

json JudgeContinuation(const SgfNode& root, int section, const BranchPoint& b, const Continuation& c) {
  json j = {{"move", CellName(c.cell)}, {"colour", ColourName(c.colour)},
            {"mark", c.green ? "green" : c.red ? "red" : ""}};
  try {
    const std::vector<int> region = RegionFor(root, section, b, c);
    json names = json::array();
    for (int cell : region) names.push_back(CellName(cell));
    j["region"] = names;
    const yose::LocalArea area = yose::MakeLocalArea(b.position, region);
    j["exact"] = RegionComplete(root, section, b, c, region);
    try {
      JudgeValue(area, c, j);
    } catch (const yose::SearchTooLarge& e) {
      // Inside territory the groups' fate is still read without the value.
      j[section >= 2 ? "value_error" : "error"] = e.what();
      j["exact"] = false;
    }
    if (j.contains("error") || section < 2) return j;
    {
      yose::LocalBoard after = area.board;
      after.Play(c.cell, c.colour);
      j["fates"] = FatesJson(area, after, yose::Opponent(c.colour));
      std::vector<int> endRegion = region;
      for (const auto& [cell, colour] : c.line) endRegion.push_back(cell);
      for (int x = 0; x < 19; ++x) {
        for (int y = 0; y < 19; ++y) {
          if (b.position[x][y] != Colour::kNone && c.end[x][y] == Colour::kNone) {
            endRegion.push_back(yose::CellAt(x, y));
          }
        }
      }
      const Colour next = yose::Opponent(c.line.back().second);
      try {
        const yose::LocalArea endArea = yose::MakeLocalArea(c.end, endRegion);
        j["end_fates"] = FatesJson(endArea, endArea.board, next);
      } catch (const yose::RegionTooLarge&) {
        j["end_fates"] = json::array();  // the line filled every point of the region
      }
    }
  } catch (const yose::RegionTooLarge& e) {
    j["error"] = e.what();
  } catch (const yose::SearchTooLarge& e) {
    j["error"] = e.what();
  }
  return j;
}

}  // namespace

json ReportProblem(const SgfNode& root) {
  const std::string sbn = root.Value("SBN");
  const int number = sbn.empty() ? 0 : SgfInteger(*root.Find("SBN"));
  const int section = number >= 2001 ? 3 : number >= 1001 ? 2 : 1;
  json report = {{"problem", number}, {"section", section}, {"branches", json::array()}};
  for (const BranchPoint& b : BranchPoints(root)) {
    json branch = {{"moves_before", b.movesBefore}, {"continuations", json::array()}};
    for (const Continuation& c : b.continuations) {
      branch["continuations"].push_back(JudgeContinuation(root, section, b, c));
    }
    report["branches"].push_back(branch);
  }
  return report;
}

bool HasErrors(const json& report) {
  for (const json& b : report["branches"]) {
    for (const json& c : b["continuations"]) {
      if (c.contains("error")) return true;
    }
  }
  return false;
}

namespace {

std::string Points(double v) {
  std::ostringstream s;
  s << v << "目";
  return s.str();
}

std::string ValueText(const json& v) {
  const std::string kind = v["kind"];
  if (kind == "終わり") return "終わり（0目）";
  return kind + Points(v["deiri"].get<double>()) + "（見合い" + Points(v["miai"].get<double>()) + "）";
}

}  // namespace

std::string ReportText(const json& report) {
  std::ostringstream out;
  out << "problem " << report["problem"].get<int>() << "\n";
  for (const json& b : report["branches"]) {
    out << "  after move " << b["moves_before"].get<int>() << ":\n";
    for (const json& c : b["continuations"]) {
      out << "    " << c["colour"].get<std::string>() << " " << c["move"].get<std::string>();
      const std::string mark = c["mark"];
      if (!mark.empty()) out << " (" << mark << ")";
      if (c.contains("error")) {
        out << ": not judged: " << c["error"].get<std::string>() << "\n";
        continue;
      }
      if (c.contains("value")) {
        out << ": " << ValueText(c["value"]) << "; best " << ValueText(c["best"]);
        for (const json& m : c["best"]["moves"]) out << " " << m.get<std::string>();
        if (c["ko"].get<bool>()) {
          out << "; コウ: 白がコウに勝てば " << ValueText(c.value("if_white_wins_ko", c["value"]));
        }
      } else {
        out << ": value not judged: " << c["value_error"].get<std::string>();
      }
      out << "\n";
      for (const char* key : {"fates", "end_fates"}) {
        if (!c.contains(key) || c[key].empty()) continue;
        out << "      " << (std::string(key) == "fates" ? "after the move:" : "at the end of the line:");
        for (const json& f : c[key]) {
          out << " " << f["colour"].get<std::string>() << " " << f["stone"].get<std::string>() << " "
              << f["fate"].get<std::string>();
        }
        out << "\n";
      }
    }
  }
  return out.str();
}

}  // namespace sorabeku::tool
