#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "acquisition/QV_SourceLogLine.h"
#include "core/Clock.h"
#include "devices/QV_CommonTypes.h"

// The connection ("open") string of a source: how it is taken apart, which kind of connection each
// form opens, and the forms the connection dialog builds. Everything here is free of I/O; whether
// a file exists and which devices are attached is asked through the functions passed in.

using TFileExists = std::function<bool(const std::string& path)>;
// The type of the attached (enumerated) device of that name, or nothing.
using TFindDevice = std::function<std::optional<TQV_DeviceType>(const std::string& name)>;

// The open string taken apart: flags and the port and baud parts.
struct TConnectionString {
  TQV_Result Result = QV_No_Err;  // QV_Err_BadFormat for a string that starts with ':'
  bool FisZCT2 = false;
  bool FisHost = false;
  bool FReportStruct = false;
  bool FileDataLoopForEver = false;
  bool FileDataWait = false;
  uint8_t UserID = 255;  // 255 = any user
  std::string Port;
  std::string Baud;
  TSourceLogLines Log;
};

// Trims the string and removes, in this order, the prefixes "ZCT2:/" and "HOST:/", " ReportStruct",
// "USERID=" + digits, " LOOP_FOR_EVER" and " WAIT_INTERVAL" (the last three in any case); the rest
// is split at its last ':' into port and baud parts. An "ARCHIVE:" string is split after its
// address instead, so that date-times with ':' stay whole. A drive-letter path (or any path with
// ':') that names an existing file stays whole. `dbgTag` leads every diagnostic line.
TConnectionString SplitConnectionString(std::string_view s, const TFileExists& fileExists, const std::string& dbgTag);

// What an open string asks to open, with its parsed fields.
struct TOpenTarget {
  TQV_Result Result = QV_No_Err;
  std::string ErrorMessage;  // on failure: the reason (for QV_Err_BadFormat the open string follows it)
  TConnectionType Kind = ctDemoNone;
  bool IsNone = false;  // "none": nothing is opened (ctDemoNone without the simulator)
  // ctCAN
  uint8_t CanNode = 0;
  uint8_t CanChannel = 0;
  uint8_t CanType = 0x20;
  // ctNetwork, ctTCPServer, ctArchive: IPv4 address, or the host name to resolve (ResolveHost)
  std::string Address;
  bool ResolveHost = false;
  uint16_t DataPort = 0;  // ctNetwork: 0 when absent
  TWallTime ArchiveStart{};
  std::optional<TWallTime> ArchiveEnd;  // nothing = open end
  // ctUSB, ctSerial: the enumerated device name; ctFile: the path
  std::string DeviceName;
  uint32_t BaudRate = 115200;  // ctSerial
  bool ZCT2 = false;           // ctUSB: a CDC line given by its path is a network module's
};

// The open case of a split string, tried in this order: "CAN", "TCP:", "ARCHIVE:", "none", a network
// address (IPv4 or "HOST:/" name), a device of the enumeration (by port, then port ":" baud), an
// existing file, "DemoData". Failures carry the source's own error texts.
TOpenTarget ClassifyOpenTarget(const TConnectionString& split, const TFindDevice& findDevice,
                               const TFileExists& fileExists);

// The reply of a failed open: the reason, followed by the open string for a format error.
std::string OpenFailureReply(TQV_Result result, const std::string& errorMessage, std::string_view openString);
// The reply for a string that cannot even be split.
std::string InvalidConnectionStringText(std::string_view openString);

// Archive start and end times, in local time. Accepted forms:
//   "YYYY-MM-DD hh:nn:ss", "YYYY-MM-DD hh:nn", "YYYY-MM-DD",
//   "YYYYMMDD hhnnss", "YYYYMMDD hhnn", "YYYYMMDD".
std::optional<TWallTime> ParseArchiveTime(std::string_view text);
// The form the dialog writes: "YYYYMMDD hhnnss" (without ':', so older readers split it well too).
std::string ArchiveTimeText(TWallTime t);

bool IsValidIPv4(std::string_view text);
// A decimal port number 1..65535.
std::optional<uint16_t> ParsePortNumber(std::string_view text);

// One choice of the connection dialog.
struct TConnectionChoice {
  TConnectionType Kind = ctDemoNone;
  bool ZCT2 = false;          // ZCT2 counter family: prefix for the USB and network forms
  std::string Name;           // USB device name, serial port, IPv4 address or host name, file path
  bool ByHostName = false;    // ctNetwork: Name is a host name
  uint32_t Baud = 115200;     // ctSerial
  uint16_t Port = 0;          // ctNetwork (0 = none), ctTCPServer, ctArchive
  bool LoopForEver = false;   // ctFile
  bool WaitInterval = false;  // ctFile
  uint8_t CanNode = 0;
  uint8_t CanChannel = 0;
  uint8_t CanType = 0x20;
  TWallTime ArchiveStart{};
  std::optional<TWallTime> ArchiveEnd;
  bool Demo = false;     // ctDemoNone: "DemoData" instead of "none"
  uint8_t UserID = 255;  // 1..4 appends " USERID=" + id
};

// The open string of a choice, or (Complete false) the dialog's text for an incomplete choice.
struct TBuiltConnection {
  bool Complete = false;
  std::string Text;
};
TBuiltConnection BuildConnectionString(const TConnectionChoice& choice);
