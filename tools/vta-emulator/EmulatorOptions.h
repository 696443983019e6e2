#pragma once
#include <string>
#include <vector>

#include "EmulatorSettings.h"

// The command line of vta-emulator.
struct TEmulatorOptions {
  TEmulatorSettings Settings;
  bool Help = false;
  std::string Error;  // empty when the line was understood

  static TEmulatorOptions Parse(const std::vector<std::string>& args);
  static std::string HelpText();
};
