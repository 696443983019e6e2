#include "devices/QV_BaseDevice.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <fstream>
#include <limits>
#include <optional>
#include <thread>
#include <vector>

#include "core/CircularBuffer.h"
#include "core/LogUnit.h"
#include "core/NamedEvent.h"
#include "devices/IQV_CommandSender.h"
#include "devices/QV_DeviceInfo.h"
#include "core/QV_NumberText.h"

namespace {

constexpr int CalibrationValueCount = 24;
constexpr uint32_t CalibrationAddress = 0x0007E000;
constexpr uint32_t FlashIdentityAddress = 0x0007F000;
constexpr size_t FlashSerialOffset = 48;  // bytes 49..52 of the identity block

void AppendBigEndian32(std::string& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

uint32_t BigEndian32(std::string_view bytes) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value = (value << 8) | static_cast<uint8_t>(bytes[i]);
  return value;
}

uint32_t LittleEndian32(std::string_view bytes) {
  uint32_t value = 0;
  for (size_t i = 4; i-- > 0;) value = (value << 8) | static_cast<uint8_t>(bytes[i]);
  return value;
}

std::string DottedAddress(std::string_view bytes) {
  std::string text;
  for (size_t i = 0; i < 4; ++i) text += (i ? "." : "") + std::to_string(static_cast<uint8_t>(bytes[i]));
  return text;
}

// The address part of "addr" or "addr:port".
std::string_view AddressPart(std::string_view ipAndPort) {
  ipAndPort = TrimBlanks(ipAndPort);
  return ipAndPort.substr(0, ipAndPort.find(':'));
}

std::vector<std::string_view> SplitFields(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (size_t start = 0;;) {
    const size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

std::optional<int> ParseDigits(std::string_view text, int base) {
  if (text.empty()) return std::nullopt;
  int value = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else
      return std::nullopt;
    value = value * base + digit;
  }
  return value;
}

int CurrentYear(const TClock& clock) {
  const std::time_t now = std::chrono::system_clock::to_time_t(clock.Wall());
  std::tm local{};
  localtime_r(&now, &local);
  return local.tm_year + 1900;
}

template <typename Char>
std::string Narrowed(std::basic_string_view<Char> text) {
  std::string bytes;
  for (Char c : text) bytes += static_cast<char>(c);
  return bytes;
}

bool Got(const std::string& text) { return !text.empty(); }
bool Got(bool ok) { return ok; }

}  // namespace

TQV_BaseDevice::TQV_BaseDevice(int32_t aLogId, int32_t aMultiId, std::shared_ptr<TEvent> aReceiveEvent,
                               bool aDoResetEvent, const TClock& clock)
    : FLogId(aLogId),
      FMultiId(aMultiId),
      FDoResetEvent(aDoResetEvent),
      FFreeReceiveEvent(!aReceiveEvent),
      FReceiveEvent(aReceiveEvent ? std::move(aReceiveEvent) : NamedEvent("BaseReceiveEvent")),
      FClock(clock) {
  FReceiveBuffer = std::make_unique<TCircularBuffer>(aLogId, FReceiveEvent.get(), true, clock);
  FToolsBuffer = std::make_unique<TCircularBuffer>(aLogId, nullptr, true, clock);
  SetDoResetEvent(aDoResetEvent);
}

TQV_BaseDevice::~TQV_BaseDevice() { StopSaveBinaryData(); }

// ---- Slots ----

uint32_t TQV_BaseDevice::BufferAmount() const { return FReceiveBuffer->Amount(); }

uint32_t TQV_BaseDevice::BufferHighAmount() const { return FReceiveBuffer->HighAmount(); }

void TQV_BaseDevice::SetDeviceStartState(TQV_DeviceStartState Value) {
  if (Value != FDeviceStartState)
    LogIt(FLogId, "TQV_BaseDevice.SetDeviceStartState: " + QV_DeviceStartStateName(Value));
  FDeviceStartState = Value;
}

void TQV_BaseDevice::SetLowLevelLog(bool Value) {
  if (Value != FLowLevelLog) LogIt(FLogId, "TQV_BaseDevice.SetLowLevelLog " + BoolText(Value));
  FLowLevelLog = Value;
}

void TQV_BaseDevice::SetBlockingIO(bool Value) {
  if (!FPortIsOpened) FBlockingIO = Value;
}

void TQV_BaseDevice::SetReadTimeoutMs(uint32_t Value) {
  FReadTimeoutMs = Value;
  LogIt(FLogId, "TQV_BaseDevice.SetReadTimeoutMs: " + std::to_string(Value));
}

int32_t TQV_BaseDevice::GetDelayNextCmdMs() {
  const int32_t delay = FDelayNextCmdMs;
  if (delay == 0) return 0;
  const int64_t elapsed = static_cast<int64_t>(FClock.TickMs() - FDelayNextCmdStartTime);
  if (elapsed < delay) {
    const auto remaining = static_cast<int32_t>(delay - elapsed);
    LogIt(FLogId, "TQV_BaseDevice.GetDelayNextCmdMs=" + std::to_string(remaining) + " Device=" + ToString());
    return remaining;
  }
  if (FPeerType != ptColdfire) return 0;
  // A Coldfire instrument confirms a delayed command with report 7901, which clears the delay.
  if (elapsed < int64_t(delay) + ColdfireConfirmLimitMs) {
    LogIt(FLogId, "TQV_BaseDevice.GetDelayNextCmdMs report missing 1 Device=" + ToString());
    return 1;
  }
  LogError(FLogId, "TQV_BaseDevice.GetDelayNextCmdMs report missing for " + std::to_string(elapsed) +
                       " ms -> delay finished Device=" + ToString());
  FDelayNextCmdMs = 0;
  return 0;
}

void TQV_BaseDevice::SetDelayNextCmdMs(int32_t ms) {
  LogIt(FLogId, "TQV_BaseDevice.SetDelayNextCmdMs " + std::to_string(ms) + " Device=" + ToString());
  if (ms != 0) {
    FDelayNextCmdStartTime = FClock.TickMs();
    FDelayNextCmdMs = ms;
  } else {
    LogIt(FLogId, "TQV_BaseDevice.SetDelayNextCmdms delay finished Device=" + ToString());
    FDelayNextCmdMs = 0;
  }
}

void TQV_BaseDevice::QuitError() {
  std::lock_guard lock(FErrorLock);
  FErrorCode = QV_No_Err;
  FSystemLastError = 0;
  FErrorMessage.clear();
}

template <typename Read>
auto TQV_BaseDevice::ReadOrWait(Read read) -> decltype(read()) {
  auto result = read();
  if (Got(result)) return result;
  CheckDeviceClosed();
  if (ErrorCode() == QV_No_Err && FBlockingIO && WaitReceiveEvent()) result = read();
  return result;
}

std::string TQV_BaseDevice::DeviceRead(uint8_t len) {
  return ReadOrWait([&] { return FReceiveBuffer->ReadAnsiString(len); });
}

std::string TQV_BaseDevice::DeviceReadAvailable(uint32_t maxLen) {
  return ReadOrWait([&] { return FReceiveBuffer->ReadAvailable(maxLen); });
}

std::string TQV_BaseDevice::ToolsRead(uint8_t len) { return FToolsBuffer->ReadAnsiString(len); }

std::string TQV_BaseDevice::ToolsReadAnsi(uint8_t len) { return ToolsRead(len); }

bool TQV_BaseDevice::ConfirmPeekedData(uint16_t len) { return FReceiveBuffer->ConfirmPeekedData(len); }

std::string TQV_BaseDevice::PeekAnsi(uint32_t len) {
  return ReadOrWait([&] { return FReceiveBuffer->PeekAnsiString(len); });
}

bool TQV_BaseDevice::PeekChar(uint8_t& Zeichen) {
  return ReadOrWait([&] { return FReceiveBuffer->PeekChar(Zeichen); });
}

void TQV_BaseDevice::GetBufferAmounts(uint32_t& amount, uint32_t& highAmount) const {
  FReceiveBuffer->GetAmounts(amount, highAmount);
}

std::string TQV_BaseDevice::ToString() const { return "TQV_BaseDevice"; }

// ---- Reading ----

std::string TQV_BaseDevice::ToolsReadAll() {
  std::string all;
  for (uint32_t amount; (amount = FToolsBuffer->Amount()) > 0;) {
    const std::string piece = FToolsBuffer->ReadAnsiString(std::min<uint32_t>(amount, 255));
    if (piece.empty()) break;
    all += piece;
  }
  return all;
}

bool TQV_BaseDevice::WaitReceiveEvent() {
  return FReceiveEvent->WaitFor(std::chrono::milliseconds(FReadTimeoutMs)) == TWaitResult::wrSignaled;
}

void TQV_BaseDevice::WaitSleep(uint32_t ms) {
  const TSteadyTime end = FClock.Steady() + std::chrono::milliseconds(ms);
  while (FClock.Steady() < end) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  LogIt(FLogId, "TQV_BaseDevice.WaitSleep(" + std::to_string(ms) + ") finished");
}

// ---- Queries ----

std::unique_ptr<TQV_DeviceInfo> TQV_BaseDevice::GetDeviceInfo() const {
  if (FSerialNumberValue == UnknownSerialNumber) return nullptr;
  auto info = std::make_unique<TQV_DeviceInfo>();
  info->SetSerialNumber(FSerialNumberValue);
  info->SetPeerType(FPeerType);
  info->SetHardFeature(FHardFeature32);
  return info;
}

// ---- Command classification ----

bool TQV_BaseDevice::Is7020Cmd(std::string_view cmd) {
  if (cmd.size() != 1) return false;
  const uint8_t c = cmd[0] & 0x7F;
  return c == 10 || (c >= 32 && c <= 47) || (c >= 64 && c <= 95);
}

bool TQV_BaseDevice::IsChannelCmd(std::string_view cmd) {
  if (cmd.size() == 1) {
    const uint8_t c = cmd[0] & 0x7F;
    return c >= '0' && c <= '0' + 11;
  }
  return cmd.size() == 2 && (cmd[0] & 0x7F) == '?';
}

bool TQV_BaseDevice::IsReadNVSCmd(std::string_view cmd) {
  return cmd.size() >= 2 && static_cast<uint8_t>(cmd[0]) == 0x85 && cmd[1] == 0x45;
}

bool TQV_BaseDevice::Is7020Cmd(std::u16string_view cmd) { return Is7020Cmd(Narrowed(cmd)); }
bool TQV_BaseDevice::IsChannelCmd(std::u16string_view cmd) { return IsChannelCmd(Narrowed(cmd)); }
bool TQV_BaseDevice::IsReadNVSCmd(std::u16string_view cmd) { return IsReadNVSCmd(Narrowed(cmd)); }

void TQV_BaseDevice::CheckTimeStampBytes(std::string_view ansi) {
  if (FDeviceStartState != ds_unknown) return;
  const size_t pos = ansi.find(std::string_view("\x08\x70\x16", 3));
  if (pos == std::string_view::npos || ansi.size() < pos + 7) return;
  const std::string_view counter = ansi.substr(pos + 3, 4);
  LogIt(FLogId, "TQV_BaseDevice.CheckTimeStampBytes Timestamp found " + AnsiToHex(counter));
  SetDeviceStartState(BigEndian32(counter) == 1 ? ds_ColdStart : ds_WarmStart);
}

// ---- Errors ----

void TQV_BaseDevice::SetError(TQV_Result code, const std::string& message) {
  std::lock_guard lock(FErrorLock);
  FErrorCode = code;
  FErrorMessage = message;
}

void TQV_BaseDevice::SetSystemError(uint32_t LastError, const std::string& TextHeader,
                                    const std::string& TextContent) {
  std::lock_guard lock(FErrorLock);
  FSystemLastError = LastError;
  FErrorCode = QV_System_Err;
  FErrorMessage = TextHeader + ": (" + std::to_string(LastError) + ")=" + TextContent;
}

void TQV_BaseDevice::SetSystemError(const std::string& Text) {
  const int error = errno;
  SetSystemError(static_cast<uint32_t>(error), Text, std::strerror(error));
}

TQV_Result TQV_BaseDevice::ErrorCode() const {
  std::lock_guard lock(FErrorLock);
  return FErrorCode;
}

std::string TQV_BaseDevice::ErrorMessage() const {
  std::lock_guard lock(FErrorLock);
  return FErrorMessage;
}

uint32_t TQV_BaseDevice::SystemLastError() const {
  std::lock_guard lock(FErrorLock);
  return FSystemLastError;
}

// ---- Raw-data recording ----

bool TQV_BaseDevice::StartSaveBinaryData(const std::string& filename) {
  if (FDevType > QV_Remote && FDevType != QV_CAN_Menlo) return false;
  std::lock_guard lock(FBinLock);
  FBinDataStream.reset();
  auto stream = std::make_unique<std::ofstream>(filename, std::ios::binary | std::ios::trunc);
  if (!*stream) {
    LogError(FLogId, "TQV_BaseDevice.SaveBinaryData to " + filename + " failed: " + std::strerror(errno));
    return false;
  }
  FBinDataStream = std::move(stream);
  FBinSaveRawData = filename.find("Raw") != std::string::npos;
  LogIt(FLogId, "TQV_BaseDevice.SaveBinaryData to " + filename + ", SaveRawData=" + BoolText(FBinSaveRawData));
  return true;
}

void TQV_BaseDevice::SaveBinaryData(const void* buffer, size_t count) {
  std::lock_guard lock(FBinLock);
  if (!FBinDataStream) return;
  FBinDataStream->write(static_cast<const char*>(buffer), static_cast<std::streamsize>(count));
  FBinDataStream->flush();
}

bool TQV_BaseDevice::StopSaveBinaryData() {
  std::lock_guard lock(FBinLock);
  if (!FBinDataStream) return false;
  LogIt(FLogId, "TQV_BaseDevice.StopSaveBinaryData");
  FBinDataStream.reset();
  return true;
}

// ---- Calibration data ----

bool TQV_BaseDevice::SetCalibrationDataString(const std::string& Data) {
  LogIt(FLogId, "TQV_BaseDevice.SetCalibrationDataString: " + Data);
  auto fields = SplitFields(Data, ';');
  // A closing ";" after the last value is no further value.
  if (fields.size() > 1 && fields.back().empty()) fields.pop_back();
  std::string block;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i >= CalibrationValueCount) {
      LogError(FLogId, "TQV_BaseDevice.SetCalibrationDataString invalid index: " + std::to_string(i + 1));
      return false;
    }
    const std::string text(fields[i]);
    const auto value = TextToFloat(NormaliseDecimalSeparator(text, FFormatSettings.DecimalSeparator), FFormatSettings);
    if (!value) {
      LogError(FLogId, "TQV_BaseDevice.SetCalibrationDataString not a float: " + text);
      return false;
    }
    // nearbyint rounds ties to even in the default rounding mode.
    const double scaled = std::nearbyint(*value * FCalibFactorFloatToInt);
    if (!(scaled >= std::numeric_limits<int32_t>::min() && scaled <= std::numeric_limits<int32_t>::max())) {
      LogError(FLogId, "TQV_BaseDevice.SetCalibrationDataString out of range: " + text);
      return false;
    }
    AppendBigEndian32(block, static_cast<uint32_t>(static_cast<int32_t>(scaled)));
  }
  block.resize(CalibrationValueCount * 4, '\0');
  LogIt(FLogId, "TQV_BaseDevice.SetCalibrationData");

  const std::string cmd = FPeerType == ptESP ? std::string("\x85%b\x00", 4) + block + std::string(32, '\0')
                                             : MemoryWriteCommand(CalibrationAddress, block);
  LogIt(FLogId, "{" + AnsiToHex(cmd) + "}");
  if (DeviceWrite(cmd)) return true;
  LogError(FLogId, "TQV_BaseDevice.SetCalibrationData failed cmd=" + AnsiToHex(cmd));
  return false;
}

