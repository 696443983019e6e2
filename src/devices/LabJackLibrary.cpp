#include "devices/LabJackLibrary.h"

#include <dlfcn.h>

#include <memory>
#include <type_traits>

namespace {

// Array sizes the library's header publishes for LJM_ListAll and LJM_ErrorToString.
constexpr int kListAllSize = 128;
constexpr int kMaxNameSize = 256;

}  // namespace

struct TLabJackLibrary::TApi {
  int (*ListAll)(int, int, int*, int*, int*, int*, int*);
  int (*Open)(int, int, const char*, int*);
  int (*Close)(int);
  int (*eReadAddress)(int, int, int, double*);
  int (*eReadAddresses)(int, int, const int*, const int*, double*, int*);
  int (*eReadName)(int, const char*, double*);
  void (*ErrorToString)(int, char*);
};

std::shared_ptr<TLabJackLibrary> TLabJackLibrary::Shared() {
  static const std::shared_ptr<TLabJackLibrary> shared = std::make_shared<TLabJackLibrary>();
  return shared;
}

TLabJackLibrary::TLabJackLibrary(std::string library) : FLibrary(std::move(library)) {}

TLabJackLibrary::~TLabJackLibrary() {
  delete FApi;
  if (FHandle) dlclose(FHandle);
}

bool TLabJackLibrary::Load() { return Api() != nullptr; }

const TLabJackLibrary::TApi* TLabJackLibrary::Api() {
  std::lock_guard lock(FLoadLock);
  if (FTried) return FApi;
  FTried = true;
  FHandle = dlopen(FLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!FHandle) return nullptr;
  auto api = std::make_unique<TApi>();
  bool complete = true;
  const auto bind = [&](auto& fn, const char* name) {
    fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(FHandle, name));
    complete = complete && fn != nullptr;
  };
  bind(api->ListAll, "LJM_ListAll");
  bind(api->Open, "LJM_Open");
  bind(api->Close, "LJM_Close");
  bind(api->eReadAddress, "LJM_eReadAddress");
  bind(api->eReadAddresses, "LJM_eReadAddresses");
  bind(api->eReadName, "LJM_eReadName");
  bind(api->ErrorToString, "LJM_ErrorToString");
  if (!complete) {  // a library of another version counts as absent
    dlclose(FHandle);
    FHandle = nullptr;
    return nullptr;
  }
  FApi = api.release();
  return FApi;
}

int32_t TLabJackLibrary::ListAll(int32_t deviceType, int32_t connectionType, std::vector<TLabJackListEntry>& found) {
  found.clear();
  const TApi* api = Api();
  if (!api) return NotLoaded;
  int count = 0;
  int types[kListAllSize] = {};
  int connections[kListAllSize] = {};
  int serials[kListAllSize] = {};
  int addresses[kListAllSize] = {};
  const int error = api->ListAll(deviceType, connectionType, &count, types, connections, serials, addresses);
  if (error != NoError) return error;
  for (int i = 0; i < count && i < kListAllSize; ++i) found.push_back({types[i], connections[i], serials[i], addresses[i]});
  return NoError;
}

int32_t TLabJackLibrary::Open(int32_t deviceType, int32_t connectionType, const std::string& identifier,
                              int32_t& handle) {
  const TApi* api = Api();
  if (!api) return NotLoaded;
  int opened = 0;
  const int error = api->Open(deviceType, connectionType, identifier.c_str(), &opened);
  handle = opened;
  return error;
}

int32_t TLabJackLibrary::Close(int32_t handle) {
  const TApi* api = Api();
  return api ? api->Close(handle) : NotLoaded;
}

int32_t TLabJackLibrary::ReadAddress(int32_t handle, int32_t address, int32_t type, double& value) {
  const TApi* api = Api();
  return api ? api->eReadAddress(handle, address, type, &value) : NotLoaded;
}

int32_t TLabJackLibrary::ReadAddresses(int32_t handle, const std::vector<int32_t>& addresses, int32_t type,
                                       std::vector<double>& values, int32_t& errorAddress) {
  const TApi* api = Api();
  if (!api) return NotLoaded;
  const std::vector<int32_t> types(addresses.size(), type);
  values.assign(addresses.size(), 0.0);
  int failed = -1;
  const int error = api->eReadAddresses(handle, static_cast<int>(addresses.size()), addresses.data(), types.data(),
                                        values.data(), &failed);
  errorAddress = failed;
  return error;
}

int32_t TLabJackLibrary::ReadName(int32_t handle, const std::string& name, double& value) {
  const TApi* api = Api();
  return api ? api->eReadName(handle, name.c_str(), &value) : NotLoaded;
}

std::string TLabJackLibrary::ErrorToString(int32_t code) {
  const TApi* api = code == NotLoaded ? nullptr : Api();
  if (!api) return "Library " + FLibrary.substr(FLibrary.rfind('/') + 1) + " not loaded";
  char text[kMaxNameSize] = {};
  api->ErrorToString(code, text);
  text[kMaxNameSize - 1] = 0;
  return text;
}
