#include "devices/UsbIds.h"

#include <algorithm>

namespace {

struct TIdRow {
  uint16_t Vid;
  uint16_t Pid;
  TQV_DeviceType Type;
  TQV_PeerType Peer;
};

constexpr TIdRow IdTable[] = {
    {0xC1CA, 0x0003, QV_HID, ptColdfire}, {0xC1CA, 0x0004, QV_HID, ptColdfire},
    {0x16D0, 0x0611, QV_HID, ptColdfire}, {0x16D0, 0x0610, QV_CDC, ptColdfire},
    {0x16D0, 0x0612, QV_CDC, ptESP},      {0x303A, 0x4001, QV_CDC, ptESP},
};

constexpr uint32_t NetworkModuleReadTimeoutMs = 100;

}  // namespace

bool IsUsbBootLoader(uint16_t pid, const std::string& productString) {
  return pid == 0x0004 || (pid == 0x0611 && productString.find("Bootloader") != std::string::npos);
}

std::optional<TUsbIdentity> IdentifyUsb(uint16_t vid, uint16_t pid, const std::string& productString) {
  for (const TIdRow& row : IdTable) {
    if (row.Vid != vid || row.Pid != pid) continue;
    TUsbIdentity id;
    id.Type = row.Type;
    id.Peer = row.Peer;
    id.BootLoader = row.Type == QV_HID && IsUsbBootLoader(pid, productString);
    if (row.Peer == ptESP) {
      id.Shared = true;
      id.ReadTimeoutMs = NetworkModuleReadTimeoutMs;
      id.FirstCommandDropped = true;
    }
    return id;
  }
  return std::nullopt;
}

std::string UsbNickName(const std::string& serialNumber) {
  const size_t cut = serialNumber.find('_');
  return cut == std::string::npos ? std::string() : serialNumber.substr(cut + 1);
}

std::vector<TUsbInstrument> SelectUsbInstruments(const std::vector<TUsbInterface>& interfaces) {
  std::vector<TUsbInstrument> found;
  for (const TUsbInterface& i : interfaces) {
    const auto id = IdentifyUsb(i.Vid, i.Pid, i.Product);
    if (!id || (id->Type == QV_HID) != i.Hid) continue;
    found.push_back({i, *id, UsbNickName(i.SerialNumber)});
  }
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.Name() < b.Name(); });
  return found;
}

std::string UsbDescription(const TUsbInstrument& i) {
  const std::string who = i.NickName.empty() ? i.Interface.SerialNumber : i.NickName;
  const std::string kind = i.Identity.Type == QV_HID ? (i.Identity.BootLoader ? "HID, boot loader" : "HID")
                           : i.Identity.Peer == ptESP ? "CDC, network module"
                                                      : "CDC";
  return who.empty() ? "(" + kind + ")" : who + " (" + kind + ")";
}