std::string TQV_BaseDevice::MemoryWriteCommand(uint32_t address, std::string_view data) {
  std::string cmd = "\x85#";
  AppendBigEndian32(cmd, address);
  return cmd.append(data);
}

// ---- HRQ settings ----

bool TQV_BaseDevice::SetHRQDataString(const std::string& Data) {
  LogIt(FLogId, "TQV_BaseDevice.SetHRQDataString " + Data);
  THRQSettings settings;
  settings.FormatSettings = FFormatSettings;
  if (!settings.FromString(Data)) {
    LogError(FLogId, "TQV_BaseDevice.SetHRQDataString failed " + settings.ErrorStr);
    return false;
  }
  const auto blocks = settings.GetBytes();
  for (uint32_t b = 1; b <= blocks.size(); ++b) {
    const std::string& block = blocks[b - 1];
    const std::string cmd = FPeerType == ptColdfire ? MemoryWriteCommand(CalibrationAddress + 128 * b, block)
                                                    : std::string("\x85%b", 3) + static_cast<char>(b) + block;
    if (!DeviceWrite(cmd)) {
      LogError(FLogId, "TQV_BaseDevice.SetHRQData failed cmd=" + AnsiToHex(cmd));
      return false;
    }
  }
  return true;
}

bool TQV_BaseDevice::ReadHRQData(IQV_CommandSender* Sender) {
  HRQSender = Sender;
  LogIt(FLogId, "TQV_BaseDevice.ReadHRQData: HRQReadCount=" + std::to_string(HRQReadCount));
  if (HRQReadCount > 3) {
    LogError(FLogId, "TQV_BaseDevice.ReadHRQData failed: invalid HRQReadCount=" + std::to_string(HRQReadCount));
    HRQReadCount = 0;
    HRQReadCountLast = -1;
    return false;
  }
  const char slice = static_cast<char>(HRQReadCount + 1);
  const std::string cmd = FPeerType == ptESP ? std::string("\x85" "Eb") + slice : std::string("\x03") + slice;
  if (HRQReadCount == HRQReadCountLast) {
    LogError(FLogId, "TQV_BaseDevice.ReadHRQData repeat HRQReadCount=" + std::to_string(HRQReadCount));
    // A delay that only waits for a lost Coldfire confirmation would hold the repeat back.
    if (GetDelayNextCmdMs() == 1) SetDelayNextCmdMs(0);
  }
  const bool sent = Sender && Sender->SendCommand(cmd) == QV_No_Err;
  HRQReadCountLast = HRQReadCount;
  return sent;
}

