#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "acquisition/App_Sessions.h"
#include "acquisition/QV_ConnectionString.h"
#include "acquisition/VTA_SensorSession.h"
#include "core/Clock.h"
#include "devices/QV_CommonTypes.h"

class TEvent;
class TQV_BaseDevice;

// What a source hands to the device it opens.
struct TDeviceContext {
  int32_t LogId = -1;
  int32_t MultiId = -1;
  std::shared_ptr<TEvent> ReceiveEvent;
  bool DoResetEvent = false;
  const TClock* SimulatorClock = nullptr;
  bool SimulatorWorker = true;
  bool FileLoopForEver = false;
};

// Creates the (not yet opened) device of a classified open string; on failure the result and the
// reason in `error`. May throw; the source reports it.
using TOpenDevice = TQV_Result (*)(const TOpenTarget& target, const TDeviceContext& context,
                                   std::unique_ptr<TQV_BaseDevice>& device, std::string& error);

// One kind of connection: its names and how this build opens it. The source, the connection
// dialog and the menus all read this one table, so a new transport adds one row.
struct TConnectionKind {
  TConnectionType Kind;
  bool Demo;                // ctDemoNone: the simulator (true) or no connection (false)
  const char* Name;         // in the source's messages ("network")
  const char* DialogLabel;  // the connection dialog's entry
  TOpenDevice Open;         // nullptr: this build cannot open the kind
  // "No connection" is a choice of its own that never opens a device.
  bool Available() const { return Open != nullptr || (Kind == ctDemoNone && !Demo); }
};

// In the order the connection dialog lists them.
std::span<const TConnectionKind> ConnectionKinds();
// The row of a kind (for ctDemoNone the simulator's); nullptr for a value outside the table.
const TConnectionKind* FindConnectionKind(TConnectionType kind, bool demo = true);
bool ConnectionKindAvailable(TConnectionType kind);
// The kind's name in the source's messages; ConnectionTypeName for a value outside the table.
std::string ConnectionKindName(TConnectionType kind);

// The LabJack library's demo device by the form the connection dialog builds.
inline constexpr char kLabJackDemoOpenString[] = "LabJack-T4: DemoSensor";

// What a sensor connection asks for beyond its kind.
enum class TSensorField { None, IPAddress, LabJackIdentifier };

// One kind of sensor connection; kept apart from the counter kinds, which sources open.
struct TSensorConnectionKind {
  int32_t SessionType;     // kSessionTypeSensor or kSessionTypeLabJack
  TConnectionType Kind;    // the session's connection type (a LabJack: ctUSB, or ctNetwork on Ethernet)
  const char* DialogLabel;
  const char* OpenString;  // the whole string, or the prefix of the address or identifier
  TSensorField Field;
  const char* Alias = nullptr;  // another whole string the session opens as this kind
};

// In the order the connection dialog lists them.
std::span<const TSensorConnectionKind> SensorConnectionKinds();

// Whether the LabJack library (loaded at run time) is there and which devices it finds. By default
// the program's shared library answers; tests set their own. Without the library LabJack sessions
// are not offered.
struct TLabJackDirectory {
  std::function<bool()> Present;
  std::function<std::vector<std::string>()> List;  // identifiers of the LabJacks found
};
void SetLabJackDirectory(TLabJackDirectory directory);
bool LabJackLibraryPresent();
std::vector<std::string> AttachedLabJacks();

// Attached devices the open strings name: an enumerated USB counter by its node, a CDC line by its
// path (/dev/ttyACM*), a serial port by its device path.
std::optional<TQV_DeviceType> FindAttachedDevice(const std::string& name);

// One entry of the device list: what a connection string names and what the list shows.
struct TAttachedDevice {
  std::string Name;         // "/dev/ttyACM0", "/dev/hidraw1", "/dev/ttyUSB0"
  TQV_DeviceType Type;      // QV_HID, QV_CDC or QV_Serial
  std::string Description;  // "Q+V USB device Lab 3 (CDC, network module)", "Serial port"
};
// The USB counters attached now, then the serial ports.
std::vector<TAttachedDevice> AttachedDevices();
// One "name<TAB>description" line per entry.
std::string DeviceListText(const std::vector<TAttachedDevice>& devices);
// The serial ports of the system by their device paths ("/dev/ttyUSB0"), sorted.
std::vector<std::string> AttachedSerialPorts();
