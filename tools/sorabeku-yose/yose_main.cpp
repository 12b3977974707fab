// sorabeku-yose: the endgame solver's judgement of a problem's continuations.
#include <iostream>
#include <string>
#include <vector>

#include "tools/sorabeku-yose/yose_cli.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return sorabeku::tool::RunSorabekuYose(args, std::cout, std::cerr);
}
