#include "devices/PcanBasicAdapter.h"

#include <dlfcn.h>
#include <poll.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <type_traits>

#include "core/LogUnit.h"
#include "core/QV_NumberText.h"

namespace {

// The library's message record and parameters, as its header publishes them.
struct TPCANMsg {
  uint32_t ID;
  uint8_t MSGTYPE;
  uint8_t LEN;
  uint8_t DATA[8];
};
struct TPCANTimestamp {
  uint32_t millis;
  uint16_t millis_overflow;
  uint16_t micros;
};
constexpr uint8_t kReceiveEvent = 0x03;
constexpr uint8_t kBusOffAutoReset = 0x07;
constexpr uint8_t kChannelCondition = 0x0D;
constexpr uint32_t kParameterOn = 1;
constexpr uint32_t kChannelAvailable = 1;
constexpr uint32_t kChannelOccupied = 2;
constexpr uint16_t kEnglish = 0x09;

}  // namespace

struct TPcanBasicAdapter::TApi {
  uint32_t (*Initialize)(uint16_t, uint16_t, uint8_t, uint32_t, uint16_t);
  uint32_t (*Uninitialize)(uint16_t);
  uint32_t (*GetStatus)(uint16_t);
  uint32_t (*Read)(uint16_t, TPCANMsg*, TPCANTimestamp*);
  uint32_t (*Write)(uint16_t, TPCANMsg*);
  uint32_t (*GetValue)(uint16_t, uint8_t, void*, uint32_t);
  uint32_t (*SetValue)(uint16_t, uint8_t, void*, uint32_t);
  uint32_t (*GetErrorText)(uint32_t, uint16_t, char*);
};

TPcanBasicAdapter::TPcanBasicAdapter(int32_t logId, std::string library, uint16_t channel)
    : FLogId(logId), FLibrary(std::move(library)), FChannel(channel) {}

TPcanBasicAdapter::~TPcanBasicAdapter() {
  Uninitialize();
  Unload();
}

bool TPcanBasicAdapter::Load(std::string& error) {
  std::lock_guard lock(FLock);
  if (FApi) return true;
  FHandle = dlopen(FLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!FHandle) {
    const char* reason = dlerror();
    error = "Cannot load library " + FLibrary;
    LogError(FLogId, "TMenloItem.Create " + error + (reason ? std::string(": ") + reason : std::string()));
    return false;
  }
  auto api = std::make_unique<TApi>();
  bool complete = true;
  const auto bind = [&](auto& fn, const char* name) {
    fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(FHandle, name));
    complete = complete && fn != nullptr;
  };
  bind(api->Initialize, "CAN_Initialize");
  bind(api->Uninitialize, "CAN_Uninitialize");
  bind(api->GetStatus, "CAN_GetStatus");
  bind(api->Read, "CAN_Read");
  bind(api->Write, "CAN_Write");
  bind(api->GetValue, "CAN_GetValue");
  bind(api->SetValue, "CAN_SetValue");
  bind(api->GetErrorText, "CAN_GetErrorText");
  if (!complete) {
    error = "Cannot load library " + FLibrary + ": functions missing";
    LogError(FLogId, "TMenloItem.Create " + error);
    dlclose(FHandle);
    FHandle = nullptr;
    return false;
  }
  FApi = api.release();
  return true;
}

void TPcanBasicAdapter::Unload() {
  std::lock_guard lock(FLock);
  delete FApi;
  FApi = nullptr;
  if (FHandle) dlclose(FHandle);
  FHandle = nullptr;
}

std::string TPcanBasicAdapter::LibraryText(uint32_t status) {
  char text[256] = {};
  if (FApi && FApi->GetErrorText(status, kEnglish, text) != ErrOk) text[0] = 0;
  return text;
}

std::string TPcanBasicAdapter::StatusText(uint32_t status) {
  return "(" + IntToHex(status, 8) + ")=" + LibraryText(status);
}

