#include "acquisition/ConnectionKinds.h"

#include <array>
#include <filesystem>
#include <system_error>
#include <vector>

#include <QHostAddress>
#include <QHostInfo>
#include <QSerialPortInfo>
#include <algorithm>

#include "core/LogUnit.h"
#include "devices/QV_CANDevice.h"
#include "devices/LabJackLibrary.h"
#include "devices/QV_FileDevices.h"
#include "devices/QV_NetworkDevice.h"
#include "devices/QV_SerialDevice.h"
#include "devices/QV_TcpDevice.h"
#include "devices/QV_Simulator.h"
#include "devices/HidApiLinux.h"
#include "devices/QV_UsbDevice.h"
#include "devices/UdevEnumerator.h"

namespace {

TQV_Result OpenSimulator(const TOpenTarget&, const TDeviceContext& c, std::unique_ptr<TQV_BaseDevice>& device,
                         std::string&) {
  device = std::make_unique<TQV_SimulDevice>(c.LogId, c.MultiId, c.ReceiveEvent, c.DoResetEvent,
                                             c.SimulatorClock ? *c.SimulatorClock : SystemClock(), c.SimulatorWorker);
  return QV_No_Err;
}

TQV_Result OpenFile(const TOpenTarget& target, const TDeviceContext& c, std::unique_ptr<TQV_BaseDevice>& device,
                    std::string&) {
  auto file = std::make_unique<TQV_FileDeviceItem>(c.LogId, c.MultiId, c.ReceiveEvent, c.DoResetEvent,
                                                   target.DeviceName);
  file->LoopForEver = c.FileLoopForEver;
  device = std::move(file);
  return QV_No_Err;
}

TQV_Result OpenSerial(const TOpenTarget& target, const TDeviceContext& c, std::unique_ptr<TQV_BaseDevice>& device,
                      std::string&) {
  device = std::make_unique<TQV_SerialDevice>(c.LogId, c.MultiId, c.ReceiveEvent, c.DoResetEvent, target.BaudRate,
                                              target.DeviceName);
  return QV_No_Err;
}

// A "HOST:/" name must resolve to exactly one IPv4 address.
TQV_Result OpenNetwork(const TOpenTarget& target, const TDeviceContext& c, std::unique_ptr<TQV_BaseDevice>& device,
                       std::string& error) {
  std::string address = target.Address;
  std::string host;
  if (target.ResolveHost) {
    host = target.Address;
    std::vector<std::string> found;
    for (const QHostAddress& a : QHostInfo::fromName(QString::fromStdString(host)).addresses())
      if (a.protocol() == QAbstractSocket::IPv4Protocol) found.push_back(a.toString().toStdString());
    if (found.size() != 1) {
      LogWarn(c.LogId, "TSourceItem.OpenConnection hostname not found " + host);
      error = "Host not found: " + host;
      return QV_DeviceNotFound;
    }
    address = found.front();
    LogIt(c.LogId, "TSourceItem.OpenConnection hostname " + host + " -> " + address);
  }
  device = std::make_unique<TQV_NetworkDevice>(c.LogId, c.MultiId, c.ReceiveEvent, c.DoResetEvent, address, host,
                                               TQV_NetworkDevice::DefaultManagementPort, target.DataPort);
  return QV_No_Err;
}

// "TCP:" address and port of another instance's local data server.
TQV_Result OpenTcpServer(const TOpenTarget& target, const TDeviceContext& c, std::unique_ptr<TQV_BaseDevice>& device,
                         std::string&) {
  device = std::make_unique<TQV_TcpDevice>(c.LogId, c.MultiId, c.ReceiveEvent, c.DoResetEvent, target.Address,
                                           target.DataPort);
  return QV_No_Err;
}

// "ARCHIVE:" the same server and the period to replay from its archive.
TQV_Result OpenArchive(const TOpenTarget& target, const TDeviceContext& c, std::unique_ptr<TQV_BaseDevice>& device,
                       std::string&) {
  std::optional<TArchiveTime> end;
  if (target.ArchiveEnd) end = ArchiveTimeOf(*target.ArchiveEnd);
  device = TQV_TcpDevice::CreateArchive(c.LogId, c.MultiId, c.ReceiveEvent, c.DoResetEvent, target.Address,
                                        target.DataPort, ArchiveTimeOf(target.ArchiveStart), end);
  return QV_No_Err;
}

bool IsCharacterDevice(const std::string& name) {
  std::error_code ec;
  return name.starts_with("/dev/") && std::filesystem::is_character_file(name, ec);
}

// A CDC line named by its path without an enumeration entry: the ids of the kind the string asks for.
TUsbInstrument CdcLineByPath(const std::string& path, bool networkModule) {
  TUsbInterface i;
  i.Node = path;
  i.Vid = 0x16D0;
  i.Pid = networkModule ? 0x0612 : 0x0610;
  return {i, *IdentifyUsb(i.Vid, i.Pid), {}};
}

TQV_Result OpenUsb(const TOpenTarget& target, const TDeviceContext& c, std::unique_ptr<TQV_BaseDevice>& device,
                   std::string& error) {
  std::optional<TUsbInstrument> found;
  for (const TUsbInstrument& i : EnumerateUsbInstruments())
    if (i.Name() == target.DeviceName) found = i;
  // Any line the open string chose as USB without an enumeration entry is taken as a CDC line.
  if (!found && IsCharacterDevice(target.DeviceName))
    found = CdcLineByPath(target.DeviceName, target.ZCT2);
  if (!found) {
    error = "Q+V device not found: " + target.DeviceName;
    return QV_DeviceNotFound;
  }
  device = std::make_unique<TQV_UsbDevice>(c.LogId, c.MultiId, c.ReceiveEvent, c.DoResetEvent, *found,
                                           &SystemHidApi());
  return QV_No_Err;
}

// A node of a Menlo CAN bus; refused addresses and a busy node or channel are CAN errors.
TQV_Result OpenCan(const TOpenTarget& target, const TDeviceContext& c, std::unique_ptr<TQV_BaseDevice>& device,
                   std::string& error) {
  std::unique_ptr<TQV_CANDeviceItem> can;
  try {
    can = std::make_unique<TQV_CANDeviceItem>(c.LogId, c.MultiId, c.ReceiveEvent, c.DoResetEvent, target.CanType,
                                              target.CanChannel, target.CanNode, "MENLO");
  } catch (const ECANDevice& e) {
    error = e.what();
    return QV_CAN_Err;
  }
  const TQV_Result connected = can->Connect(error);
  if (connected == QV_No_Err) device = std::move(can);
  return connected;
}

constexpr std::array<TConnectionKind, 9> kKinds = {{
    {ctUSB, false, "USB", "USB", OpenUsb},
    {ctSerial, false, "serial", "Serial port", OpenSerial},
    {ctNetwork, false, "network", "Network", OpenNetwork},
    {ctCAN, false, "CAN", "CAN bus (Menlo)", OpenCan},
    {ctTCPServer, false, "TCP-Server", "Another instance (TCP)", OpenTcpServer},
    {ctArchive, false, "TCP-Archive", "Archive of another instance", OpenArchive},
    {ctFile, false, "file", "File playback", OpenFile},
    {ctDemoNone, true, "DemoData", "Simulator (DemoData)", OpenSimulator},
    // "none" is never opened; the source refuses it before it looks for a device.
    {ctDemoNone, false, "none", "No connection", nullptr},
}};

constexpr std::array<TSensorConnectionKind, 4> kSensorKinds = {{
    {kSessionTypeSensor, ctDemoNone, "Demo sensor", kSensorDemoOpenString, TSensorField::None},
    {kSessionTypeSensor, ctNetwork, "TCW122B-CM (SNMP)", kSensorTCW122BPrefix, TSensorField::IPAddress},
    {kSessionTypeLabJack, ctUSB, "LabJack T4", kSensorLabJackPrefix, TSensorField::LabJackIdentifier},
    // The LabJack session opens the library's demo device by the demo sensor's string too.
    {kSessionTypeLabJack, ctDemoNone, "LabJack demo device", kLabJackDemoOpenString, TSensorField::None,
     kSensorDemoOpenString},
}};

}  // namespace