std::string TQV_BaseDevice::Check7902Report(const std::string& BinaryString) {
  LogIt(FLogId, "TQV_BaseDevice.Check7902Report " + AnsiToHex(BinaryString));
  const auto first = BinaryString.empty() ? 0 : static_cast<uint8_t>(BinaryString[0]);
  std::string result;
  if (first == 0xFF) {
    if (IsHardRepeatEmptyHRQ(FHardFeature)) {
      if (HRQSender) {
        SetDelayNextCmdMs(0);
        LogIt(FLogId, "TQV_BaseDevice.Check7902Report repeat read " + std::to_string(HRQReadCount));
        ReadHRQData(HRQSender);
      }
      return {};
    }
    HRQReadSettings.Clear();
    HRQReadSettings.Update();
    result = "7902; " + HRQReadSettings.ToString();
    LogIt(FLogId, "TQV_BaseDevice.Check7902Report empty Flash Result=" + result);
  } else if (first >= 1 && first <= 4) {
    SetDelayNextCmdMs(0);
    if (first == 1) HRQReadSettings.Clear();
    HRQReadSettings.SetSlice(first, std::string_view(BinaryString).substr(1));
    if (first == 4) {
      HRQReadSettings.Update();
      result = "7902; " + HRQReadSettings.ToString();
      LogIt(FLogId, "TQV_BaseDevice.Check7902Report Result=" + result);
    } else if (HRQSender) {
      HRQReadCount = first;
      LogIt(FLogId, "TQV_BaseDevice.Check7902Report next read " + std::to_string(first));
      ReadHRQData(HRQSender);
    }
    return result;
  } else if (BinaryString.find_first_not_of('\0', 1) == std::string::npos) {
    HRQReadSettings.Clear();
    result = "7902; " + HRQReadSettings.ToString();
    LogIt(FLogId, "TQV_BaseDevice.Check7902Report empty FRAM Result=" + result);
  } else {
    result = "7902;";
    for (size_t i = 1; i + 4 <= BinaryString.size(); i += 4)
      result += " " + IntToHex(BigEndian32(std::string_view(BinaryString).substr(i, 4)), 8);
  }
  SetDelayNextCmdMs(0);
  return result;
}

