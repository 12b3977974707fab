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
  ASSERT_EQ(r.status, 0) << r.err;
  const auto j = nlohmann::json::parse(r.out);
  const auto& cs = j["branches"][0]["continuations"];
  ASSERT_EQ(cs.size(), 2u);
  // B oa: the first-line hane-connect, gote 2; A (ea) is dame.
  EXPECT_EQ(cs[0]["move"], "oa");
  EXPECT_EQ(cs[0]["value"]["kind"], "後手");
  EXPECT_EQ(cs[0]["value"]["deiri"], 2);
  EXPECT_EQ(cs[1]["move"], "ea");
  EXPECT_EQ(cs[1]["value"]["deiri"], 0);
}

TEST(SorabekuYose, TellsLifeAndDeathInsideTerritory) {
  const Outcome r = RunTool({kProblems + "2001.sgf", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto j = nlohmann::json::parse(r.out);
  const auto& cs = j["branches"][0]["continuations"];
  auto fateOfWhite = [](const nlohmann::json& c) {
    for (const auto& f : c["fates"]) {
      if (f["colour"] == "W" && f["stone"] == "ca") return f["fate"].get<std::string>();
    }
    return std::string("none");
  };
  EXPECT_EQ(fateOfWhite(cs[0]), "死に");  // B ea, the vital point of straight three
  EXPECT_EQ(fateOfWhite(cs[1]), "生き");  // B da lets White make two eyes
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
  // A region of the whole empty board is refused, not searched.
  const Outcome open = RunTool({WriteFile("yose_open.sgf",
                                      "(;GM[1]SZ[19]SBN[1001](;B[jj]TE[1])(;B[dd]BM[1]))"), "--json"});
  EXPECT_EQ(open.status, 1);
  EXPECT_NE(open.out.find("at most 16"), std::string::npos) << open.out;
  const Outcome help = RunTool({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("usage: sorabeku-yose"), std::string::npos);
}

}  // namespace
}  // namespace sorabeku::tool
