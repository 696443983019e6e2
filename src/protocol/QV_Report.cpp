#include "protocol/QV_Report.h"

#include <algorithm>
#include <cstring>

#include "core/QV_NumberText.h"
#include "devices/QV_ReportCodes.h"

namespace {

std::string Hex(uint64_t value, int digits) {
  static constexpr char HexDigits[] = "0123456789ABCDEF";
  std::string text(digits, '0');
  for (int i = digits - 1; i >= 0; --i, value >>= 4) text[i] = HexDigits[value & 0xF];
  return text;
}

// 1234567 -> "1.234.567"
std::string DottedThousands(int64_t value) {
  std::string digits = std::to_string(value);
  const size_t first = digits[0] == '-' ? 1 : 0;
  for (size_t pos = digits.size(); pos > first + 3; pos -= 3) digits.insert(pos - 3, 1, '.');
  return digits;
}

// Message payloads that are text in the debug form; the others are shown in hex.
bool IsTextMessage(uint16_t header) {
  return header == rc_Version || header == rc_BufferCleared || header == rc_ConnectedUsers ||
         header == rc_OverflowCleared || header == rc_AppData || header >= rc_UnsupportedMode;
}

template <typename T, size_t N>
std::array<T, N> ContentArray(const TQV_ReportStructBase& record) {
  std::array<T, N> values{};
  const size_t bytes = std::min<size_t>(std::max(record.Len, 0), sizeof values);
  std::memcpy(values.data(), record.Content, bytes);
  return values;
}

template <typename T>
T ContentValue(const TQV_ReportStructBase& record, int index) {
  T value;
  std::memcpy(&value, record.Content + index * sizeof(T), sizeof(T));
  return value;
}

}  // namespace

std::string ReportTypeName(TQV_ReportType type) {
  switch (type) {
    case rt_None: return "None";
    case rt_Error: return "Error";
    case rt_Message: return "Message";
    case rt_Phase: return "Phase";
    case rt_Double: return "Double";
    case rt_Int32: return "Int32";
  }
  return std::to_string(static_cast<int>(type));
}

void TQV_ReportStruct::Clear() {
  std::memset(&FIntern, 0, sizeof FIntern);
  FDbgString.clear();
}

void TQV_ReportStruct::SetDeviceMs(int64_t ms) {
  FIntern.DeviceMs = ms;
  FDbgString.clear();
}

void TQV_ReportStruct::Reset(TQV_ReportType type, uint16_t header, int32_t len) {
  const int64_t deviceMs = FIntern.DeviceMs;
  Clear();
  FIntern.DeviceMs = deviceMs;
  FIntern.ReportType = type;
  FIntern.Header = header;
  FIntern.Len = len;
}

int32_t TQV_ReportStruct::GetHeader() const {
  const auto type = GetReportType();
  return type == rt_None || type == rt_Error ? -1 : FIntern.Header;
}

int TQV_ReportStruct::GetChannelCount() const {
  int size = 0;
  switch (GetReportType()) {
    case rt_Phase: size = sizeof(Phase); break;
    case rt_Double: size = sizeof(double); break;
    case rt_Int32: size = sizeof(uint32_t); break;
    default: return 0;
  }
  return FIntern.Len > 0 && FIntern.Len % size == 0 ? FIntern.Len / size : 0;
}

std::string TQV_ReportStruct::GetContent() const {
  const size_t len = std::clamp(FIntern.Len, 0, QV_ReportContentSize);
  return std::string(reinterpret_cast<const char*>(FIntern.Content), len);
}

uint16_t TQV_ReportStruct::GetContentWord() const {
  if (FIntern.Len < 2) return 0xFFFF;
  return static_cast<uint16_t>(FIntern.Content[0] << 8 | FIntern.Content[1]);
}

uint32_t TQV_ReportStruct::GetContentCardinal() const {
  if (FIntern.Len < 4) return 0xFFFFFFFF;
  const uint8_t* c = FIntern.Content;
  return uint32_t{c[0]} << 24 | uint32_t{c[1]} << 16 | uint32_t{c[2]} << 8 | c[3];
}

int64_t TQV_ReportStruct::GetTimeStamp() const {
  const int32_t header = GetHeader();
  return header == rc_Second || header == rc_TenthSecond ? int64_t{GetContentCardinal()} : -1;
}