// ---- Flash identity ----

void TQV_BaseDevice::ReadFlash() {
  if (FDevType != QV_CDC && FDevType != QV_Remote) {
    LogError(FLogId, "TQV_BaseDevice.ReadFlash not supported for device type " + QV_DeviceTypeName(FDevType));
    return;
  }
  if (FPeerType != ptColdfire) {
    LogError(FLogId, "TQV_BaseDevice.ReadFlash not supported for peer type " + QV_PeerTypeName(FPeerType));
    return;
  }
  if (FFirmwareVersionNumber <= 18) {
    LogError(FLogId, "TQV_BaseDevice.ReadFlash not supported FirmwareVersion=" + std::to_string(FFirmwareVersionNumber));
    return;
  }
  switch (FStatusReadFlash) {
    case rfSend: {
      FToolsBuffer->Clear();
      FToolsBuffer->BufferCleared();
      FSerialNumberValue = UnknownSerialNumber;
      FSerialNumberRead = false;
      FFlashVariables.clear();
      FReadFlashBlockSize = FlashBlockSize;
      std::string cmd("\x85\x40", 2);
      AppendBigEndian32(cmd, FlashIdentityAddress);
      cmd += static_cast<char>(FReadFlashBlockSize);
      if (DeviceWrite(cmd)) {
        FStatusReadFlash = rfCheck;
        FTickReadFlash = static_cast<uint32_t>(FClock.TickMs());
      } else {
        LogError(FLogId, "TQV_BaseDevice.ReadFlash Block1 failed: ErrorCode=" + QV_ResultName(ErrorCode()));
      }
      break;
    }
    case rfCheck:
      TakeFlashVariables();
      break;
    case rfWait:
      CheckFlashWait();
      break;
    default:
      break;
  }
  LogIt(FLogId, "TQV_BaseDevice.ReadFlash END status=" + std::to_string(FStatusReadFlash));
}

