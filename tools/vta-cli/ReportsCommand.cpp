#include "ReportsCommand.h"

#include <QCoreApplication>
#include <iostream>
#include <string>
#include <vector>

#include "acquisition/ReportsCommand.h"

int ReportsCommand(int argc, char** argv) {
  // Device readers (serial ports) run Qt objects in their own threads, which needs an application
  // object even though this command runs no event loop of its own.
  int qtArgc = 1;
  char* qtArgv[] = {const_cast<char*>("vta-cli"), nullptr};
  QCoreApplication application(qtArgc, qtArgv);
  const std::vector<std::string> args(argv, argv + argc);
  return RunReportsCommand(args, std::cout, std::cerr);
}
