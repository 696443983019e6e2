#include "EmulatorTrace.h"

#include "EmulatorFrames.h"

TEmulatorTrace::TEmulatorTrace(const std::string& path) {
  if (!path.empty()) FFile = std::fopen(path.c_str(), "w");
}

TEmulatorTrace::~TEmulatorTrace() {
  if (FFile) std::fclose(FFile);
}

void TEmulatorTrace::Sent(const std::string& who, const TEmulatedReport& report) {
  if (FFile) Note(who, "sent " + EmulatorFrames::TraceText(report));
}

void TEmulatorTrace::Note(const std::string& who, const std::string& text) {
  if (!FFile) return;
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - FStart);
  std::lock_guard lock(FMutex);
  std::fprintf(FFile, "%lld %s %s\n", static_cast<long long>(ms.count()), who.c_str(), text.c_str());
  std::fflush(FFile);
}
