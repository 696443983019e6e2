#include "ReportsCommand.h"

#include <iostream>
#include <string>
#include <vector>

#include "acquisition/ReportsCommand.h"

int ReportsCommand(int argc, char** argv) {
  const std::vector<std::string> args(argv, argv + argc);
  return RunReportsCommand(args, std::cout, std::cerr);
}