// Only whole replies are taken: a count that is not a multiple of the block size means a reply is
// still arriving (or a stale piece precedes it), and taking blocks then would misplace every field.
void TQV_BaseDevice::TakeFlashVariables() {
  const uint32_t amount = FToolsBuffer->Amount();
  if (amount == 0 || amount % FReadFlashBlockSize != 0) {
    FStatusReadFlash = rfWait;
    LogIt(FLogId, "TQV_BaseDevice.ReadFlash start wait Amount=" + std::to_string(amount));
    return;
  }
  while (FToolsBuffer->Amount() >= FReadFlashBlockSize) FFlashVariables = FToolsBuffer->ReadAnsiString(FReadFlashBlockSize);
  FSerialNumberValue = BigEndian32(std::string_view(FFlashVariables).substr(FlashSerialOffset, 4));
  FSerialNumberRead = true;
  LogIt(FLogId, "TQV_BaseDevice.ReadFlash SerialNumberValue=" + IntToHex(FSerialNumberValue, 8));
  FStatusReadFlash = rfDone;
}

void TQV_BaseDevice::CheckFlashWait() {
  const uint32_t amount = FToolsBuffer->Amount();
  if (amount > 0 && amount % FReadFlashBlockSize == 0) {
    FStatusReadFlash = rfCheck;
    TakeFlashVariables();
    return;
  }
  const std::string counts = std::to_string(amount) + ", requested=" + std::to_string(FReadFlashBlockSize);
  if (static_cast<uint32_t>(FClock.TickMs()) - FTickReadFlash >= FlashWaitMs) {
    LogError(FLogId, "TQV_BaseDevice.ReadFlash wait Failed Amount=" + counts);
    // What arrived so far must not be mistaken for the start of the next reply.
    FToolsBuffer->Clear();
    FStatusReadFlash = rfSend;
  } else {
    LogError(FLogId, "TQV_BaseDevice.ReadFlash wait again, Amount=" + std::to_string(amount));
  }
}