void TQV_ReportStruct::SetTimestamp(uint32_t value) {
  const uint8_t bytes[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                            static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
  SetMessage(rc_TenthSecond, sizeof bytes, bytes);
}

TQV_Result TQV_ReportStruct::GetErrorCode() const {
  return GetReportType() == rt_Error ? static_cast<TQV_Result>(FIntern.ErrorCode) : QV_No_Err;
}

std::string TQV_ReportStruct::GetErrorText() const { return GetReportType() == rt_Error ? GetContent() : ""; }

void TQV_ReportStruct::SetError(TQV_Result code, std::string_view text) {
  if (text.size() > QV_ReportContentSize) {
    SetError(QV_Err_BadFormat, "Error text too long (" + std::to_string(text.size()) + ")");
    return;
  }
  Reset(rt_Error, 0, static_cast<int32_t>(text.size()));
  FIntern.ErrorCode = code;
  if (!text.empty()) std::memcpy(FIntern.Content, text.data(), text.size());
}

void TQV_ReportStruct::SetMessage(uint16_t header, std::string_view data) { SetMessage(header, data.size(), data.data()); }

void TQV_ReportStruct::SetMessage(uint16_t header, size_t len, const void* data) {
  if (len > QV_ReportContentSize) {
    SetError(QV_Err_BadFormat, "Message too long (" + std::to_string(len) + ")");
    return;
  }
  Reset(rt_Message, header, static_cast<int32_t>(len));
  if (len > 0) std::memcpy(FIntern.Content, data, len);
}

void TQV_ReportStruct::SetDoubles(uint16_t header, size_t len, const void* data) {
  if (len > QV_ReportContentSize || len % sizeof(double) != 0) {
    SetError(QV_Err_BadFormat, "Invalid data len " + std::to_string(len));
    return;
  }
  SetValues(rt_Double, header, static_cast<int>(len / sizeof(double)), sizeof(double), QV_ReportContentSize, data);
}

void TQV_ReportStruct::SetDoubles(uint16_t header, int channels, const TQV_Doubles& data) {
  SetValues(rt_Double, header, channels, sizeof(double), data.size(), data.data());
}

void TQV_ReportStruct::SetInt32(uint16_t header, int channels, const TQV_Int32& data) {
  SetValues(rt_Int32, header, channels, sizeof(uint32_t), data.size(), data.data());
}

void TQV_ReportStruct::SetPhases(uint16_t header, int channels, const TQV_ReportPhases& data) {
  SetValues(rt_Phase, header, channels, sizeof(Phase), data.size(), data.data());
}

void TQV_ReportStruct::SetValues(TQV_ReportType type, uint16_t header, int channels, size_t valueSize,
                                 int maxChannels, const void* data) {
  if (channels < 0 || channels > maxChannels) {
    SetError(QV_Err_BadFormat, "Invalid channel count " + std::to_string(channels));
    return;
  }
  const size_t len = channels * valueSize;
  Reset(type, header, static_cast<int32_t>(len));
  if (len > 0) std::memcpy(FIntern.Content, data, len);
}

TQV_Doubles TQV_ReportStruct::GetDoubles() const { return ContentArray<double, QV_MaxChannels>(FIntern); }

TQV_Int32 TQV_ReportStruct::GetInts32() const { return ContentArray<uint32_t, 2 * QV_MaxChannels>(FIntern); }

TQV_ReportPhases TQV_ReportStruct::GetPhases() const { return ContentArray<Phase, QV_MaxChannels>(FIntern); }

const std::string& TQV_ReportStruct::ToDbgString() const {
  if (FDbgString.empty()) FDbgString = BuildDbgString();
  return FDbgString;
}

std::string TQV_ReportStruct::BuildDbgString() const {
  const auto type = GetReportType();
  if (type == rt_None) return "";
  if (type == rt_Error) return "Error " + QV_ResultName(GetErrorCode()) + ": " + GetErrorText();

  std::string text = ReportTypeName(type) + " ms=" + DottedThousands(FIntern.DeviceMs) + " header=0x" +
                     Hex(FIntern.Header, 4) + " len=" + std::to_string(FIntern.Len);
  switch (type) {
    case rt_Message:
      if (FIntern.Len == 2) {
        text += " 0x" + Hex(GetContentWord(), 4);
      } else if (FIntern.Len == 4) {
        text += " 0x" + Hex(GetContentCardinal(), 8);
      } else if (IsTextMessage(FIntern.Header)) {
        text += " " + GetContent();
      } else {
        text += " ";
        for (unsigned char byte : GetContent()) text += Hex(byte, 2);
      }
      break;
    case rt_Phase:
      text += " Phases: ";
      for (int i = 0; i < GetChannelCount(); ++i) text += " " + ContentValue<Phase>(FIntern, i).ToString();
      break;
    case rt_Double:
      text += " Doubles:";
      for (int i = 0; i < GetChannelCount(); ++i) text += " " + FloatToShortest(ContentValue<double>(FIntern, i));
      break;
    case rt_Int32:
      text += " Int32:  ";
      for (int i = 0; i < GetChannelCount(); ++i) text += " " + Hex(ContentValue<uint32_t>(FIntern, i), 8);
      break;
    default: break;
  }
  return text;
}

std::string TQV_ReportStruct::ToDoubleString() const {
  if (GetReportType() != rt_Double) return "";
  std::string text;
  for (int i = 0; i < GetChannelCount(); ++i) text += FormatFloatFixed(ContentValue<double>(FIntern, i), 14, 3) + ";";
  return text;
}
