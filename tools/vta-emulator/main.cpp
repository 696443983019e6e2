#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <iostream>
#include <unistd.h>

#include "EmulatedInstrument.h"
#include "EmulatorOptions.h"

namespace {

int SignalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const auto written = ::write(SignalPipe[1], &byte, 1);
}

}  // namespace

// vta-emulator: one instrument until SIGINT or SIGTERM.
int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  const TEmulatorOptions options = TEmulatorOptions::Parse(std::vector<std::string>(argv + 1, argv + argc));
  if (options.Help) {
    std::cout << TEmulatorOptions::HelpText();
    return 0;
  }
  if (!options.Error.empty()) {
    std::cerr << options.Error << "\n" << TEmulatorOptions::HelpText();
    return 2;
  }
  if (::pipe(SignalPipe) != 0) return 2;
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  TEmulatedInstrument instrument(options.Settings);
  const std::string error = instrument.Start();
  if (!error.empty()) {
    std::cerr << error << "\n";
    return 2;
  }
  const auto& s = options.Settings;
  if (s.SerialPath.empty())
    std::cout << "vta-emulator: listening on " << s.ListenAddress << ":" << instrument.ManagementPort() << std::endl;
  else
    std::cout << "vta-emulator: on " << s.SerialPath << std::endl;
  QSocketNotifier notifier(SignalPipe[0], QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
  app.exec();
  instrument.Stop();
  return 0;
}