// ---- Connected users ----

void TQV_BaseDevice::SetUserConnected(const std::string& ansi) {
  if (ansi.size() != 16) {
    LogError(FLogId, "TQV_BaseDevice.SetUserConnected invalid string " + AnsiToHex(ansi));
    FUserConnected.clear();
    return;
  }
  std::string text = "Connected: ";
  for (size_t slot = 0; slot < 4; ++slot) {
    const std::string_view bytes = std::string_view(ansi).substr(slot * 4, 4);
    switch (BigEndian32(bytes)) {
      case 0: text += "---     "; break;
      case 2: text += "USB     "; break;
      case 3: text += "CAN     "; break;
      case 4: text += "Serial     "; break;
      default: text += DottedAddress(bytes) + "     "; break;
    }
  }
  FUserConnected = text;
  LogIt(FLogId, "TQV_BaseDevice.SetUserConnected " + text);
}

std::string TQV_BaseDevice::ConvertConnectedUsersBinToAnsi(const std::string& BinString,
                                                           const std::string& ServerIPAndPort) const {
  const std::string_view ownAddress = AddressPart(ServerIPAndPort);
  std::string text;
  for (size_t slot = 0; slot < 4 && (slot + 1) * 4 <= BinString.size(); ++slot) {
    const std::string_view bytes = std::string_view(BinString).substr(slot * 4, 4);
    // The network module sends the transport codes least significant byte first.
    const uint32_t code = FPeerType == ptESP ? LittleEndian32(bytes) : BigEndian32(bytes);
    std::string entry;
    bool me = false;
    switch (code) {
      case 0: entry = "---"; break;
      case 2: entry = "usb"; me = IsUSBDevice(); break;
      case 3: entry = "can"; me = IsCANDevice(); break;
      case 4: entry = "serial"; me = IsSerialDevice(); break;
      default:
        entry = DottedAddress(bytes);
        me = !ownAddress.empty() && entry == ownAddress;
        break;
    }
    text += "  " + std::to_string(slot + 1) + ": " + entry + (me ? " (me)" : "");
  }
  return text;
}

// ---- Identity setters ----

