#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "devices/QV_CommonTypes.h"
#include "protocol/Phase.h"

// What a structured report record carries.
enum TQV_ReportType : uint8_t { rt_None = 0, rt_Error = 1, rt_Message = 2, rt_Phase = 3, rt_Double = 4, rt_Int32 = 5 };

// "None", "Error", "Message", "Phase", "Double", "Int32"; the decimal number for other values.
std::string ReportTypeName(TQV_ReportType type);

constexpr int QV_MaxChannels = 24;
constexpr int QV_ReportContentSize = 496;

using TQV_ReportPhases = std::array<Phase, QV_MaxChannels>;
using TQV_Doubles = std::array<double, QV_MaxChannels>;
using TQV_Int32 = std::array<uint32_t, 2 * QV_MaxChannels>;

// The fixed 520-byte image of a report record, cleared and copied as a whole and archived byte for
// byte. Every byte is a named field, so copies and comparisons see no stray padding.
struct TQV_ReportStructBase {
  uint8_t ReportType;  // TQV_ReportType
  uint8_t Reserved1[7];
  int64_t DeviceMs;    // device time of the report in ms, -1 = none
  uint8_t ErrorCode;   // TQV_Result, for rt_Error
  uint8_t Reserved2;
  uint16_t Header;     // header word or report code
  int32_t Len;         // valid content bytes, at most QV_ReportContentSize
  uint8_t Content[QV_ReportContentSize];
};

static_assert(sizeof(TQV_ReportStructBase) == 520);
static_assert(offsetof(TQV_ReportStructBase, ReportType) == 0);
static_assert(offsetof(TQV_ReportStructBase, DeviceMs) == 8);
static_assert(offsetof(TQV_ReportStructBase, ErrorCode) == 16);
static_assert(offsetof(TQV_ReportStructBase, Header) == 18);
static_assert(offsetof(TQV_ReportStructBase, Len) == 20);
static_assert(offsetof(TQV_ReportStructBase, Content) == 24);
static_assert(std::has_unique_object_representations_v<TQV_ReportStructBase>);
static_assert(sizeof(Phase) == 16 && std::is_trivially_copyable_v<Phase>);

// One decoded report as a record: a measurement (phases, doubles or 32-bit words per channel), a
// message (report code and payload) or an error. Every setter keeps DeviceMs.
class TQV_ReportStruct {
 public:
  TQV_ReportStruct() { Clear(); }

  // All 520 bytes 0.
  void Clear();
  // The record's 520 bytes as one array.
  const uint8_t* Buffer() const { return reinterpret_cast<const uint8_t*>(&FIntern); }

  TQV_ReportType GetReportType() const { return static_cast<TQV_ReportType>(FIntern.ReportType); }
  int64_t GetDeviceMs() const { return FIntern.DeviceMs; }
  void SetDeviceMs(int64_t ms);
  // Header or report code; -1 for records of type none or error.
  int32_t GetHeader() const;
  // Values in the record: Len / 16 (phase), / 8 (double), / 4 (int32) when it divides; else 0.
  int GetChannelCount() const;
  std::string GetContent() const;
  // The first content bytes, most significant first; 0xFFFF / 0xFFFFFFFF when too short.
  uint16_t GetContentWord() const;
  uint32_t GetContentCardinal() const;
  // The counter of a 0x7015 or 0x7016 message; -1 for other records.
  int64_t GetTimeStamp() const;
  void SetTimestamp(uint32_t value);
  TQV_Result GetErrorCode() const;
  std::string GetErrorText() const;

  void SetError(TQV_Result code, std::string_view text);
  void SetMessage(uint16_t header, std::string_view data);
  void SetMessage(uint16_t header, size_t len, const void* data);
  // Raw doubles, len a multiple of 8 and at most QV_ReportContentSize.
  void SetDoubles(uint16_t header, size_t len, const void* data);
  void SetDoubles(uint16_t header, int channels, const TQV_Doubles& data);
  void SetInt32(uint16_t header, int channels, const TQV_Int32& data);
  void SetPhases(uint16_t header, int channels, const TQV_ReportPhases& data);

  // The content copied into zeroed arrays (what does not fit is left out).
  TQV_Doubles GetDoubles() const;
  TQV_Int32 GetInts32() const;
  TQV_ReportPhases GetPhases() const;

  // Diagnostic text, kept until the record changes.
  const std::string& ToDbgString() const;
  // For rt_Double every value as "%14.3f;"; empty for other types.
  std::string ToDoubleString() const;

 private:
  // Clears the record for a new content but keeps DeviceMs.
  void Reset(TQV_ReportType type, uint16_t header, int32_t len);
  // Content of `len` bytes from data, or the error for a too-large count of values.
  void SetValues(TQV_ReportType type, uint16_t header, int channels, size_t valueSize, int maxChannels,
                 const void* data);
  std::string BuildDbgString() const;

  TQV_ReportStructBase FIntern;
  mutable std::string FDbgString;
};
