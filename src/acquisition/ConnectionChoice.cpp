#include "acquisition/ConnectionChoice.h"

#include <algorithm>
#include <optional>

#include "core/QV_NumberText.h"

namespace {

const std::string DbgTag = "TConnectionDialog";

// The kinds the dialog offers; Bluetooth and unknown numbers are taken as the simulator.
TConnectionType KindOf(int32_t storedType) {
  switch (storedType) {
    case ctUSB:
    case ctSerial:
    case ctNetwork:
    case ctTCPServer:
    case ctFile:
    case ctCAN:
    case ctArchive:
      return static_cast<TConnectionType>(storedType);
    default:
      return ctDemoNone;
  }
}

std::string FullPort(const TConnectionString& split) {
  return split.Baud.empty() ? split.Port : split.Port + ":" + split.Baud;
}

// The stored kind stands in for the device enumeration: a device name is taken as the USB or
// serial device the session was made for, whether or not it is attached now.
TFindDevice StoredDevice(TConnectionType kind, const TConnectionString& split) {
  return [kind, port = split.Port, full = FullPort(split)](const std::string& name) -> std::optional<TQV_DeviceType> {
    if (kind == ctSerial && name == port) return QV_Serial;
    if (kind == ctUSB && name == full) return QV_HID;
    return std::nullopt;
  };
}

TConnectionChoice FlagsOf(const TConnectionString& split, TConnectionType kind) {
  TConnectionChoice c;
  c.Kind = kind;
  c.Demo = kind == ctDemoNone;
  c.ZCT2 = split.FisZCT2;
  c.UserID = split.UserID;
  c.LoopForEver = split.FileDataLoopForEver;
  c.WaitInterval = split.FileDataWait;
  return c;
}

// The choice that builds the string the source understood.
TConnectionChoice ChoiceOf(const TConnectionString& split, const TOpenTarget& target) {
  TConnectionChoice c = FlagsOf(split, target.Kind);
  switch (target.Kind) {
    case ctNetwork:
      c.Name = target.Address;
      c.ByHostName = target.ResolveHost;
      c.Port = target.DataPort;
      break;
    case ctArchive:
      c.ArchiveStart = target.ArchiveStart;
      c.ArchiveEnd = target.ArchiveEnd;
      [[fallthrough]];
    case ctTCPServer:
      c.Name = target.Address;
      c.Port = target.DataPort;
      break;
    case ctCAN:
      c.CanNode = target.CanNode;
      c.CanChannel = target.CanChannel;
      c.CanType = target.CanType;
      break;
    case ctDemoNone:
      c.Demo = !target.IsNone;
      break;
    default:  // USB, serial, file
      c.Name = target.DeviceName;
      c.Baud = target.BaudRate;
      break;
  }
  return c;
}

// The simulator and CAN forms carry no name of their own.
bool UsesName(TConnectionType kind) { return kind != ctCAN && kind != ctDemoNone; }

bool IsHostNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
}

TChoiceCheck Refused(std::string text) { return {false, "", std::move(text)}; }

}  // namespace

TChoiceFromString ChoiceFromOpenString(std::string_view openString, int32_t storedType, const TFileExists& fileExists) {
  const TConnectionType storedKind = KindOf(storedType);
  const std::string text(TrimBlanks(openString));
  TChoiceFromString r;
  r.Choice.Kind = storedKind;
  r.Choice.Demo = storedKind == ctDemoNone;
  if (text.empty()) return r;

  const TConnectionString split = SplitConnectionString(text, fileExists, DbgTag);
  if (split.Result != QV_No_Err) {
    r.Choice.Name = text;
    r.ErrorText = InvalidConnectionStringText(text);
    return r;
  }
  const TOpenTarget target = ClassifyOpenTarget(split, StoredDevice(storedKind, split), fileExists);
  if (target.Result != QV_No_Err) {
    r.Choice = FlagsOf(split, storedKind);
    r.Choice.Name = FullPort(split);
    r.ErrorText = OpenFailureReply(target.Result, target.ErrorMessage, text);
    return r;
  }
  r.Choice = ChoiceOf(split, target);
  return r;
}