void TQV_BaseDevice::SetFFPGAVersion(const std::string& Value) {
  if (Value == FFPGAVersion) return;
  FFPGAVersion = Value;
  if (Value.empty()) {
    LogError(FLogId, "TQV_BaseDevice.SetFFPGAVersion: empty string");
    return;
  }
  if (Value == "FFFFFF.FF") {
    FFPGAtype = ft_unknown;
    LogError(FLogId, "TQV_BaseDevice.SetFFPGAVersion: empty FPGA");
    return;
  }
  const std::string_view text(Value);
  const auto part = [&](size_t pos) { return text.size() >= 9 ? text.substr(pos, 2) : std::string_view(); };
  const auto year = ParseDigits(part(0), 10);
  const auto month = ParseDigits(part(2), 10);
  const auto day = ParseDigits(part(4), 10);
  const auto code = ParseDigits(part(7), 16);
  if (!year || !month || !day || !code) {
    LogError(FLogId, "TQV_BaseDevice.SetFFPGAVersion: illegal FPGA version " + Value);
    return;
  }
  const std::string prefix = "TQV_BaseDevice.SetFFPGAVersion: ";
  LogIt(FLogId, prefix + "year=" + std::string(part(0)) + " -> " + std::to_string(*year));
  LogIt(FLogId, prefix + "month=" + std::string(part(2)) + " -> " + std::to_string(*month));
  LogIt(FLogId, prefix + "day=" + std::string(part(4)) + " -> " + std::to_string(*day));
  LogIt(FLogId, prefix + "code=" + std::string(part(7)) + " -> 0x" + IntToHex(*code, 2));
  const int currentYear = CurrentYear(FClock);
  if (*year + 2000 > currentYear) {
    LogError(FLogId, prefix + "illegal FPGA year " + std::to_string(*year) + ", CurrentYear=" + std::to_string(currentYear));
  } else if (*month == 0 || *month > 12) {
    LogError(FLogId, prefix + "illegal FPGA month " + std::to_string(*month));
  } else if (*day == 0 || *day > 31) {
    LogError(FLogId, prefix + "illegal FPGA day " + std::to_string(*day));
  } else {
    SetFPGATypeFromVersion(*year);
  }
}

// The network module and newer Coldfire firmware come with MicroSemi FPGAs; firmware up to 72 and
// boards from before 2022 with Altera ones.
void TQV_BaseDevice::SetFPGATypeFromVersion(int year) {
  if (FPeerType == ptESP)
    FFPGAtype = ft_MicroSemi;
  else if (FFirmwareVersionNumber <= 72)
    FFPGAtype = ft_Altera;
  else
    FFPGAtype = year > 21 ? ft_MicroSemi : ft_Altera;
  LogIt(FLogId, "TQV_BaseDevice.SetFFPGAVersion: FPGA type=" + QV_FPGATypeName(FFPGAtype));
}

void TQV_BaseDevice::SetFirmwareVersionNumber(int32_t Value) {
  if (Value != FFirmwareVersionNumber)
    LogIt(FLogId, "TQV_BaseDevice.SetFirmwareVersionNumber old=" + std::to_string(FFirmwareVersionNumber) +
                      ", new=" + std::to_string(Value));
  FFirmwareVersionNumber = Value;
  if (FPeerType == ptESP) FFlagVersion = Value > 113 ? 1 : 0;
}

void TQV_BaseDevice::GetESPFirmwareVersion(int32_t& aMajor, int32_t& aMinor) const {
  aMajor = FFirmwareVersionMajor;
  aMinor = FFirmwareVersionMinor;
}

void TQV_BaseDevice::SetESPFirmwareVersion(int32_t aMajor, int32_t aMinor) {
  if (aMajor == FFirmwareVersionMajor && aMinor == FFirmwareVersionMinor) return;
  LogIt(FLogId, "TQV_BaseDevice.SetESPFirmwareVersion old=" + std::to_string(FFirmwareVersionMajor) + "." +
                    std::to_string(FFirmwareVersionMinor) + " new=" + std::to_string(aMajor) + "." +
                    std::to_string(aMinor));
  FFirmwareVersionMajor = aMajor;
  FFirmwareVersionMinor = aMinor;
}

void TQV_BaseDevice::SetSerialNumberValue(uint32_t Value) {
  if (Value != FSerialNumberValue)
    LogIt(FLogId, "TQV_BaseDevice.SetSerialNumberValue old=" + IntToHex(FSerialNumberValue, 8) +
                      ", new=" + IntToHex(Value, 8));
  FSerialNumberValue = Value;
  FSerialNumberRead = Value != UnknownSerialNumber;
}

void TQV_BaseDevice::SetCFUserID(uint8_t Value) {
  LogIt(FLogId, "TQV_BaseDevice.SetCFUserID old=" + std::to_string(FCFuserID) + ", new=" + std::to_string(Value));
  FCFuserID = Value;
}

void TQV_BaseDevice::SetHardFeature(uint16_t Value) {
  if (Value != FHardFeature)
    LogIt(FLogId, "TQV_BaseDevice.SetHardFeature old=" + IntToHex(FHardFeature, 4) + ", new=" + IntToHex(Value, 4));
  FHardFeature = Value;
}

