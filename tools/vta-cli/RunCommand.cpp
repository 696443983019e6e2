#include "RunCommand.h"

#include <QCoreApplication>
#include <iostream>
#include <string>
#include <vector>

#include "app/VTA_HeadlessRun.h"
#include "app/VTA_SessionKinds.h"

int RunCommand(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const std::vector<std::string> args(argv + 2, argv + argc);
  THeadlessRunOptions options;
  options.App.ProgramPath = argv[0];
  AddBuiltInSessionKinds(options.App);
  return RunHeadless(args, std::cout, std::cerr, std::move(options));
}
