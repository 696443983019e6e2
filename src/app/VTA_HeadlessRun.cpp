#include "app/VTA_HeadlessRun.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <optional>

#include "app/VTA_ConsoleUserInterface.h"
#include "app/VTA_ProgramArgs.h"
#include "app/VTA_QtTimers.h"
#include "app/VTA_SignalPipe.h"
#include "core/AppPaths.h"
#include "core/LogUnit.h"
#include "core/VTA_Settings.h"

namespace {

// A cycle that throws must not end the event loop: the failure is logged and printed.
std::function<void()> Guarded(std::function<void()> cycle, const char* name, int logId, std::ostream& err) {
  return [cycle = std::move(cycle), name, logId, &err] {
    try {
      cycle();
    } catch (const std::exception& e) {
      LogException(logId, std::string("vta-cli run: ") + name + " failed", e);
      err << "Error: " << name << " failed: " << e.what() << std::endl;
    }
  };
}

}  // namespace

const char* RunUsage() { return "usage: vta-cli run [--config-dir DIR] [--connect CONNECTION]\n"; }

int RunHeadless(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                THeadlessRunOptions options) {
  const TProgramArgsResult result = ParseProgramArgs(args, RunUsage(), false);
  if (!result.Args) {
    err << result.Error;
    return 2;
  }
  const TProgramArgs& parsed = *result.Args;
  if (!options.App.MakeSessionFactory) {
    err << "vta-cli run: no session kinds are available in this build\n";
    return 2;
  }
  if (!QCoreApplication::instance()) {
    err << "vta-cli run: no event loop\n";
    return 2;
  }

  // Signals are caught before anything is loaded: one that arrives during the start-up ends it
  // at the next step (nothing saved), one that arrives later closes like the window.
  QEventLoop loop;
  TConsoleUserInterface ui(out, err, parsed.Connect);
  TQtTimers timers;
  std::unique_ptr<TVTA_Application> app;
  bool running = false;
  TSignalPipe signals([&](int signal) {
    if (!running) return;
    out << "vta-cli run: signal " << signal << ", closing" << std::endl;
    if (!app->FormCloseQuery()) return;
    app->FormClose();
    loop.quit();
  });
  if (!signals.Error().empty()) {
    err << "vta-cli run: " << signals.Error() << '\n';
    return 2;
  }
  options.App.StopRequested = [&signals] { return signals.Received() != 0; };
  const auto stoppedEarly = [&] {
    out << "vta-cli run: signal " << signals.Received() << " during start-up, nothing saved" << std::endl;
    return 0;
  };

  try {
    app = std::make_unique<TVTA_Application>(TAppPaths::FromEnvironment(parsed.ConfigDir), std::move(options.App), ui,
                                             timers);
  } catch (const std::exception& e) {
    err << "vta-cli run: " << e.what() << '\n';
    return 2;
  }
  ui.Attach(app.get());
  timers.Connect(Guarded([&] { app->DisplayTimerTimer(); }, "DisplayTimer", app->LogId(), err),
                 Guarded([&] { app->CheckTimerTimer(); }, "CheckTimer", app->LogId(), err));
  if (signals.Received() != 0) return stoppedEarly();

  try {
    if (!app->LosGehts()) {
      if (signals.Received() != 0) return stoppedEarly();
      err << "vta-cli run: no connection, nothing to run\n";
      return 2;
    }
  } catch (const std::exception& e) {
    LogException(app->LogId(), "vta-cli run: start-up failed", e);
    err << "vta-cli run: start-up failed: " << e.what() << '\n';
    return 2;  // nothing saved: the stored sessions that were not recreated would be lost
  }
  running = true;

  QTimer status;
  QObject::connect(&status, &QTimer::timeout, Guarded(
                                                  [&] {
                                                    ui.PrintStatus();
                                                    if (options.AfterStatus) options.AfterStatus();
                                                  },
                                                  "Status", app->LogId(), err));
  status.start(options.StatusIntervalMs);
  out << "vta-cli run: running with " << app->Settings().Filename() << std::endl;
  loop.exec();
  return app->LastSaveFailed() ? 2 : 0;
}