bool TPcanBasicAdapter::Initialize(std::string& error) {
  if (!Load(error)) return false;
  std::lock_guard lock(FLock);
  FLastStatus = FApi->GetStatus(FChannel);
  LogIt(FLogId, "TMenloItem.Create PCANStatus=" + StatusText(FLastStatus));
  if (FLastStatus == ErrInitialize) {
    LogIt(FLogId, "TMenloItem.Create Initialize CANDevice");
    FLastStatus = FApi->Initialize(FChannel, Baud125k, 0, 0, 0);
    if (FLastStatus == ErrIllegalHardware) {
      error = "No PCAN-USB device connected";
      return false;
    }
    if (FLastStatus != ErrOk) {
      error = "Initializing CAN device failed(" + IntToHex(FLastStatus, 8) + "): " + LibraryText(FLastStatus);
      return false;
    }
    FInitialized = true;
  } else {
    LogIt(FLogId, "TMenloItem.Create CANDevice already initialized");
  }
  int fd = -1;
  FLastStatus = FApi->GetValue(FChannel, kReceiveEvent, &fd, sizeof(fd));
  if (FLastStatus != ErrOk) {
    error = "Set PCAN_RECEIVE_EVENT failed: " + StatusText(FLastStatus);
    return false;
  }
  FReceiveFd = fd;
  uint32_t on = kParameterOn;
  FLastStatus = FApi->SetValue(FChannel, kBusOffAutoReset, &on, sizeof(on));
  if (FLastStatus != ErrOk) {
    error = "SetAutoBusOff failed: " + StatusText(FLastStatus);
    return false;
  }
  LogIt(FLogId, "TMenloItem PCAN_BUSOFF_AUTORESET set");
  return true;
}

void TPcanBasicAdapter::Uninitialize() {
  std::lock_guard lock(FLock);
  if (FApi && FInitialized) FApi->Uninitialize(FChannel);
  FInitialized = false;
  FReceiveFd = -1;
}

TCanReadResult TPcanBasicAdapter::Read(TCanFrame& frame, std::string& error) {
  std::lock_guard lock(FLock);
  if (!FApi) {
    error = "Cannot load library " + FLibrary;
    return TCanReadResult::Failed;
  }
  TPCANMsg msg{};
  TPCANTimestamp stamp{};
  FLastStatus = FApi->Read(FChannel, &msg, &stamp);
  if (FLastStatus == ErrQueueEmpty) return TCanReadResult::Empty;
  if (FLastStatus != ErrOk) {
    error = StatusText(FLastStatus);
    return TCanReadResult::Failed;
  }
  frame.Id = msg.ID;
  frame.MsgType = msg.MSGTYPE;
  frame.Data.assign(reinterpret_cast<const char*>(msg.DATA), std::min<size_t>(msg.LEN, 8));
  return TCanReadResult::Frame;
}

bool TPcanBasicAdapter::Write(const TCanFrame& frame, std::string& error) {
  std::lock_guard lock(FLock);
  if (!FApi) {
    error = "Cannot load library " + FLibrary;
    return false;
  }
  TPCANMsg msg{};
  msg.ID = frame.Id;
  msg.MSGTYPE = frame.MsgType;
  msg.LEN = uint8_t(std::min<size_t>(frame.Data.size(), 8));
  std::memcpy(msg.DATA, frame.Data.data(), msg.LEN);
  FLastStatus = FApi->Write(FChannel, &msg);
  if (FLastStatus == ErrOk) return true;
  error = StatusText(FLastStatus);
  return false;
}

bool TPcanBasicAdapter::WaitReceive(std::chrono::milliseconds timeout, std::string& error) {
  int fd;
  {
    std::lock_guard lock(FLock);
    fd = FReceiveFd;
  }
  if (fd < 0) {
    error = "no receive event";
    return false;
  }
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, int(timeout.count())) >= 0 || errno == EINTR) return true;
  error = std::strerror(errno);
  return false;
}

std::string TPcanBasicAdapter::Condition() {
  std::string error;
  if (!Load(error)) return "No PCAN devices installed";
  std::lock_guard lock(FLock);
  uint32_t condition = 0;
  if (FApi->GetValue(FChannel, kChannelCondition, &condition, sizeof(condition)) != ErrOk) return "No PCAN-USB device connected";
  if (condition == kChannelAvailable || (condition == kChannelOccupied && FInitialized)) return {};
  if (condition == kChannelOccupied) return "PCAN-USB device not available";
  return "No PCAN-USB device connected";
}
