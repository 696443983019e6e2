#pragma once
#include <chrono>
#include <cstdint>
#include <string>

// One CAN data or status frame as the adapter hands it over.
struct TCanFrame {
  uint32_t Id = 0;
  uint8_t MsgType = 0;  // TCanAdapter::MsgExtended, MsgStatus (bit 7), 0 = standard
  std::string Data;     // up to 8 bytes
};

enum class TCanReadResult { Frame, Empty, Failed };

// The host's CAN adapter channel, as the Menlo item uses it: brought up at 125 kbit/s, read until its
// receive queue is empty, waited on for new frames, written with extended frames. Identifiers are
// matched by the caller. Calls may come from several threads; implementations serialise them.
class TCanAdapter {
 public:
  static constexpr uint8_t MsgStandard = 0x00;
  static constexpr uint8_t MsgExtended = 0x02;
  static constexpr uint8_t MsgStatus = 0x80;

  virtual ~TCanAdapter() = default;
  // "PCAN-Basic", "SocketCAN can0", ...
  virtual std::string Name() const = 0;
  // Brings the channel up and arms the receive notification; false with the reason in `error`.
  virtual bool Initialize(std::string& error) = 0;
  virtual void Uninitialize() = 0;
  // One frame from the receive queue; Empty when the queue holds none; Failed with `error`.
  virtual TCanReadResult Read(TCanFrame& frame, std::string& error) = 0;
  virtual bool Write(const TCanFrame& frame, std::string& error) = 0;
  // Returns when frames may be waiting (true) or the time is up (true as well); false with `error`
  // when the wait itself failed.
  virtual bool WaitReceive(std::chrono::milliseconds timeout, std::string& error) = 0;
  // Empty when the channel can be used, else why not ("No PCAN-USB device connected", ...).
  virtual std::string Condition() = 0;
};
