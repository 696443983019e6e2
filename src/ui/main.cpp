#include <QApplication>
#include <QMessageBox>
#include <cstring>
#include <iostream>
#include <memory>

#include "app/VTA_ProgramArgs.h"
#include "app/VTA_SignalPipe.h"
#include "core/AppPaths.h"
#include "ui/MainForm.h"
#include "ui/SessionKinds.h"

// The desktop program: the main window around the application object.
namespace {
const char kUsage[] = "usage: VTA_App [--config-dir DIR] [--connect CONNECTION] [--expert]\n";
}

int main(int argc, char** argv) {
  // Answered before the window system is touched, so they work without a display too.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::cout << "VTA_App " << VTA_VERSION << '\n';
    return 0;
  }
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::cout << kUsage
              << "  --config-dir DIR       settings in DIR instead of $XDG_CONFIG_HOME/VTA_App\n"
                 "  --connect CONNECTION   the first session of a first start, e.g. DemoData\n"
                 "  --expert               expert mode: raw data modes, the Intern menu and internal views\n"
                 "See VTA_App(1).\n";
    return 0;
  }
  QApplication application(argc, argv);
  QApplication::setApplicationName("VTA_App");
  const TProgramArgsResult parsed = ParseProgramArgs(std::vector<std::string>(argv + 1, argv + argc),
                                                      kUsage, true);
  if (!parsed.Args) {
    std::cerr << parsed.Error;
    return 2;
  }

  // SIGTERM and SIGINT end the user session: the window closes as usual and saves its settings.
  // Caught from the start: one that arrives during the start-up ends it without saving.
  std::unique_ptr<TMainForm> form;
  TSignalPipe signals([&form](int) {
    if (form) form->EndSession();
  });
  if (!signals.Error().empty()) std::cerr << "VTA_App: " << signals.Error() << '\n';

  TMainFormOptions options;
  options.App.ProgramPath = argv[0];
  options.App.ExpertMode = parsed.Args->Expert;
  options.Connect = parsed.Args->Connect;
  AddSessionKinds(options);
  options.App.StopRequested = [&signals] { return signals.Received() != 0; };

  try {
    form = std::make_unique<TMainForm>(TAppPaths::FromEnvironment(parsed.Args->ConfigDir), std::move(options));
  } catch (const std::exception& e) {
    // An unusable configuration folder or an outdated source interface ends the program here.
    std::cerr << "VTA_App: " << e.what() << '\n';
    QMessageBox::critical(nullptr, "VTA_App", QString::fromStdString(e.what()));
    return 1;
  }
  form->show();
  return application.exec();
}
