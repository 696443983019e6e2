#pragma once
#include "data/ZCT_DataManagement.h"

// The per-position histories of the counter store, [channel 1..24][position 0..2047]; held on the
// heap because together they take several megabytes.
struct TZCT_DataManagement::THistories {
  THistory<Phase> PPhaseDLL{};
  THistory<double> FPhaDiff{};
  THistory<double> FPhaPredecessor{};
  THistory<double> FFrequencies{};
  THistory<double> FAvgShort{};
  THistory<double> FAvgLong{};
  THistory<double> FVirtFrequencies{};
  THistory<double> FPhaseRes_ps{};
  THistory<double> FVirtPhaseRes_ps{};
};
