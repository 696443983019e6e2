#pragma once
#include <QProcess>
#include <string>

// Two connected pseudo terminals made by socat: a serial line without hardware. One end plays the
// instrument, the other is opened as the host's port. Killing socat is unplugging the cable.
class TPtyPair {
 public:
  // With hostLink, the host end is also reachable under that fixed path, so that a later pair can
  // stand in for the same port after an unplug.
  explicit TPtyPair(const std::string& hostLink = {});
  ~TPtyPair();
  TPtyPair(const TPtyPair&) = delete;
  TPtyPair& operator=(const TPtyPair&) = delete;

  static bool SocatAvailable();
  // Empty when the pair is up, else why not.
  const std::string& Error() const { return FError; }
  const std::string& InstrumentPath() const { return FInstrumentPath; }
  // The host's port: the fixed link when one was asked for.
  const std::string& HostPath() const { return FHostPath; }
  void Unplug();

 private:
  QProcess FSocat;
  std::string FInstrumentPath;
  std::string FHostPath;
  std::string FError;
};

// The instrument's end of the line, in raw mode.
class TPtyEnd {
 public:
  explicit TPtyEnd(const std::string& path);
  ~TPtyEnd();
  TPtyEnd(const TPtyEnd&) = delete;
  TPtyEnd& operator=(const TPtyEnd&) = delete;

  bool IsOpen() const { return FFd >= 0; }
  void Write(const std::string& bytes);
  // Up to `count` bytes, waiting at most timeoutMs for them.
  std::string Read(size_t count, int timeoutMs = 2000);

 private:
  int FFd = -1;
};
