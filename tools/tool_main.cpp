#include <iostream>
#include <string>
#include <vector>

#include "tools/tool_command.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return tolvane::tool::runTool(args, std::cout, std::cerr);
}
