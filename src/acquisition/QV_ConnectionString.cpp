#include "acquisition/QV_ConnectionString.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <ctime>

#include "core/QV_NumberText.h"

namespace {

constexpr char ArchivePrefix[] = "ARCHIVE:";
constexpr char TcpPrefix[] = "TCP:";

char UpperChar(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string Upper(std::string_view text) {
  std::string upper(text);
  std::transform(upper.begin(), upper.end(), upper.begin(), UpperChar);
  return upper;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && Upper(text.substr(0, prefix.size())) == Upper(prefix);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::optional<uint8_t> HexDigit(char c) {
  if (IsDigit(c)) return static_cast<uint8_t>(c - '0');
  const char u = UpperChar(c);
  if (u >= 'A' && u <= 'F') return static_cast<uint8_t>(u - 'A' + 10);
  return std::nullopt;
}

// Removes every occurrence of `word`; true when there was one.
bool RemoveWord(std::string& text, std::string_view word, bool anyCase) {
  bool found = false;
  for (;;) {
    const size_t pos = anyCase ? Upper(text).find(Upper(word)) : text.find(word);
    if (pos == std::string::npos) return found;
    text.erase(pos, word.size());
    found = true;
  }
}

std::optional<uint32_t> ParseDecimal(std::string_view text) {
  uint32_t value = 0;
  if (text.empty() || !std::all_of(text.begin(), text.end(), IsDigit)) return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

void ExtractUserId(std::string& text, TConnectionString& r, const std::string& dbgTag) {
  constexpr std::string_view Key = "USERID=";
  const size_t pos = Upper(text).find(Key);
  if (pos == std::string::npos) return;
  size_t end = pos + Key.size();
  while (end < text.size() && IsDigit(text[end])) ++end;
  const std::string digits = text.substr(pos + Key.size(), end - pos - Key.size());
  text.erase(pos, end - pos);
  const std::optional<uint32_t> value = ParseDecimal(digits);
  if (!value) {
    r.Log.push_back({false, dbgTag + ".SplitConnectionString extract UserID failed"});
  } else if (*value < 1 || *value > 4) {
    r.Log.push_back({true, dbgTag + ".SplitConnectionString: invalid UserID " + std::to_string(*value)});
  } else {
    r.UserID = static_cast<uint8_t>(*value);
  }
}

void SplitPortAndBaud(const std::string& text, TConnectionString& r, const TFileExists& fileExists,
                      const std::string& dbgTag) {
  if (text.empty()) {
    r.Result = QV_Err_BadFormat;
    return;
  }
  // The archive form is "ARCHIVE:" + IPv4 ":" port " " start [";" end]; its times may hold ':'.
  if (StartsWithNoCase(text, ArchivePrefix)) {
    const size_t colon = text.find(':', sizeof ArchivePrefix - 1);
    r.Port = text.substr(0, colon);
    if (colon != std::string::npos) r.Baud = text.substr(colon + 1);
    return;
  }
  const size_t last = text.rfind(':');
  if (last == std::string::npos) {
    r.Port = text;
  } else if (last == 0) {
    r.Result = QV_Err_BadFormat;
  } else if (fileExists && fileExists(text)) {
    // A drive-letter path, or a path whose name holds ':'.
    r.Port = text;
    r.Log.push_back({false, dbgTag + ".SplitConnectionString: FileExists " + text});
  } else {
    r.Port = text.substr(0, last);
    r.Baud = text.substr(last + 1);
  }
}

TOpenTarget Failure(TQV_Result result, std::string message) {
  TOpenTarget target;
  target.Result = result;
  target.ErrorMessage = std::move(message);
  return target;
}

TOpenTarget ClassifyCan(std::string_view baud) {
  const TOpenTarget bad = Failure(QV_Err_BadFormat, "Invalid CAN address: ");
  constexpr std::string_view Protocol = "MENLO", Channel = " CHANNEL", Type = " TYPE=0x";
  if (baud.substr(0, Protocol.size()) != Protocol || baud.size() <= Protocol.size()) return bad;
  TOpenTarget target;
  target.Kind = ctCAN;
  size_t pos = Protocol.size();
  const std::optional<uint8_t> node = HexDigit(baud[pos++]);
  if (!node) return bad;
  target.CanNode = *node;
  if (baud.substr(pos, Channel.size()) == Channel) {
    pos += Channel.size();
    if (pos >= baud.size() || baud[pos] < '0' || baud[pos] > '3') return bad;
    target.CanChannel = static_cast<uint8_t>(baud[pos++] - '0');
  }
  if (baud.substr(pos, Type.size()) == Type) {
    pos += Type.size();
    if (pos + 2 > baud.size()) return bad;
    const std::optional<uint8_t> high = HexDigit(baud[pos]), low = HexDigit(baud[pos + 1]);
    if (!high || !low) return bad;
    target.CanType = static_cast<uint8_t>(*high * 16 + *low);
    if (target.CanType != 0x20 && target.CanType != 0x21) return bad;
    pos += 2;
  }
  return pos == baud.size() ? target : bad;
}

TOpenTarget ClassifyTcpServer(std::string_view address, std::string_view port) {
  const std::optional<uint16_t> number = ParsePortNumber(port);
  if (!IsValidIPv4(address) || !number) return Failure(QV_Err_BadFormat, "Invalid TCP-Server address: ");
  TOpenTarget target;
  target.Kind = ctTCPServer;
  target.Address = address;
  target.DataPort = *number;
  return target;
}

TOpenTarget ClassifyArchive(std::string_view address, std::string_view baud) {
  const size_t blank = baud.find(' ');
  if (blank == std::string_view::npos || blank == 0)
    return Failure(QV_Err_BadFormat, "TCP-Archive StartTime missing: ");
  const std::string_view period = TrimBlanks(baud.substr(blank + 1));
  const size_t semicolon = period.find(';');
  const std::optional<TWallTime> start = ParseArchiveTime(period.substr(0, semicolon));
  if (!start) return Failure(QV_Err_BadFormat, "Invalid TCP-Archive StartTime: ");
  std::optional<TWallTime> end;
  if (semicolon != std::string_view::npos && !TrimBlanks(period.substr(semicolon + 1)).empty()) {
    end = ParseArchiveTime(period.substr(semicolon + 1));
    // An end before the start would ask for nothing at all.
    if (!end || *end < *start) return Failure(QV_Err_BadFormat, "Invalid TCP-Archive EndTime: ");
  }
  TOpenTarget target = ClassifyTcpServer(address, baud.substr(0, blank));
  if (target.Result != QV_No_Err) return target;
  target.Kind = ctArchive;
  target.ArchiveStart = *start;
  target.ArchiveEnd = end;
  return target;
}

TOpenTarget ClassifyNetwork(const TConnectionString& split) {
  const std::optional<uint16_t> port = ParsePortNumber(split.Baud);
  if (split.Port.empty() || (!split.Baud.empty() && !port))
    return Failure(QV_Err_BadFormat, "Invalid network address: ");
  TOpenTarget target;
  target.Kind = ctNetwork;
  target.Address = split.Port;
  target.ResolveHost = split.FisHost;
  target.DataPort = port.value_or(0);
  return target;
}

uint32_t BaudRateOrDefault(std::string_view baud) {
  const std::optional<uint32_t> rate = ParseDecimal(baud);
  return rate && *rate > 0 ? *rate : 115200;
}

TOpenTarget ClassifyDeviceOrFile(const TConnectionString& split, const TFindDevice& findDevice,
                                 const TFileExists& fileExists) {
  const std::string fullName = split.Baud.empty() ? split.Port : split.Port + ":" + split.Baud;
  for (const std::string& name : {split.Port, fullName}) {
    const std::optional<TQV_DeviceType> type = findDevice ? findDevice(name) : std::nullopt;
    if (!type) continue;
    TOpenTarget target;
    target.DeviceName = name;
    target.Kind = *type == QV_Serial ? ctSerial : ctUSB;
    target.ZCT2 = split.FisZCT2;
    if (target.Kind == ctSerial) target.BaudRate = BaudRateOrDefault(split.Baud);
    return target;
  }
  if (fileExists && fileExists(split.Port)) {
    TOpenTarget target;
    target.Kind = ctFile;
    target.DeviceName = split.Port;
    return target;
  }
  return Failure(QV_DeviceNotFound, "Device not found: " + fullName);
}

std::string Format2(int value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d", value);
  return buffer;
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int Days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : Days[month - 1];
}

// The digits of `text` when it matches `pattern` ('D' = one digit, other characters literally).
std::optional<std::string> MatchDigits(std::string_view text, std::string_view pattern) {
  if (text.size() != pattern.size()) return std::nullopt;
  std::string digits;
  for (size_t i = 0; i < text.size(); ++i) {
    if (pattern[i] == 'D' ? !IsDigit(text[i]) : text[i] != pattern[i]) return std::nullopt;
    if (pattern[i] == 'D') digits += text[i];
  }
  return digits;
}

}  // namespace

TConnectionString SplitConnectionString(std::string_view s, const TFileExists& fileExists, const std::string& dbgTag) {
  TConnectionString r;
  std::string text(TrimBlanks(s));
  if (text.starts_with("ZCT2:/")) {
    r.FisZCT2 = true;
    text.erase(0, 6);
  }
  if (text.starts_with("HOST:/")) {
    r.FisHost = true;
    text.erase(0, 6);
  }
  if (RemoveWord(text, " ReportStruct", false)) {
    r.FReportStruct = true;
    r.Log.push_back({false, dbgTag + ".SplitConnectionString: ReportStruct"});
  }
  ExtractUserId(text, r, dbgTag);
  text = TrimBlanks(text);
  r.FileDataLoopForEver = RemoveWord(text, " LOOP_FOR_EVER", true);
  if (r.FileDataLoopForEver) r.Log.push_back({false, dbgTag + ".SplitConnectionString: LOOP FOR EVER"});
  r.FileDataWait = RemoveWord(text, " WAIT_INTERVAL", true);
  if (r.FileDataWait) r.Log.push_back({false, dbgTag + ".SplitConnectionString: WAIT INTERVALL"});
  SplitPortAndBaud(std::string(TrimBlanks(text)), r, fileExists, dbgTag);
  return r;
}

TOpenTarget ClassifyOpenTarget(const TConnectionString& split, const TFindDevice& findDevice,
                               const TFileExists& fileExists) {
  const std::string& port = split.Port;
  if (Upper(port) == "CAN") return ClassifyCan(split.Baud);
  // "TCP:" + address without ":" port leaves "TCP" alone as port part.
  if (Upper(port) == "TCP") return Failure(QV_Err_BadFormat, "Invalid TCP-Server address: ");
  if (StartsWithNoCase(port, TcpPrefix))
    return ClassifyTcpServer(std::string_view(port).substr(sizeof TcpPrefix - 1), split.Baud);
  if (StartsWithNoCase(port, ArchivePrefix))
    return ClassifyArchive(std::string_view(port).substr(sizeof ArchivePrefix - 1), split.Baud);
  if (port == "DemoData" || (port == "none" && split.Baud.empty())) {
    TOpenTarget target;
    target.IsNone = port == "none";
    return target;
  }
  if (split.FisHost || (IsValidIPv4(port) && (split.Baud.empty() || ParsePortNumber(split.Baud))))
    return ClassifyNetwork(split);
  return ClassifyDeviceOrFile(split, findDevice, fileExists);
}

std::string OpenFailureReply(TQV_Result result, const std::string& errorMessage, std::string_view openString) {
  return result == QV_Err_BadFormat ? errorMessage + std::string(openString) : errorMessage;
}

std::string InvalidConnectionStringText(std::string_view openString) {
  return "Invalid connection string: " + std::string(openString);
}

std::optional<TWallTime> ParseArchiveTime(std::string_view text) {
  static constexpr std::string_view Patterns[] = {"DDDD-DD-DD DD:DD:DD", "DDDD-DD-DD DD:DD", "DDDD-DD-DD",
                                                  "DDDDDDDD DDDDDD",     "DDDDDDDD DDDD",    "DDDDDDDD"};
  text = TrimBlanks(text);
  std::optional<std::string> digits;
  for (std::string_view pattern : Patterns)
    if ((digits = MatchDigits(text, pattern))) break;
  if (!digits) return std::nullopt;
  digits->resize(14, '0');  // absent time fields are 0
  const auto field = [&](size_t pos, size_t len) { return std::stoi(digits->substr(pos, len)); };
  std::tm tm{};
  const int year = field(0, 4), month = field(4, 2), day = field(6, 2);
  tm.tm_hour = field(8, 2);
  tm.tm_min = field(10, 2);
  tm.tm_sec = field(12, 2);
  // The wall clock counts nanoseconds and ends in 2262: later years cannot be a period to replay.
  if (year < 1970 || year > 2200 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || tm.tm_hour > 23 ||
      tm.tm_min > 59 || tm.tm_sec > 59)
    return std::nullopt;
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_isdst = -1;
  const std::time_t seconds = std::mktime(&tm);
  if (seconds == static_cast<std::time_t>(-1)) return std::nullopt;
  return std::chrono::time_point_cast<TWallTime::duration>(std::chrono::system_clock::from_time_t(seconds));
}

std::string ArchiveTimeText(TWallTime t) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(t));
  std::tm tm{};
  localtime_r(&seconds, &tm);
  return std::to_string(tm.tm_year + 1900) + Format2(tm.tm_mon + 1) + Format2(tm.tm_mday) + " " + Format2(tm.tm_hour) +
         Format2(tm.tm_min) + Format2(tm.tm_sec);
}

bool IsValidIPv4(std::string_view text) {
  for (int part = 0; part < 4; ++part) {
    const size_t dot = part < 3 ? text.find('.') : text.size();
    if (dot == std::string_view::npos || dot == 0 || dot > 3) return false;
    const std::optional<uint32_t> value = ParseDecimal(text.substr(0, dot));
    if (!value || *value > 255) return false;
    text.remove_prefix(part < 3 ? dot + 1 : dot);
  }
  return text.empty();
}

std::optional<uint16_t> ParsePortNumber(std::string_view text) {
  if (text.size() > 5) return std::nullopt;
  const std::optional<uint32_t> value = ParseDecimal(text);
  if (!value || *value < 1 || *value > 65535) return std::nullopt;
  return static_cast<uint16_t>(*value);
}

namespace {

TBuiltConnection Incomplete(const char* text) { return {false, text}; }

std::string CanForm(const TConnectionChoice& c) {
  return "CAN:MENLO" + IntToHex(c.CanNode & 0xF, 1) + " CHANNEL" + std::to_string(c.CanChannel) + " TYPE=0x" +
         IntToHex(c.CanType, 2);
}

std::string ArchiveForm(const TConnectionChoice& c) {
  std::string text = ArchivePrefix + c.Name + ":" + std::to_string(c.Port) + " " + ArchiveTimeText(c.ArchiveStart);
  if (c.ArchiveEnd) text += ";" + ArchiveTimeText(*c.ArchiveEnd);
  return text;
}

std::string Zct2Prefix(const TConnectionChoice& c) { return c.ZCT2 ? "ZCT2:/" : ""; }

// The form without the user id, or the dialog's text for an incomplete choice.
TBuiltConnection BaseForm(const TConnectionChoice& c) {
  const bool noName = c.Name.empty();
  switch (c.Kind) {
    case ctUSB:
      return noName ? Incomplete("No Q+V device selected on USB") : TBuiltConnection{true, Zct2Prefix(c) + c.Name};
    case ctSerial:
      return noName ? Incomplete("No serial port selected")
                    : TBuiltConnection{true, c.Name + ":" + std::to_string(c.Baud)};
    case ctNetwork: {
      if (noName) return Incomplete("Network address missing");
      std::string text = Zct2Prefix(c) + (c.ByHostName ? "HOST:/" : "") + c.Name;
      if (c.Port != 0) text += ":" + std::to_string(c.Port);
      return {true, text};
    }
    case ctTCPServer:
      return noName ? Incomplete("TCP server address missing")
                    : TBuiltConnection{true, TcpPrefix + c.Name + ":" + std::to_string(c.Port)};
    case ctFile:
      if (noName) return Incomplete("Filename missing");
      return {true, c.Name + (c.LoopForEver ? " LOOP_FOR_EVER" : "") + (c.WaitInterval ? " WAIT_INTERVAL" : "")};
    case ctCAN:
      return {true, CanForm(c)};
    case ctArchive:
      return noName ? Incomplete("TCP archive address missing") : TBuiltConnection{true, ArchiveForm(c)};
    case ctDemoNone:
      return {true, c.Demo ? "DemoData" : "none"};
    default:  // Bluetooth is not offered by the dialog
      return {false, ""};
  }
}

}  // namespace

TBuiltConnection BuildConnectionString(const TConnectionChoice& choice) {
  TBuiltConnection built = BaseForm(choice);
  const bool isNone = choice.Kind == ctDemoNone && !choice.Demo;
  if (built.Complete && !isNone && choice.UserID >= 1 && choice.UserID <= 4)
    built.Text += " USERID=" + std::to_string(choice.UserID);
  return built;
}
