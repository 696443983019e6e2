#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "acquisition/ConnectionKinds.h"
#include "acquisition/QV_ConnectionString.h"

// The connection dialog's side of the open string: a stored string turned back into the dialog's
// choice, and a choice checked before it is stored. Both go through SplitConnectionString and
// ClassifyOpenTarget, so the dialog accepts exactly what the source will open.

// A stored open string as the dialog's choice (Change Source).
struct TChoiceFromString {
  TConnectionChoice Choice;
  std::string ErrorText;  // the source's reason when the string would not open as it stands
};
// `storedType` is the session's connection type (-1 or an unknown value: none). It names the kind
// where the string alone cannot: an empty string, a USB or serial device that is not attached now,
// a playback file that is gone. A string that does not parse keeps the stored kind and its text.
TChoiceFromString ChoiceFromOpenString(std::string_view openString, int32_t storedType, const TFileExists& fileExists);

// A choice checked before it is stored.
struct TChoiceCheck {
  bool Ok = false;
  std::string OpenString;  // when Ok
  // Otherwise: the dialog's text for an incomplete choice ("Filename missing", ...) or the error
  // text the source would give when opening it ("Device not found: ...", "Invalid TCP-Server address: ...").
  std::string ErrorText;
};
// A choice is accepted when its string is complete, the source opens it as the chosen kind, and it
// reads back to the same string (a name that holds the grammar's own words or separators does not).
TChoiceCheck CheckConnectionChoice(const TConnectionChoice& choice, const TFindDevice& findDevice,
                                   const TFileExists& fileExists);

// A host name for the "HOST:/" form: letters, digits, '-', '_' (Windows computer names) and '.',
// and not only digits and dots (that would be a mistyped IPv4 address).
bool IsValidHostName(std::string_view name);

// A sensor session's choice: a row of SensorConnectionKinds() and what its field holds.
struct TSensorChoice {
  size_t Entry = 0;
  std::string Name;                // the TCW122B-CM's IP address or the LabJack identifier
  TConnectionType Link = ctUSB;    // how a LabJack is reached: ctUSB or ctNetwork (Ethernet)
  bool operator==(const TSensorChoice&) const = default;
};

// The open string of a sensor choice, or (Complete false) the dialog's text for an incomplete one.
TBuiltConnection BuildSensorString(const TSensorChoice& choice);
// The connection type the session stores: the row's, or the LabJack's link.
TConnectionType SensorConnectionType(const TSensorChoice& choice);
// Accepted when complete and, for a TCW122B-CM, its address is an IPv4 address (the device's own
// refusal "Invalid IP address: " + text otherwise).
TChoiceCheck CheckSensorChoice(const TSensorChoice& choice);

// A stored sensor open string as the dialog's choice among the rows of its session type.
struct TSensorChoiceFromString {
  TSensorChoice Choice;
  std::string ErrorText;  // the session's refusal of a string that names no sensor device
};
TSensorChoiceFromString SensorChoiceFromOpenString(std::string_view openString, int32_t sessionType,
                                                   int32_t storedType);
// The first row of a session type; the row count when the type has none.
size_t FirstSensorEntry(int32_t sessionType);
