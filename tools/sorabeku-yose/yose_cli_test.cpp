// sorabeku-yose end to end: a problem file judged, refusals and usage.
#include "tools/sorabeku-yose/yose_cli.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace sorabeku::tool {
namespace {

struct Outcome {
  int status;
  std::string out, err;
};

Outcome RunTool(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = RunSorabekuYose(args, out, err);
  return {status, out.str(), err.str()};
}

std::string WriteFile(const std::string& name, const std::string& text) {
  const auto path = std::filesystem::temp_directory_path() / name;
  std::ofstream(path) << text;
  return path.string();
}

const std::string kProblems = std::string(YOSE_SOURCE_DIR) + "/data/problems/";

TEST(SorabekuYose, JudgesEachCandidateOfACountingProblem) {
  const Outcome r = RunTool({kProblems + "0001.sgf", "--json"});
  const auto j = nlohmann::json::parse(r.out);
  const auto& cs = j["branches"][0]["continuations"];
  ASSERT_EQ(cs.size(), 2u);
  EXPECT_EQ(cs[0]["move"], "oa");
  EXPECT_EQ(cs[0]["mark"], "green");
  EXPECT_TRUE(cs[0].contains("value") || cs[0].contains("error"));
  // A (ea) is a dame between two settled walls: nothing to gain.
  EXPECT_EQ(cs[1]["move"], "ea");
  EXPECT_EQ(cs[1]["value"]["deiri"], 0);
  EXPECT_EQ(cs[1]["best"]["kind"], "終わり");
}

TEST(SorabekuYose, TellsLifeAndDeathInsideTerritory) {
  // Straight three under White's wall, Black's wall around it.
  const std::string sgf =
      "(;GM[1]FF[4]SZ[19]SBN[2001]AB[aa][ab][ac][bc][cc][dc][ec][fc][gc][gb][ga]"
      "AW[ba][bb][cb][db][eb][fb][fa](;B[da]TE[1];W[ca];B[ea])(;B[ca]BM[1];W[da]))";
  const Outcome r = RunTool({WriteFile("yose_three.sgf", sgf), "--json"});
  const auto j = nlohmann::json::parse(r.out);
  const auto& cs = j["branches"][0]["continuations"];
  ASSERT_EQ(cs.size(), 2u);
  auto fateOf = [](const nlohmann::json& c, const char* stone) {
    for (const auto& f : c["fates"]) {
      if (f["stone"] == stone) return f["fate"].get<std::string>();
    }
    return std::string("none");
  };
  EXPECT_EQ(fateOf(cs[0], "ba"), "死に") << cs[0].dump();  // the middle point kills
  EXPECT_EQ(fateOf(cs[1], "ba"), "生き") << cs[1].dump();  // the end point lets White live
}

TEST(SorabekuYose, RefusesWhatItCannotTake) {
  EXPECT_EQ(RunTool({}).status, 2);
  EXPECT_EQ(RunTool({"a.sgf", "--frobnicate"}).status, 2);
  EXPECT_EQ(RunTool({"x", "--problem", "0"}).status, 2);
  EXPECT_EQ(RunTool({"/nonexistent/x.sgf"}).status, 1);
  EXPECT_EQ(RunTool({WriteFile("yose_broken.sgf", "(;GM[1]SZ[19]")}).status, 1);
  // A line that plays on an occupied point names the move.
  const Outcome occupied = RunTool({WriteFile("yose_occupied.sgf",
                                          "(;GM[1]SZ[19]AB[aa](;B[aa]TE[1])(;B[ba]BM[1]))")});
  EXPECT_EQ(occupied.status, 1);
  EXPECT_NE(occupied.err.find("B aa"), std::string::npos) << occupied.err;
  // A region of 20 empty points (SBR) is refused, not searched.
  const Outcome open = RunTool({WriteFile("yose_open.sgf",
                                          "(;GM[1]SZ[19]SBN[1]SBR[aa:ja][ab:jb](;B[ca]TE[1])(;B[da]BM[1]))"),
                                "--json"});
  EXPECT_EQ(open.status, 1);
  EXPECT_NE(open.out.find("at most 16"), std::string::npos) << open.out;
  const Outcome help = RunTool({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("usage: sorabeku-yose"), std::string::npos);
}

}  // namespace
}  // namespace sorabeku::tool
