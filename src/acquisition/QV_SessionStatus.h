#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "protocol/QV_Header.h"

// What the window thread shows of a counter session: the instrument's header, its kind and parts,
// the channel counts it transmits and its status texts. The session keeps it under one lock and
// hands out copies, so a view never mixes two states of the instrument.
struct TQVSessionStatus {
  std::optional<TQVHeader> DataHeader;  // none before the first measurement header
  bool IsESP = false;
  bool HasPPI = false;
  bool ZCTonly = false;
  bool IVConly = false;
  bool RawAvg = false;  // raw data are averaged (mode 7)
  int32_t TransmittedIVCs = 0;
  int32_t TransmittedDGIs = 0;
  std::string VersionString;
  std::string BufNo7015;  // the last seconds time stamp
  std::string BufNo7000;  // the last status report
  std::string PPIText;
  std::string ScramblerText;
};
