#include "RunCommand.h"

#include <QCoreApplication>
#include <iostream>
#include <string>
#include <vector>

#include "app/VTA_HeadlessRun.h"

int RunCommand(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const std::vector<std::string> args(argv + 2, argv + argc);
  THeadlessRunOptions options;
  options.App.ProgramPath = argv[0];
  // The session factory of the counter and sensor sessions is handed over here once they exist;
  // until then the run refuses to start.
  return RunHeadless(args, std::cout, std::cerr, std::move(options));
}