void TQV_BaseDevice::SetHardFeature32(uint32_t Value) {
  if (Value != FHardFeature32)
    LogIt(FLogId, "TQV_BaseDevice.SetHardFeature32 old=" + IntToHex(FHardFeature32, 8) + ", new=" + IntToHex(Value, 8));
  FHardFeature32 = Value;
  const auto low = static_cast<uint16_t>(Value & 0xFFFF);
  if (low != FHardFeature)
    LogIt(FLogId, "TQV_BaseDevice.SetHardFeature32 -> HardFeature old=" + IntToHex(FHardFeature, 4) +
                      ", new=" + IntToHex(low, 4));
  FHardFeature = low;
}

// ---- Properties ----

void TQV_BaseDevice::SetCmdResponse(TCmdResponseType Value) {
  if (Value != FCmdResponse) LogIt(FLogId, "TQV_BaseDevice.SetCmdResponse " + CmdResponseTypeName(Value));
  FCmdResponse = Value;
}

std::string TQV_BaseDevice::LastCommand() const {
  std::lock_guard lock(FLastCommandLock);
  return FLastCommand;
}

void TQV_BaseDevice::SetLastCommand(const std::string& Value) {
  bool changed = false;
  {
    std::lock_guard lock(FLastCommandLock);
    changed = Value != FLastCommand;
    FLastCommand = Value;
  }
  if (changed) LogIt(FLogId, "TQV_BaseDevice.SetLastCommand " + AnsiToHex(Value));
  const bool nvsBlockRead = Value.size() >= 4 && Value.compare(0, 3, "\x85" "Eb") == 0;
  FBlobNumber = nvsBlockRead ? static_cast<uint8_t>(Value[3]) : 255;
}

void TQV_BaseDevice::SetZCTReportHeader(uint16_t Value) {
  if (Value != FZCTReportHeader)
    LogIt(FLogId, "TQV_BaseDevice.SetZCTReportHeader: old=" + IntToHex(FZCTReportHeader, 4) + " new=" + IntToHex(Value, 4));
  FZCTReportHeader = Value;
}

void TQV_BaseDevice::SetCalibFactorFloatToInt(int32_t Value) {
  if (Value <= 0) {
    LogError(FLogId, "TQV_BaseDevice.SetCalibFactorFloatToInt invalid " + std::to_string(Value));
    return;
  }
  if (Value != FCalibFactorFloatToInt)
    LogIt(FLogId, "TQV_BaseDevice.SetCalibFactorFloatToInt old=" + std::to_string(FCalibFactorFloatToInt) +
                      ", new=" + std::to_string(Value));
  FCalibFactorFloatToInt = Value;
}

std::string TQV_BaseDevice::COMName() const {
  const size_t pos = FDevicePath.find("COM");
  return pos == std::string::npos ? std::string() : FDevicePath.substr(pos);
}

void TQV_BaseDevice::SetContextTool(bool Value) {
  if (Value == FContextTool) return;
  LogIt(FLogId, "TQV_BaseDevice.ContextTool: old=" + BoolText(FContextTool) + ", new=" + BoolText(Value));
  if (FDevType == QV_Remote) FForcedClose = true;
  const bool wasOpen = FPortIsOpened;
  ClosePort();
  FContextTool = Value;
  FPeerRepeatAddr = 0;
  if (wasOpen) {
    std::string error;
    if (!OpenPort(error)) LogError(FLogId, "TQV_BaseDevice.ContextTool: OpenPort failed " + error);
  }
}

void TQV_BaseDevice::SetDoResetEvent(bool Value) {
  FDoResetEvent = Value;
  FReceiveBuffer->SetDoResetEvent(Value);
  FToolsBuffer->SetDoResetEvent(Value);
}

void TQV_BaseDevice::SetPeerType(TQV_PeerType Value) {
  if (FDevType != QV_BinFile && FDevType != QV_TxtFile) return;
  LogIt(FLogId, "TQV_BaseDevice.SetPeerType " + QV_PeerTypeName(Value));
  FPeerType = Value;
}

void TQV_BaseDevice::SetDemoData(bool Value) {
  if (Value == FDemoData) return;
  LogIt(FLogId, "TQV_BaseDevice.SetDemoData: Wechsel reale Daten - Demodaten, lösche Empfangspuffer");
  FReceiveBuffer->Clear();
  FDemoData = Value;
}

bool TQV_BaseDevice::PortIsOpened() const { return FPortIsOpened || FReceiveBuffer->Amount() > 0; }

bool TQV_BaseDevice::ReceiveBufferCleared() { return FReceiveBuffer->BufferCleared(); }

void TQV_BaseDevice::SetUserID(uint8_t Value) { FUserID = (Value >= 1 && Value <= 4) ? Value : NoUser; }
