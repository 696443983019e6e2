#include "devices/QV_EspBlockRouter.h"

#include "core/CircularBuffer.h"
#include "core/LogUnit.h"
#include "core/QV_NumberText.h"
#include "devices/QV_BaseDevice.h"
#include "devices/QV_CmdPacing.h"
#include "devices/QV_ReportCodes.h"

namespace {

// Firmware before 1.09 answers the hardware-feature read and NVS reads with an NVS read result.
constexpr int32_t NVSReplyFirmware = 109;
constexpr uint16_t StatusBufferCleared = 255;
constexpr size_t UserTableSize = 16;

uint32_t LittleEndian32(std::string_view bytes) {
  uint32_t value = 0;
  for (size_t i = std::min<size_t>(4, bytes.size()); i-- > 0;) value = value << 8 | static_cast<uint8_t>(bytes[i]);
  return value;
}

bool IsHardFeatureBlock(const TQV_TransmitBlock& block) {
  return block.Type == TQV_TransmitBlock::btNVSBlock && (block.W & 0xFF) == 'i' && (block.W >> 8) == 5;
}

}  // namespace

TQV_EspBlockRouter::TQV_EspBlockRouter(TQV_BaseDevice& device, std::string kind, std::string tag, TWrite write)
    : FDevice(device), FKind(std::move(kind)), FTag(std::move(tag)), FWrite(std::move(write)) {}

std::string TQV_EspBlockRouter::ConnectedUsersBlock(std::string_view table, uint32_t y) {
  return BuildTransmitBlock(TQV_TransmitBlock::btMessage, rc_ConnectedUsers, 0, y & 0x00F00000,
                            static_cast<char>(table.size()) + std::string(table));
}

void TQV_EspBlockRouter::Route(const TQV_TransmitBlock& block) {
  const int32_t logId = FDevice.LogId();
  if (logId >= 0) LogIt(logId + 1, block.Dump());
  if (block.Type == TQV_TransmitBlock::btDump) {
    if (logId >= 0) LogIt(logId + 2, std::string(block.Values.c_str()));
    return;
  }
  if (block.Type == TQV_TransmitBlock::btStatus && block.W == StatusBufferCleared) {
    LogIt(logId, "### " + FKind + " TransmitReport BufferCleared ###");
    FDevice.ReceiveBuffer().Clear();
    if (IgnoreDataUntilStreamInterrupted.exchange(false))
      LogIt(logId, "### " + FKind + " Reset IgnoreDataUntilStreamInterrupted");
    FDevice.ReceiveBuffer().SetReceivedDataIgnored();
    return;
  }
  MatchReply(block);
  if (IsToolsData(block)) {
    TakeToolsData(block);
    return;
  }
  TakeUserId(block);
  if (IsHardFeatureBlock(block)) {
    const uint32_t word = LittleEndian32(block.Values);
    LogIt(logId, FKind + " HardFeature Received 0x" + IntToHex(word, 8));
    FDevice.SetHardFeature32(word);
    ReadHardFeatureRequested = false;
    if (!FDevice.Opt7019()) return;
  }
  if (IgnoreDataUntilStreamInterrupted) {
    LogIt(logId, FKind + ": IgnoreDataUntilStreamInterrupted (" + std::to_string(block.Raw.size()) + "): " +
                     AnsiToHex(block.Raw));
    FDevice.ReceiveBuffer().SetReceivedDataIgnored();
    return;
  }
  FWrite(block.Raw);
}

bool TQV_EspBlockRouter::IsToolsData(const TQV_TransmitBlock& block) {
  const int32_t logId = FDevice.LogId();
  if (block.Type == TQV_TransmitBlock::btNVSBlock)
    return (block.W & 0xFF) != 'b' && !ReadHardFeatureRequested;
  if (block.Type == TQV_TransmitBlock::btRawPayload) return true;
  if (block.Type != TQV_TransmitBlock::btNVSRead) return false;
  bool tools = true;
  const bool oldFirmware = FDevice.FirmwareVersionNumber() < NVSReplyFirmware;
  if (oldFirmware && ReadHardFeatureRequested.exchange(false)) {
    const uint32_t word = LittleEndian32(block.Payload());
    LogIt(logId, FKind + " HardFeature Received 0x" + IntToHex(word, 8));
    FDevice.SetHardFeature32(word);
    if (FDevice.Opt7019()) {
      LogIt(logId, FKind + " response to readHardFeature -> toolsData=False");
      tools = false;
    }
  }
  if (FDevice.LastCommand().starts_with("\x85" "Eb")) {
    LogIt(logId, FKind + " response is blob -> toolsData=False");
    tools = false;
  }
  if (oldFirmware && FDevice.CmdResponse() == crt_ReadNVS) FDevice.SetCmdResponse(crt_none);
  return tools;
}

void TQV_EspBlockRouter::TakeToolsData(const TQV_TransmitBlock& block) {
  const std::string data = block.Payload();
  const int32_t logId = FDevice.LogId();
  if (FDevice.LowLevelLog())
    LogIt(logId, FKind + " ToolsData Received(" + std::to_string(block.Raw.size()) + "->" +
                     std::to_string(data.size()) + "): " + AnsiToHex(data));
  if (data.size() == UserTableSize && ReadConnectedUsers.exchange(false)) {
    LogIt(logId, FKind + " ConnectedUsers Received 0x" + AnsiToHex(data));
    FWrite(ConnectedUsersBlock(data, block.Y));
    return;
  }
  FDevice.ToolsBuffer().WriteAnsiString(data);
}

void TQV_EspBlockRouter::TakeUserId(const TQV_TransmitBlock& block) {
  const auto user = static_cast<uint8_t>(block.UserIdField() + 1);
  if (user > 4) {
    LogError(FDevice.LogId(), "### " + FKind + ": TransmitReport invalid userId=0x" + IntToHex(block.UserIdField(), 2));
    return;
  }
  if (user == FDevice.UserID()) return;
  LogIt(FDevice.LogId(), "### " + FKind + ": CF-UserID=" + std::to_string(user));
  FDevice.SetCFUserID(user);
}

void TQV_EspBlockRouter::MatchReply(const TQV_TransmitBlock& block) {
  const TCmdResponseType wait = FDevice.CmdResponse();
  const int32_t logId = FDevice.LogId();
  TReplyMatch match;
  if (block.Type == TQV_TransmitBlock::btStatus && block.W < 240) {
    match = MatchStatusBlock(wait);
  } else if (block.Type == TQV_TransmitBlock::btNVSBlock && wait == crt_ReadNVS) {
    match = {true, {" TransmitReport IsNVS ->" + CmdResponseTypeName(crt_none)}};
  } else if (block.IsMeasurement()) {
    FDevice.SetZCTChannelCount(block.ValueCount);
    if (wait == crt_none) return;
    const uint16_t oldHeader = FDevice.ZCTReportHeader();
    const uint16_t newHeader = block.MeasurementHeader(FDevice.FlagVersion() != 0);
    FDevice.SetZCTReportHeader(newHeader);
    const std::string& last = FDevice.LastCommand();
    match = MatchMeasurement(wait, oldHeader, newHeader, last.empty() ? 0xFF : static_cast<uint8_t>(last[0]));
  }
  for (const std::string& line : match.Lines) LogIt(logId, FTag + line);
  if (match.Ended) FDevice.SetCmdResponse(crt_none);
}
