#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// One device that LJM_ListAll found.
struct TLabJackListEntry {
  int32_t DeviceType = 0;
  int32_t ConnectionType = 0;
  int32_t SerialNumber = 0;
  int32_t IPAddress = 0;
  bool operator==(const TLabJackListEntry&) const = default;
};

// The LabJack LJM library, loaded by name at first use: without it (or with any of its functions
// missing) the program still runs and every call answers NotLoaded, whose text is
// "Library libLabJackM.so not loaded". Calls return the library's error code (0 = none).
class TLabJackLibrary {
 public:
  static constexpr const char* DefaultLibrary = "libLabJackM.so";
  // The library's own constants that the device uses.
  static constexpr int32_t NoError = 0;
  static constexpr int32_t NotLoaded = -1;  // ours: the library's codes are never negative
  static constexpr int32_t dtANY = 0;
  static constexpr int32_t dtT4 = 4;
  static constexpr int32_t ctANY = 0;
  static constexpr int32_t ctUSB = 1;
  static constexpr int32_t ctETHERNET = 3;
  static constexpr int32_t FLOAT32 = 3;
  static constexpr const char* DemoIdentifier = "-2";

  // `library` is the name dlopen looks for, or a path (tests point it at a stand-in).
  explicit TLabJackLibrary(std::string library = DefaultLibrary);
  ~TLabJackLibrary();
  TLabJackLibrary(const TLabJackLibrary&) = delete;
  TLabJackLibrary& operator=(const TLabJackLibrary&) = delete;

  // The program's one binding of libLabJackM.so, shared by its devices and by whoever asks whether
  // LabJack sources can be offered (Load()).
  static std::shared_ptr<TLabJackLibrary> Shared();

  // Loads the library on the first call; later calls answer at once. Safe from any thread.
  bool Load();

  int32_t ListAll(int32_t deviceType, int32_t connectionType, std::vector<TLabJackListEntry>& found);
  int32_t Open(int32_t deviceType, int32_t connectionType, const std::string& identifier, int32_t& handle);
  int32_t Close(int32_t handle);
  int32_t ReadAddress(int32_t handle, int32_t address, int32_t type, double& value);
  // One value per address, all of one type; on failure `errorAddress` names the address that failed.
  int32_t ReadAddresses(int32_t handle, const std::vector<int32_t>& addresses, int32_t type, std::vector<double>& values,
                        int32_t& errorAddress);
  int32_t ReadName(int32_t handle, const std::string& name, double& value);
  // The library's name of an error code; NotLoaded gives "Library libLabJackM.so not loaded".
  std::string ErrorToString(int32_t code);

 private:
  struct TApi;
  const TApi* Api();

  std::string FLibrary;
  std::mutex FLoadLock;
  bool FTried = false;
  void* FHandle = nullptr;
  TApi* FApi = nullptr;
};
