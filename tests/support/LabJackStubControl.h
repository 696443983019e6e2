#pragma once
#include <string>

// The controls of the stand-in LJM library the tests build (tests/devices/LabJackStub.cpp),
// reached through a handle of its own on the same loaded library. Resets the stub when made.
class TLabJackStubControl {
 public:
  explicit TLabJackStubControl(const std::string& path);
  ~TLabJackStubControl();
  TLabJackStubControl(const TLabJackStubControl&) = delete;
  TLabJackStubControl& operator=(const TLabJackStubControl&) = delete;

  // Empty when every control was found, else why not.
  const std::string& Error() const { return FError; }

  void FailOpen(int code) { FFailOpen(code); }
  void FailRead(int code, int address) { FFailRead(code, address); }
  void SetValue(int address, double value) { FSetValue(address, value); }
  void SetDevices(int count) { FSetDevices(count); }
  int OpenHandles() { return FOpenHandles(); }
  int Reads() { return FReads(); }
  struct TOpen {
    int DeviceType;
    int ConnectionType;
    std::string Identifier;
  };
  TOpen LastOpen();

 private:
  void* FHandle = nullptr;
  std::string FError;
  void (*FFailOpen)(int) = nullptr;
  void (*FFailRead)(int, int) = nullptr;
  void (*FSetValue)(int, double) = nullptr;
  void (*FSetDevices)(int) = nullptr;
  int (*FOpenHandles)() = nullptr;
  int (*FReads)() = nullptr;
  void (*FLastOpen)(int*, int*, char*) = nullptr;
};