TChoiceCheck CheckConnectionChoice(const TConnectionChoice& choice, const TFindDevice& findDevice,
                                   const TFileExists& fileExists) {
  const TBuiltConnection built = BuildConnectionString(choice);
  if (!built.Complete) return Refused(built.Text);
  if (choice.Kind == ctNetwork && choice.ByHostName && !IsValidHostName(choice.Name))
    return Refused("Invalid network address: " + built.Text);

  const TConnectionString split = SplitConnectionString(built.Text, fileExists, DbgTag);
  if (split.Result != QV_No_Err) return Refused(InvalidConnectionStringText(built.Text));
  const TOpenTarget target = ClassifyOpenTarget(split, findDevice, fileExists);
  if (target.Result != QV_No_Err) return Refused(OpenFailureReply(target.Result, target.ErrorMessage, built.Text));
  // A name that holds the grammar's words (" USERID=2", " LOOP_FOR_EVER") opens something else.
  const TConnectionChoice read = ChoiceOf(split, target);
  if (read.Kind != choice.Kind || BuildConnectionString(read).Text != built.Text ||
      (UsesName(choice.Kind) && read.Name != choice.Name))
    return Refused(InvalidConnectionStringText(built.Text));
  return {true, built.Text, ""};
}

bool IsValidHostName(std::string_view name) {
  if (name.empty() || !std::all_of(name.begin(), name.end(), IsHostNameChar)) return false;
  return !std::all_of(name.begin(), name.end(), [](char c) { return c == '.' || (c >= '0' && c <= '9'); });
}

namespace {

const TSensorConnectionKind& SensorRow(const TSensorChoice& choice) { return SensorConnectionKinds()[choice.Entry]; }

// A row that takes the whole string (Field None) matches exactly; one with a field matches its prefix.
std::optional<TSensorChoice> MatchSensorRow(size_t entry, const std::string& text, int32_t storedType) {
  const TSensorConnectionKind& row = SensorConnectionKinds()[entry];
  TSensorChoice c;
  c.Entry = entry;
  c.Link = storedType == ctNetwork ? ctNetwork : ctUSB;
  if (row.Field == TSensorField::None)
    return text == row.OpenString || (row.Alias && text == row.Alias) ? std::optional(c) : std::nullopt;
  if (!text.starts_with(row.OpenString)) return std::nullopt;
  c.Name = std::string(TrimBlanks(std::string_view(text).substr(std::string_view(row.OpenString).size())));
  return c;
}

}  // namespace

TBuiltConnection BuildSensorString(const TSensorChoice& choice) {
  const TSensorConnectionKind& row = SensorRow(choice);
  switch (row.Field) {
    case TSensorField::IPAddress:
      if (choice.Name.empty()) return {false, "Network address missing"};
      break;
    case TSensorField::LabJackIdentifier:
      if (choice.Name.empty()) return {false, "No LabJack devices found"};
      break;
    case TSensorField::None:
      return {true, row.OpenString};
  }
  return {true, row.OpenString + choice.Name};
}

TConnectionType SensorConnectionType(const TSensorChoice& choice) {
  const TSensorConnectionKind& row = SensorRow(choice);
  return row.Field == TSensorField::LabJackIdentifier ? choice.Link : row.Kind;
}

TChoiceCheck CheckSensorChoice(const TSensorChoice& choice) {
  const TBuiltConnection built = BuildSensorString(choice);
  if (!built.Complete) return Refused(built.Text);
  if (SensorRow(choice).Field == TSensorField::IPAddress && !IsValidIPv4(choice.Name))
    return Refused("Invalid IP address: " + choice.Name);
  return {true, built.Text, ""};
}

size_t FirstSensorEntry(int32_t sessionType) {
  const auto rows = SensorConnectionKinds();
  for (size_t i = 0; i < rows.size(); ++i)
    if (rows[i].SessionType == sessionType) return i;
  return rows.size();
}

TSensorChoiceFromString SensorChoiceFromOpenString(std::string_view openString, int32_t sessionType,
                                                   int32_t storedType) {
  const std::string text(TrimBlanks(openString));
  TSensorChoiceFromString r;
  r.Choice.Entry = FirstSensorEntry(sessionType);
  if (text.empty() || r.Choice.Entry == SensorConnectionKinds().size()) return r;
  // Whole-string rows first: "LabJack-T4: DemoSensor" is the demo device, not an identifier.
  for (const bool whole : {true, false})
    for (size_t i = 0; i < SensorConnectionKinds().size(); ++i) {
      const TSensorConnectionKind& row = SensorConnectionKinds()[i];
      if (row.SessionType != sessionType || (row.Field == TSensorField::None) != whole) continue;
      if (std::optional<TSensorChoice> c = MatchSensorRow(i, text, storedType)) {
        r.Choice = *c;
        return r;
      }
    }
  r.ErrorText = "Unknown Device: " + text;
  return r;
}
