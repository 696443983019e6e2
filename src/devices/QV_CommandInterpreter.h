#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "devices/QV_CommonTypes.h"

// Interval in ms of the rate indexes 0..13 of the command set (1 ms .. 20 s).
inline constexpr std::array<int32_t, 14> QV_RateIntervalMs = {1,   2,   5,    10,   20,   50,    100,
                                                               200, 500, 1000, 2000, 5000, 10000, 20000};

// Parses the byte commands of the Coldfire firmware as the instrument would: a command is accepted
// (its values and request flag set) or refused with QV_CmdIgnored and a text. The simulator owns
// one. The request flags are read-and-reset, so that each request is served once; they are atomic
// because the simulator's worker takes the maintenance requests while commands arrive on the
// report thread.
class TQV_CommandInterpreter {
 public:
  explicit TQV_CommandInterpreter(int32_t aLogId);
  TQV_CommandInterpreter(const TQV_CommandInterpreter&) = delete;
  TQV_CommandInterpreter& operator=(const TQV_CommandInterpreter&) = delete;

  // Each 16-bit character stands for one byte.
  bool CheckCommand(std::u16string_view Data);
  bool CheckCommand(std::string_view Cmd);

  TQV_Result ErrorCode() const { return FErrorCode; }
  const std::string& ErrorMessage() const { return FErrorMessage; }
  int32_t ChannelCount() const { return FChannelCount; }
  int32_t DAC() const { return FDAC; }
  uint8_t HRQBlock() const { return FHRQBlock; }
  uint16_t FRAMAdr() const { return FFRAMAdr; }
  const std::string& FRAMContent() const { return FFRAMContent; }
  uint8_t Mode() const { return FMode; }
  void SetMode(uint8_t Value) { FMode = Value; }
  int32_t Interval() const { return FInterval; }
  uint8_t Rate() const { return FRate; }
  uint8_t Scrambler() const { return FScrambler; }  // 0 off, 1 auto, 2 trim

  // Read-and-reset request flags.
  bool ChannelCountCmd() { return FChannelCountCmd.exchange(false); }
  bool ClearBuffer() { return FClearBuffer.exchange(false); }
  bool GetCalibCmd() { return FGetCalibCmd.exchange(false); }
  bool GetHRQCmd() { return FGetHRQCmd.exchange(false); }
  bool IntervalCmd() { return FIntervalCmd.exchange(false); }
  bool ModeCmd() { return FModeCmd.exchange(false); }
  bool ResetPhaseDiffCmd() { return FResetPhaseDiffCmd.exchange(false); }
  bool ReSyncCmd() { return FReSyncCmd.exchange(false); }
  bool ScramblerCmd() { return FScramblerCmd.exchange(false); }
  bool SetDACCmd() { return FSetDACCmd.exchange(false); }
  bool VersionCmd() { return FVersionCmd.exchange(false); }
  bool WriteFRAMCmd() { return FWriteFRAMCmd.exchange(false); }

 private:
  bool CheckSingleByte(uint8_t c, std::string_view cmd);
  bool CheckMultiByte(std::string_view cmd);
  bool CheckExtended(std::string_view cmd);
  bool Refuse(const std::string& message);
  bool Unknown(std::string_view cmd);

  int32_t FLogId;
  TQV_Result FErrorCode = QV_No_Err;
  std::string FErrorMessage;
  int32_t FChannelCount = 4;
  int32_t FDAC = 0;
  std::atomic<uint8_t> FHRQBlock = 0;
  uint16_t FFRAMAdr = 0;
  std::string FFRAMContent;
  uint8_t FMode = 0;
  uint8_t FRate = 9;
  int32_t FInterval = 1000;
  uint8_t FScrambler = 0;

  std::atomic<bool> FChannelCountCmd = false;
  std::atomic<bool> FClearBuffer = false;
  std::atomic<bool> FGetCalibCmd = false;
  std::atomic<bool> FGetHRQCmd = false;
  std::atomic<bool> FIntervalCmd = false;
  std::atomic<bool> FModeCmd = false;
  std::atomic<bool> FResetPhaseDiffCmd = false;
  std::atomic<bool> FReSyncCmd = false;
  std::atomic<bool> FScramblerCmd = false;
  std::atomic<bool> FSetDACCmd = false;
  std::atomic<bool> FVersionCmd = false;
  std::atomic<bool> FWriteFRAMCmd = false;
};
