#pragma once
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "devices/QV_BaseDevice.h"

class TMenloItem;

// Refused CAN addresses and names; the source reports them as CAN errors.
class ECANDevice : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An instrument on a node of a Menlo CAN bus, reached through the program's adapter channel
// (TMenloItem). Its byte stream comes in data frames of up to 8 bytes; commands go out the same way,
// led by their length byte.
class TQV_CANDeviceItem : public TQV_BaseDevice {
 public:
  static constexpr uint8_t TypeCoarse = 0x20;
  static constexpr uint8_t TypeFine = 0x21;

  // Checks the address and the protocol name (throws ECANDevice); connects nothing yet.
  TQV_CANDeviceItem(int32_t aLogId, int32_t aMultiId, std::shared_ptr<TEvent> aReceiveEvent, bool aDoResetEvent,
                    uint8_t type, uint8_t channel, uint8_t node, const std::string& protocolName,
                    const TClock& clock = SystemClock());
  ~TQV_CANDeviceItem() override;

  static uint32_t CommandId(uint8_t type, uint8_t node, uint8_t channel);
  static uint32_t ReceiveId(uint8_t type, uint8_t node, uint8_t channel);
  static uint32_t HeartbeatId(uint8_t type, uint8_t node);
  // The frames of one command: its length byte and the command, in pieces of up to 8 bytes.
  static std::vector<std::string> CommandFrames(const std::string& command);
  // Empty when CAN can be used, else why not.
  static std::string CheckCAN();

  // Joins the adapter channel and checks that no one else reads this node and channel.
  TQV_Result Connect(std::string& error);

  bool OpenPort(std::string& ErrorMsg) override;
  bool ClosePort() override;
  bool DeviceWrite(const std::string& Data) override;
  bool CheckDeviceClosed() override;
  std::string ToString() const override { return "QV_CAN: " + FName; }

  const std::string& Name() const { return FName; }
  uint8_t Node() const { return FNode; }
  uint8_t Channel() const { return FChannel; }
  uint8_t Type() const { return FType; }
  uint32_t CommandID() const { return FCommandId; }
  uint32_t ReceiveID() const { return FReceiveId; }
  uint32_t HeartbeatID() const { return FHeartbeatId; }
  bool Connected() const { return FMenlo != nullptr; }

 private:
  friend class TMenloItem;
  // ---- called by the adapter item's reader ----
  void TakeBytes(const std::string& bytes);
  void ClearStream();
  void LearnPeer(TQV_PeerType peer);
  // Writes the log-on command (with the requested user slot).
  bool LogOn();
  void Refuse(TQV_Result code, const std::string& message) { SetError(code, message); }
  void FailSystem(const std::string& header, const std::string& text) { SetSystemError(0, header, text); }

  void Disconnect();
  bool Fail(const std::string& message, std::string& ErrorMsg);
  bool WriteFrames(const std::string& Data);

  uint8_t FType;
  uint8_t FChannel;
  uint8_t FNode;
  std::string FName;
  uint32_t FCommandId;
  uint32_t FReceiveId;
  uint32_t FHeartbeatId;
  std::string FDbgTag = "TQV_CANDeviceItem";
  bool FFirstCommand = false;
  std::shared_ptr<TMenloItem> FMenlo;
};
