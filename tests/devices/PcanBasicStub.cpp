// A stand-in for the PCAN-Basic library with its published calls, for the loader's tests. The test
// drives it through the Stub_ functions (found with dlsym on the same handle).
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

namespace {

struct TMsg {
  uint32_t ID;
  uint8_t MSGTYPE;
  uint8_t LEN;
  uint8_t DATA[8];
};

std::mutex gLock;
bool gInitialized = false;
uint32_t gWriteStatus = 0;
uint32_t gInitializeStatus = 0;
std::deque<TMsg> gReceive;
std::vector<TMsg> gWritten;
int gEvent = -1;

}  // namespace

extern "C" {

uint32_t CAN_Initialize(uint16_t, uint16_t, uint8_t, uint32_t, uint16_t) {
  std::lock_guard lock(gLock);
  if (gInitializeStatus != 0) return gInitializeStatus;
  gInitialized = true;
  if (gEvent < 0) gEvent = eventfd(0, EFD_NONBLOCK);
  return 0;
}

uint32_t CAN_Uninitialize(uint16_t) {
  std::lock_guard lock(gLock);
  gInitialized = false;
  return 0;
}

uint32_t CAN_GetStatus(uint16_t) {
  std::lock_guard lock(gLock);
  return gInitialized ? 0 : 0x4000000;
}

uint32_t CAN_Read(uint16_t, TMsg* msg, void*) {
  std::lock_guard lock(gLock);
  if (!gInitialized) return 0x4000000;
  if (gReceive.empty()) {
    uint64_t count;
    if (gEvent >= 0) (void)read(gEvent, &count, sizeof(count));
    return 0x20;
  }
  *msg = gReceive.front();
  gReceive.pop_front();
  return 0;
}

uint32_t CAN_Write(uint16_t, TMsg* msg) {
  std::lock_guard lock(gLock);
  if (gWriteStatus != 0) return gWriteStatus;
  gWritten.push_back(*msg);
  return 0;
}

uint32_t CAN_GetValue(uint16_t, uint8_t parameter, void* buffer, uint32_t) {
  std::lock_guard lock(gLock);
  if (parameter == 0x03) {  // receive event
    std::memcpy(buffer, &gEvent, sizeof(int));
    return 0;
  }
  if (parameter == 0x0D) {  // channel condition: available
    const uint32_t available = 1;
    std::memcpy(buffer, &available, sizeof(available));
    return 0;
  }
  return 0x8000;
}

uint32_t CAN_SetValue(uint16_t, uint8_t, void*, uint32_t) { return 0; }

uint32_t CAN_GetErrorText(uint32_t status, uint16_t, char* buffer) {
  std::snprintf(buffer, 256, "stub status %x", status);
  return 0;
}

void Stub_Receive(uint32_t id, uint8_t type, const char* data, uint8_t len) {
  std::lock_guard lock(gLock);
  TMsg msg{id, type, len, {}};
  std::memcpy(msg.DATA, data, len);
  gReceive.push_back(msg);
  const uint64_t one = 1;
  if (gEvent >= 0) (void)write(gEvent, &one, sizeof(one));
}

// The written frame `index` (id, type, data); false when there is none.
bool Stub_Written(size_t index, uint32_t* id, uint8_t* type, char* data, uint8_t* len) {
  std::lock_guard lock(gLock);
  if (index >= gWritten.size()) return false;
  *id = gWritten[index].ID;
  *type = gWritten[index].MSGTYPE;
  *len = gWritten[index].LEN;
  std::memcpy(data, gWritten[index].DATA, 8);
  return true;
}

void Stub_FailWrites(uint32_t status) {
  std::lock_guard lock(gLock);
  gWriteStatus = status;
}

void Stub_FailInitialize(uint32_t status) {
  std::lock_guard lock(gLock);
  gInitializeStatus = status;
}

bool Stub_Initialized() {
  std::lock_guard lock(gLock);
  return gInitialized;
}

}  // extern "C"
