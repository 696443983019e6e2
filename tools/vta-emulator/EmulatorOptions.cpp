#include "EmulatorOptions.h"

#include <charconv>
#include <map>

namespace {

using TPeer = TEmulatorSettings::TPeer;
using TRefusal = TEmulatorSettings::TRefusal;

bool ToInt(const std::string& text, long long& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

// SECONDS with up to three decimals ("1", "0.25"), read without the locale.
bool ToMilliseconds(const std::string& text, std::chrono::milliseconds& out) {
  const size_t dot = text.find('.');
  long long whole = 0, fraction = 0;
  const std::string decimals = dot == std::string::npos ? "" : text.substr(dot + 1);
  if (!ToInt(text.substr(0, dot), whole) || whole < 0 || decimals.size() > 3) return false;
  if (!decimals.empty() && (!ToInt(decimals, fraction) || fraction < 0)) return false;
  for (size_t i = decimals.size(); i < 3; ++i) fraction *= 10;
  out = std::chrono::milliseconds(whole * 1000 + fraction);
  return true;
}

// ADDRESS[:PORT]
bool ParseListen(const std::string& text, TEmulatorSettings& s) {
  const size_t colon = text.rfind(':');
  s.ListenAddress = text.substr(0, colon);
  if (colon == std::string::npos) return !s.ListenAddress.empty();
  long long port = 0;
  if (!ToInt(text.substr(colon + 1), port) || port < 0 || port > 65535) return false;
  s.ManagementPort = static_cast<uint16_t>(port);
  return !s.ListenAddress.empty();
}

}  // namespace

std::string TEmulatorOptions::HelpText() {
  return "Usage: vta-emulator --peer network-module|coldfire (--listen ADDRESS[:PORT] | --serial PATH | --usb-cdc PATH) [options]\n"
         "Plays one counter for tests and demonstrations.\n"
         "  --peer KIND            network-module (transmit blocks) or coldfire (CDC blocks, serial frames)\n"
         "  --listen ADDRESS[:PORT] management port of a network instrument (port 1024 unless given; 0 = any)\n"
         "  --serial PATH          the instrument's end of a serial line, e.g. one end of a socat pty pair\n"
         "  --usb-cdc PATH         a network module's USB CDC line there, shared by up to four users\n"
         "  --interval-ms N        measurement interval: 1, 2, 5, 10, ..., 20000 (default 100)\n"
         "  --channels N           channels 1..24 (default 4)\n"
         "  --mode M               report mode 0..7 as the command 0x40 + M (default 0, phase)\n"
         "  --refuse ANSWER        answer log-ons with ab, ta, sv or silent, commands with bu\n"
         "  --refuse-count N       give the refusal N times only (default: always)\n"
         "  --drop-after SECONDS   close each data connection after this long (serial: stop until resumed)\n"
         "  --silent-after SECONDS stop sending data after this long, keeping the connection\n"
         "  --connect-from ADDRESS connect the data back from this local address (a foreign host)\n"
         "  --lose-on-reconnect    a user that logs on again gets only new data\n"
         "  --serial-number HEX    serial number in the version report (default 00E0A001)\n"
         "  --trace FILE           write one line per report sent and per request\n"
         "  --help                 this text\n"
         "Channel k (1..24) of measurement n (0, 1, ... from the start) measures 1000 k + n / 8.\n";
}

TEmulatorOptions TEmulatorOptions::Parse(const std::vector<std::string>& args) {
  TEmulatorOptions o;
  TEmulatorSettings& s = o.Settings;
  bool peerGiven = false, placeGiven = false;
  // Help wins over every mistake on the line.
  for (const std::string& arg : args) o.Help |= arg == "--help" || arg == "-h";
  if (o.Help) return o;
  for (size_t i = 0; i < args.size() && o.Error.empty(); ++i) {
    const std::string& name = args[i];
    if (name == "--lose-on-reconnect") {
      s.LoseOnReconnect = true;
      continue;
    }
    if (i + 1 >= args.size()) {
      o.Error = "Missing value after " + name;
      break;
    }
    const std::string& value = args[++i];
    long long number = 0;
    const bool isNumber = ToInt(value, number);
    const auto seconds = [&](std::chrono::milliseconds& out) { return ToMilliseconds(value, out); };
    bool ok = true;
    if (name == "--peer") {
      ok = value == "network-module" || value == "coldfire";
      s.Peer = value == "coldfire" ? TPeer::Coldfire : TPeer::NetworkModule;
      peerGiven = true;
    } else if (name == "--listen") {
      ok = ParseListen(value, s);
      placeGiven = true;
    } else if (name == "--serial") {
      s.SerialPath = value;
      placeGiven = true;
    } else if (name == "--usb-cdc") {
      s.SerialPath = value;
      s.UsbCdc = true;
      placeGiven = true;
    } else if (name == "--interval-ms") {
      ok = isNumber && number > 0 && number <= 20000;
      s.IntervalMs = static_cast<int>(number);
    } else if (name == "--channels") {
      ok = isNumber && number >= 1 && number <= 24;
      s.Channels = static_cast<int>(number);
    } else if (name == "--mode") {
      ok = isNumber && number >= 0 && number <= 7;
      s.Mode = static_cast<int>(number);
    } else if (name == "--refuse") {
      static const std::map<std::string, TRefusal> refusals = {
          {"ab", TRefusal::Ab}, {"bu", TRefusal::Bu}, {"ta", TRefusal::Ta}, {"sv", TRefusal::Sv}, {"silent", TRefusal::Silent}};
      ok = refusals.contains(value);
      if (ok) s.Refusal = refusals.at(value);
    } else if (name == "--refuse-count") {
      ok = isNumber && number >= 0;
      s.RefusalCount = static_cast<int>(number);
    } else if (name == "--drop-after") {
      ok = seconds(s.DropAfter);
    } else if (name == "--silent-after") {
      ok = seconds(s.SilentAfter);
    } else if (name == "--serial-number") {
      unsigned long long serial = 0;
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), serial, 16);
      ok = error == std::errc() && end == value.data() + value.size() && serial <= 0xFFFFFFFF;
      s.SerialNumber = static_cast<uint32_t>(serial);
    } else if (name == "--connect-from") {
      s.ConnectFrom = value;
    } else if (name == "--trace") {
      s.TracePath = value;
    } else {
      o.Error = "Unknown option " + name;
      break;
    }
    if (!ok) o.Error = "Invalid value for " + name + ": " + value;
  }
  if (o.Error.empty() && !peerGiven) o.Error = "--peer is missing";
  if (o.Error.empty() && !placeGiven) o.Error = "--listen or --serial is missing";
  if (o.Error.empty() && s.UsbCdc && s.Peer != TPeer::NetworkModule) o.Error = "--usb-cdc needs --peer network-module";
  return o;
}
