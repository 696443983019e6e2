#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>
#include <vector>

#include "devices/QV_CommonTypes.h"

// What the program knows about one physical instrument. Accessors take 1-based indexes (users 1..4,
// channels 1..24) and ignore indexes outside them.
class TQV_DeviceInfo {
 public:
  static constexpr uint32_t UnknownSerialNumber = 0xFFFFFFFF;

  TQV_DeviceInfo();

  std::string ConnectedUser(int user) const;
  void SetConnectedUser(int user, const std::string& value);
  std::string ConnectedUserU2(int user) const;
  void SetConnectedUserU2(int user, const std::string& value);
  double NominalFreq(int channel) const;
  void SetNominalFreq(int channel, double value);
  // The 24 values in shortest text (plain notation for everyday magnitudes), each followed by ";".
  std::string GetNominalFreqString() const;

  uint32_t HardFeature() const { return FHardFeature; }
  void SetHardFeature(uint32_t value) { FHardFeature = value; }
  int32_t Index() const { return FIndex; }
  void SetIndex(int32_t value) { FIndex = value; }
  const std::string& IPAddress() const { return FIPAddress; }
  void SetIPAddress(const std::string& value) { FIPAddress = value; }
  TQV_PeerType PeerType() const { return FPeerType; }
  void SetPeerType(TQV_PeerType value) { FPeerType = value; }
  uint32_t SerialNumber() const { return FSerialNumber; }
  void SetSerialNumber(uint32_t value) { FSerialNumber = value; }

  // Fills what this entry does not know yet from `other`: features when 0, the address when empty,
  // each nominal frequency that is 0, the peer type when unknown.
  void CompleteFrom(const TQV_DeviceInfo& other);

 private:
  std::array<std::string, 4> FConnectedUser;
  std::array<std::string, 4> FConnectedUserU2;
  uint32_t FHardFeature = 0;
  int32_t FIndex = -1;
  std::string FIPAddress;
  std::array<double, 24> FNominalFreq{};
  TQV_PeerType FPeerType = ptUnknown;
  uint32_t FSerialNumber = UnknownSerialNumber;
};

// The program-wide list of instruments seen, one entry per serial number. Created by the source
// layer at start and reached from the report thread and the window thread, so it locks itself.
class TQV_DeviceInfoList {
 public:
  // A copy of the entry with that serial number (its index refreshed), or nothing.
  std::optional<TQV_DeviceInfo> GetInfo(uint32_t aSerialNumber);
  // An info with an unknown serial number is not taken (-1). A listed serial number completes the
  // listed entry and returns its index; the given info is dropped. Otherwise the list takes the info
  // and returns its new index.
  int32_t AddInfo(std::unique_ptr<TQV_DeviceInfo> aDevInfo);
  int32_t Count() const;
  // The serial numbers in list order (the order the instruments were first seen).
  std::vector<uint32_t> SerialNumbers() const;
  // Runs `change` on the entry with that serial number under the list's lock; false when there
  // is none.
  bool Update(uint32_t aSerialNumber, const std::function<void(TQV_DeviceInfo&)>& change);

 private:
  mutable std::mutex FLock;
  std::vector<std::unique_ptr<TQV_DeviceInfo>> FItems;
};
