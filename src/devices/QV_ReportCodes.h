#pragma once
#include <cstdint>

// A header word of 0x7000 or above (bit 15 removed) names a report code instead of a measurement.
constexpr uint16_t QV_LostBit = 0x8000;
constexpr uint16_t QV_FirstReportCode = 0x7000;

// The report codes the instruments and the source send.
enum TQV_ReportCode : uint16_t {
  rc_Empty = 0x7000,                  // no payload
  rc_Version = 0x7001,                // text starting "VERSION"
  rc_Word = 0x7002,                   // one 16-bit value
  rc_BlockDone = 0x7003,              // block transfer done
  rc_TwoWords = 0x7004,               // two 16-bit values
  rc_Value24 = 0x7005,                // one 24-bit value
  rc_Second = 0x7015,                 // seconds counter
  rc_TenthSecond = 0x7016,            // tenth-seconds counter
  rc_OptionWord = 0x7019,             // option word of the network module
  rc_SettingsChanged = 0x7020,        // payload: the new measurement header
  rc_ChannelSelection = 0x7021,       // not passed on
  rc_BufferCleared = 0x7022,          // the instrument cleared its buffer
  rc_ConnectedUsers = 0x7030,         // four user slots
  rc_TextMessage = 0x7040,            // text
  rc_RegisterBlock55 = 0x7055,        // 15 bytes
  rc_DigitalInputs = 0x7100,          // text
  rc_RepeatedSecond = 0x7114,         // the instrument resends an old second
  rc_RepeatedTenthSecond = 0x7115,    // the instrument resends an old tenth second
  rc_IntervalCounter = 0x7900,        // interval-counter data
  rc_Calibration = 0x7901,            // up to 24 signed 32-bit words
  rc_HRQSettings = 0x7902,            // one slice of the high-resolution channel settings
  rc_StatusBlock = 0x79A0,            // 11 bytes
  rc_ByteDump = 0x7ADC,               // bytes
  rc_Dump = 0x7ADD,                   // 16 bytes
  rc_RegisterWord = 0x7D1A,           // one 16-bit value
  rc_RegisterBlock1A = 0x7E1A,        // 11 bytes
  rc_RegisterBlock1B = 0x7E1B,        // 10 bytes
  rc_ESPText = 0x7EFF,                // text of the network module
  rc_CountFailure = 0x7F22,           // made by the source: measurement or timestamp count failure
  rc_OverflowCleared = 0x7F23,        // buffer cleared after a buffer overflow
  rc_AppData = 0x7F40,                // application data from a client of the local data server
  rc_ReSync = 0x7F51,                 // measurement re-synchronised
  rc_IVCSyncError = 0x7F90,           // made by the report processing
  rc_UnsupportedMode = 0x7FF0,        // start of the error and status codes
  rc_Error1 = 0x7FF1,                 // error reports with a sub-code
  rc_Error2 = 0x7FF2,
  rc_Error3 = 0x7FF3,
  rc_FpgaFormatError = 0x7FF4,
  rc_NoMeasurements = 0x7FF7,         // check the reference clock
  rc_RefClockOk = 0x7FF8,
  rc_RefClockInvalid = 0x7FF9,
  rc_TooManyUsers = 0x7FFA,           // or the requested user id is in use
  rc_Obsolete = 0x7FFB,               // dithering or scrambling obsolete on this model
  rc_PllUnlocked5To10 = 0x7FFD,
  rc_PllUnlocked10 = 0x7FFE,
  rc_PllUnlockedMain = 0x7FFF,
};

// True when the header word (bit 15 ignored) names a report code rather than a measurement.
constexpr bool IsReportCode(uint16_t header) {
  return (header & ~QV_LostBit & 0xFFFF) >= QV_FirstReportCode;
}
