#include "AdevCommand.h"

#include <iostream>
#include <string>
#include <vector>

#include "data/AllanSeries.h"

int AdevCommand(int argc, char** argv) {
  const std::vector<std::string> args(argv, argv + argc);
  return RunAdevCommand(args, std::cout, std::cerr);
}
