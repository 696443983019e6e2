#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class TSessionItem;

// What the status bar (or the status line of vta-cli) shows for one session.
struct TSessionStatus {
  int32_t Index = -1;
  std::string Name;  // "Source A: friendly name"
  int32_t SessionType = 0;
  bool Open = false;
  std::string OpenString;
  // The four text fields; empty where the session cannot tell.
  std::string Channels;  // "ZCT: 8, DGI: 2, IVC: 4", "Sensor: 3" or "-"
  std::string User;      // "User: 3" or "User: -"
  std::string Lost;      // "Lost: 0", or "-" for an interval-counter-only session
  std::string Sync;      // "Sync: " + last seconds timestamp, or "-" likewise
};

// What a counter session knows for its status fields.
struct TCounterStatusValues {
  std::optional<int32_t> ZctChannels;  // when it has counter data
  std::optional<int32_t> DgiCards;     // when digital-input cards are present
  std::optional<int32_t> IvcChannels;  // when interval-counter channels are present
  int32_t UserId = 255;                // 255 = none
  bool IvcOnly = false;
  int64_t Lost = 0;
  std::string LastSync;
};
void SetCounterStatus(TSessionStatus& status, const TCounterStatusValues& values);
// "Sensor: " + count, or "-" without channels.
void SetSensorStatus(TSessionStatus& status, int32_t channelCount);

// Fills the fields that only a concrete session knows (counter data, lost measurements, sensor
// channels), with SetCounterStatus or SetSensorStatus. The counter and sensor sessions supply it;
// without one the four fields stay empty.
using TSessionStatusReader = std::function<void(TSessionItem& session, TSessionStatus& status)>;

// One status line: "Source A: name | open | ZCT: 8 | User: 3 | Lost: 0 | Sync: 17"; empty fields are
// left out, "closed" stands for a session that is not open.
std::string StatusLine(const TSessionStatus& status);
