#pragma once
#include <cstdint>
#include <mutex>
#include <string>

#include "devices/CanAdapter.h"

// The adapter vendor's PCAN-Basic library, loaded by name at run time: without it the program still
// runs, and opening a CAN source reports "Cannot load library ..." instead of failing to start.
class TPcanBasicAdapter : public TCanAdapter {
 public:
  static constexpr const char* DefaultLibrary = "libpcanbasic.so";
  static constexpr uint16_t UsbBus1 = 0x51;   // the first PCAN-USB channel
  static constexpr uint16_t Baud125k = 0x031C;
  // Status codes of the library that the item acts on.
  static constexpr uint32_t ErrOk = 0x00000;
  static constexpr uint32_t ErrQueueEmpty = 0x00020;
  static constexpr uint32_t ErrIllegalHardware = 0x01400;  // no such adapter
  static constexpr uint32_t ErrInitialize = 0x4000000;     // the channel is not initialised

  explicit TPcanBasicAdapter(int32_t logId, std::string library = DefaultLibrary, uint16_t channel = UsbBus1);
  ~TPcanBasicAdapter() override;
  TPcanBasicAdapter(const TPcanBasicAdapter&) = delete;
  TPcanBasicAdapter& operator=(const TPcanBasicAdapter&) = delete;

  std::string Name() const override { return "PCAN-Basic"; }
  bool Initialize(std::string& error) override;
  void Uninitialize() override;
  TCanReadResult Read(TCanFrame& frame, std::string& error) override;
  bool Write(const TCanFrame& frame, std::string& error) override;
  bool WaitReceive(std::chrono::milliseconds timeout, std::string& error) override;
  std::string Condition() override;

  // Loads the library and its functions; false with "Cannot load library " + name.
  bool Load(std::string& error);
  // The library's text of a status code, and "(" + code + ")=" + that text.
  std::string LibraryText(uint32_t status);
  std::string StatusText(uint32_t status);
  uint32_t LastStatus() const { return FLastStatus; }

 private:
  struct TApi;
  void Unload();

  int32_t FLogId;
  std::string FLibrary;
  uint16_t FChannel;
  void* FHandle = nullptr;
  TApi* FApi = nullptr;
  std::mutex FLock;
  bool FInitialized = false;
  int FReceiveFd = -1;  // the library's receive event: readable while frames wait
  uint32_t FLastStatus = ErrOk;
};
