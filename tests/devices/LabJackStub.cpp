// A stand-in for the LabJack LJM library with the calls the program makes, for the binding's and the
// device's tests. Tests drive it through the Stub_ functions (found with dlsym on the same handle).
// Built a second time without LJM_eReadName (LABJACK_STUB_INCOMPLETE) as a library of another version.
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace {

std::mutex gLock;
int gOpenError = 0;
int gReadError = 0;
int gReadErrorAddress = -1;
int gDevices = 1;
int gNextHandle = 1;
std::map<int, bool> gOpen;  // handle -> still open
std::map<int, double> gValues;
std::string gLastIdentifier;
int gLastDeviceType = -1;
int gLastConnectionType = -1;
int gReads = 0;

// An analog input reads its address / 2 + 0.25 V unless a test set another value.
double Value(int address) {
  const auto it = gValues.find(address);
  return it != gValues.end() ? it->second : address / 2 + 0.25;
}

}  // namespace

extern "C" {

int LJM_ListAll(int deviceType, int connectionType, int* numFound, int* types, int* connections, int* serials,
                int* addresses) {
  std::lock_guard lock(gLock);
  *numFound = gDevices;
  for (int i = 0; i < gDevices; ++i) {
    types[i] = deviceType == 0 ? 4 : deviceType;
    connections[i] = connectionType == 0 ? 1 : connectionType;
    serials[i] = 440010000 + i;
    addresses[i] = 0x0A000064 + i;
  }
  return 0;
}

int LJM_Open(int deviceType, int connectionType, const char* identifier, int* handle) {
  std::lock_guard lock(gLock);
  gLastDeviceType = deviceType;
  gLastConnectionType = connectionType;
  gLastIdentifier = identifier;
  if (gOpenError != 0) return gOpenError;
  *handle = gNextHandle++;
  gOpen[*handle] = true;
  return 0;
}

int LJM_Close(int handle) {
  std::lock_guard lock(gLock);
  if (!gOpen[handle]) return 1224;  // LJME_DEVICE_NOT_OPEN
  gOpen[handle] = false;
  return 0;
}

int LJM_eReadAddress(int handle, int address, int, double* value) {
  std::lock_guard lock(gLock);
  if (!gOpen[handle]) return 1224;
  *value = Value(address);
  return 0;
}

int LJM_eReadAddresses(int handle, int count, const int* addresses, const int* types, double* values,
                       int* errorAddress) {
  std::lock_guard lock(gLock);
  ++gReads;
  if (!gOpen[handle]) return 1224;
  if (gReadError != 0) {
    *errorAddress = gReadErrorAddress;
    return gReadError;
  }
  for (int i = 0; i < count; ++i) {
    if (types[i] != 3) {  // only FLOAT32 is an analog input
      *errorAddress = addresses[i];
      return 1300;
    }
    values[i] = Value(addresses[i]);
  }
  return 0;
}

#ifndef LABJACK_STUB_INCOMPLETE
int LJM_eReadName(int handle, const char* name, double* value) {
  std::lock_guard lock(gLock);
  if (!gOpen[handle]) return 1224;
  *value = std::strcmp(name, "SERIAL_NUMBER") == 0 ? 440010000 : 0;
  return 0;
}
#endif

void LJM_ErrorToString(int code, char* text) {
  switch (code) {
    case 1224: std::snprintf(text, 256, "LJME_DEVICE_NOT_OPEN"); break;
    case 1227: std::snprintf(text, 256, "LJME_DEVICE_NOT_FOUND"); break;
    case 1239: std::snprintf(text, 256, "LJME_RECONNECT_FAILED"); break;
    default: std::snprintf(text, 256, "LJME_STUB_%d", code); break;
  }
}

void Stub_Reset() {
  std::lock_guard lock(gLock);
  gOpenError = gReadError = 0;
  gReadErrorAddress = -1;
  gDevices = 1;
  gValues.clear();
  gLastIdentifier.clear();
  gLastDeviceType = gLastConnectionType = -1;
  gReads = 0;
}

void Stub_FailOpen(int code) {
  std::lock_guard lock(gLock);
  gOpenError = code;
}

void Stub_FailRead(int code, int address) {
  std::lock_guard lock(gLock);
  gReadError = code;
  gReadErrorAddress = address;
}

void Stub_SetValue(int address, double value) {
  std::lock_guard lock(gLock);
  gValues[address] = value;
}

void Stub_SetDevices(int count) {
  std::lock_guard lock(gLock);
  gDevices = count;
}

// The arguments of the last LJM_Open.
void Stub_LastOpen(int* deviceType, int* connectionType, char* identifier) {
  std::lock_guard lock(gLock);
  *deviceType = gLastDeviceType;
  *connectionType = gLastConnectionType;
  std::snprintf(identifier, 256, "%s", gLastIdentifier.c_str());
}

int Stub_OpenHandles() {
  std::lock_guard lock(gLock);
  int count = 0;
  for (const auto& [handle, open] : gOpen) count += open ? 1 : 0;
  return count;
}

int Stub_Reads() {
  std::lock_guard lock(gLock);
  return gReads;
}

}  // extern "C"
