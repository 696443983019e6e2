#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "devices/QV_CommonTypes.h"

// Result codes of the procedural source interface (a numbering of its own, distinct from
// TQV_Result) and the rules for texts handed out through caller buffers.
enum TMultiResult : int32_t {
  mrError = 0,  // other error; also "open failed"
  mrOk = 1,
  mrWriteError = 3,
  mrServerDown = 4,
  mrOkTextCut = 6,       // success, but the text did not fit the caller's buffer and was cut
  mrNotConnected = 7,    // device not connected, end of file, or disconnected
  mrBufferOverflow = 8,  // receive buffer overflow
  mrHardwareFault = 9,
  mrUnknownSource = 10,  // unknown source id; also a refused command
  mrCmdIgnored = 11,
  mrNotSupported = 12,  // not supported by this device or firmware
  mrReconnected = 13,
  mrRecovered = 14,  // connection recovered after an interruption
  mrException = 15,
};

TMultiResult MultiResultFromQV(TQV_Result result);

// Size of every caller buffer of the interface, terminating zero included.
constexpr size_t MultiBufferSize = 1024;

// Copies `text` into the caller's buffer with a terminating zero, cut to fit; true when it was cut.
// A null buffer or size 0 receives nothing (and counts as cut when there was text).
bool CopyToCallerBuffer(std::string_view text, char* buffer, size_t bufferSize = MultiBufferSize);
// A successful read whose text was cut reports mrOkTextCut instead of mrOk.
TMultiResult CutResult(TMultiResult code, bool cut);

// "Source-ID " + id + " not found".
std::string SourceNotFoundText(int32_t id);

// Version text of the interface: version 20.2.7 of 2025-01-07.
const char* MultiDllInfo();
// The main window works with interface version 20.2.0 or later: major.minor.patch, all numbers.
bool MultiDllVersionAcceptable(std::string_view info);