std::span<const TConnectionKind> ConnectionKinds() { return kKinds; }

std::span<const TSensorConnectionKind> SensorConnectionKinds() { return kSensorKinds; }

namespace {
// The program's LabJack library: present when it loads, its T4s listed by serial number.
TLabJackDirectory SharedLibraryDirectory() {
  return {[] { return TLabJackLibrary::Shared()->Load(); },
          [] {
            std::vector<TLabJackListEntry> found;
            std::vector<std::string> identifiers;
            if (TLabJackLibrary::Shared()->ListAll(TLabJackLibrary::dtT4, TLabJackLibrary::ctANY, found) != TLabJackLibrary::NoError)
              return identifiers;
            for (const TLabJackListEntry& entry : found) identifiers.push_back(std::to_string(entry.SerialNumber));
            return identifiers;
          }};
}

TLabJackDirectory& LabJacks() {
  static TLabJackDirectory directory = SharedLibraryDirectory();
  return directory;
}
}  // namespace

void SetLabJackDirectory(TLabJackDirectory directory) { LabJacks() = std::move(directory); }

bool LabJackLibraryPresent() { return LabJacks().Present && LabJacks().Present(); }

std::vector<std::string> AttachedLabJacks() {
  return LabJackLibraryPresent() && LabJacks().List ? LabJacks().List() : std::vector<std::string>{};
}

const TConnectionKind* FindConnectionKind(TConnectionType kind, bool demo) {
  for (const TConnectionKind& row : kKinds)
    if (row.Kind == kind && (kind != ctDemoNone || row.Demo == demo)) return &row;
  return nullptr;
}

bool ConnectionKindAvailable(TConnectionType kind) {
  const TConnectionKind* row = FindConnectionKind(kind);
  return row && row->Available();
}

std::string ConnectionKindName(TConnectionType kind) {
  const TConnectionKind* row = FindConnectionKind(kind);
  return row ? row->Name : ConnectionTypeName(kind);
}

std::optional<TQV_DeviceType> FindAttachedDevice(const std::string& name) {
  if (!IsCharacterDevice(name)) return std::nullopt;
  for (const TUsbInstrument& i : EnumerateUsbInstruments())
    if (i.Name() == name) return i.Identity.Type;
  if (name.starts_with("/dev/ttyACM")) return QV_CDC;
  return QV_Serial;
}

std::vector<TAttachedDevice> AttachedDevices() {
  std::vector<TAttachedDevice> list;
  for (const TUsbInstrument& i : EnumerateUsbInstruments())
    list.push_back({i.Name(), i.Identity.Type, "Q+V USB device " + UsbDescription(i)});
  for (const std::string& port : AttachedSerialPorts())
    if (std::none_of(list.begin(), list.end(), [&](const auto& d) { return d.Name == port; }))
      list.push_back({port, QV_Serial, "Serial port"});
  return list;
}

std::string DeviceListText(const std::vector<TAttachedDevice>& devices) {
  std::string text;
  for (const TAttachedDevice& d : devices) text += d.Name + "\t" + d.Description + "\n";
  return text;
}

std::vector<std::string> AttachedSerialPorts() {
  std::vector<std::string> ports;
  for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) ports.push_back(port.systemLocation().toStdString());
  std::sort(ports.begin(), ports.end());
  return ports;
}
