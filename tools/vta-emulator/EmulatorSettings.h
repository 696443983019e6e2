#pragma once
#include <chrono>
#include <cstdint>
#include <string>

// What one emulated instrument is and how it misbehaves on purpose.
struct TEmulatorSettings {
  enum class TPeer { NetworkModule, Coldfire };
  // A management answer given instead of the normal one: "ab", "ta", "sv" and silence refuse the
  // log-on, "bu" refuses commands.
  enum class TRefusal { None, Ab, Bu, Ta, Sv, Silent };

  TPeer Peer = TPeer::NetworkModule;
  // Network: the management port listens on ListenAddress:ManagementPort (0 = the system's choice).
  std::string ListenAddress = "127.0.0.1";
  uint16_t ManagementPort = 1024;
  // Serial: the instrument's end of a line (a pty); empty = network.
  std::string SerialPath;
  // Serial: the line is a network module's USB CDC line shared by up to four users.
  bool UsbCdc = false;

  int IntervalMs = 100;  // one of 1, 2, 5, 10, ..., 20000
  int Channels = 4;      // 1..24
  int Mode = 0;          // 0..7, as the mode commands 0x40 + m

  TRefusal Refusal = TRefusal::None;
  int RefusalCount = 0;  // how many requests get the refusal; 0 = all

  // Zero = never. Counted from the start of each data stream.
  std::chrono::milliseconds DropAfter{0};
  std::chrono::milliseconds SilentAfter{0};
  // Network: the local address the data connections come from; empty = ListenAddress. A
  // different loopback address than ListenAddress plays a foreign host taking the connection.
  std::string ConnectFrom;
  // A user that logs on again restarts at the newest data instead of where it left off.
  bool LoseOnReconnect = false;

  uint32_t SerialNumber = 0x00E0A001;
  std::string TracePath;  // one line per report sent; empty = none
};
