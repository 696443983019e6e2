#include "support/LabJackStubControl.h"

#include <dlfcn.h>

#include <type_traits>

TLabJackStubControl::TLabJackStubControl(const std::string& path) {
  FHandle = dlopen(path.c_str(), RTLD_NOW);
  if (!FHandle) {
    const char* reason = dlerror();
    FError = reason ? reason : "dlopen failed";
    return;
  }
  const auto bind = [&](auto& fn, const char* name) {
    fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(FHandle, name));
    if (!fn) FError += std::string(FError.empty() ? "" : ", ") + name + " missing";
  };
  void (*reset)() = nullptr;
  bind(reset, "Stub_Reset");
  bind(FFailOpen, "Stub_FailOpen");
  bind(FFailRead, "Stub_FailRead");
  bind(FSetValue, "Stub_SetValue");
  bind(FSetDevices, "Stub_SetDevices");
  bind(FOpenHandles, "Stub_OpenHandles");
  bind(FReads, "Stub_Reads");
  bind(FLastOpen, "Stub_LastOpen");
  if (reset) reset();
}

TLabJackStubControl::~TLabJackStubControl() {
  if (FHandle) dlclose(FHandle);
}

TLabJackStubControl::TOpen TLabJackStubControl::LastOpen() {
  TOpen open{};
  char identifier[256] = {};
  FLastOpen(&open.DeviceType, &open.ConnectionType, identifier);
  open.Identifier = identifier;
  return open;
}
