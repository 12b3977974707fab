// kura-sgf: problems of a library to SGF and back.
#include <iostream>
#include <string>
#include <vector>

#include "tools/kura-sgf/kura_sgf_cli.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return sorabeku::tool::RunKuraSgf(args, std::cin, std::cout, std::cerr);
}
