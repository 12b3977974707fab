// kura: the table engine's command-line tool.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "tools/kura/kura_cli.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  const bool terminal = isatty(STDIN_FILENO) != 0;
  return kura::tool::RunKura(args, std::cin, std::cout, std::cerr, terminal, terminal);
}
