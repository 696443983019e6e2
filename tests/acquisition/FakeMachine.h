#pragma once
#include <map>
#include <optional>
#include <set>
#include <string>

#include "acquisition/QV_ConnectionString.h"

// Existing files and attached devices as the source and the connection dialog would see them.
struct TFakeMachine {
  std::set<std::string> Files = {"/data/run.txt", "C:\\data\\run.txt", "/data/run:1.txt", "/data/b.txt"};
  std::map<std::string, TQV_DeviceType> Devices = {
      {"COM3", QV_Serial}, {"Q+V ZCT 1234", QV_HID}, {"Q+V:CDC 77", QV_CDC}};

  TFileExists FileExists() const {
    return [this](const std::string& path) { return Files.count(path) > 0; };
  }
  TFindDevice FindDevice() const {
    return [this](const std::string& name) -> std::optional<TQV_DeviceType> {
      const auto it = Devices.find(name);
      if (it == Devices.end()) return std::nullopt;
      return it->second;
    };
  }
};

// A choice of one kind with the fields `edit` sets.
template <typename TEdit>
TConnectionChoice Choice(TConnectionType kind, TEdit edit) {
  TConnectionChoice c;
  c.Kind = kind;
  edit(c);
  return c;
}
