#pragma once
#include <cstdint>
#include <memory>
#include <string>

class TAppSettings;
class TCanAdapter;

// Which adapter the program's CAN sources use: the vendor's PCAN-Basic library or the kernel's
// SocketCAN driver of the same adapter. A program-wide setting ("Main_CANAdapter",
// "Main_CANInterface"); the connection strings stay as they are, whatever the choice.
struct TCanAdapterChoice {
  enum TKind : int32_t { caPcanBasic = 0, caSocketCan = 1 };
  TKind Kind = caSocketCan;
  std::string Interface = "can0";  // SocketCAN interface

  bool operator==(const TCanAdapterChoice&) const = default;

  // The choice in force for the next CAN adapter item.
  static TCanAdapterChoice Current();
  static void SetCurrent(const TCanAdapterChoice& choice);
  static TCanAdapterChoice Read(TAppSettings& settings);
  static void Write(const TCanAdapterChoice& choice, TAppSettings& settings);
  // A new adapter of the current choice.
  static std::unique_ptr<TCanAdapter> CreateAdapter(int32_t logId);
};
