#include "app/VTA_SessionStatus.h"

void SetCounterStatus(TSessionStatus& status, const TCounterStatusValues& values) {
  std::string channels;
  const auto append = [&](const std::string& part) { channels += (channels.empty() ? "" : ", ") + part; };
  if (values.ZctChannels) append("ZCT: " + std::to_string(*values.ZctChannels));
  if (values.DgiCards) append("DGI: " + std::to_string(*values.DgiCards));
  if (values.IvcChannels) append("IVC: " + std::to_string(*values.IvcChannels));
  status.Channels = channels;
  status.User = values.UserId == 255 ? "User: -" : "User: " + std::to_string(values.UserId);
  status.Lost = values.IvcOnly ? "-" : "Lost: " + std::to_string(values.Lost);
  status.Sync = values.IvcOnly ? "-" : "Sync: " + values.LastSync;
}

void SetSensorStatus(TSessionStatus& status, int32_t channelCount) {
  status.Channels = channelCount > 0 ? "Sensor: " + std::to_string(channelCount) : "-";
}

std::string StatusLine(const TSessionStatus& status) {
  std::string line = status.Name + " | " + (status.Open ? "open" : "closed");
  for (const std::string* field : {&status.Channels, &status.User, &status.Lost, &status.Sync})
    if (!field->empty()) line += " | " + *field;
  return line;
}
