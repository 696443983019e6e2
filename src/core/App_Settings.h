#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/TextEncoding.h"

// Decimal and thousand separator of a number format ('.' or ',').
struct TFormatSettings {
  char DecimalSeparator = '.';
  char ThousandSeparator = ',';
  bool operator==(const TFormatSettings&) const = default;
};

// The number format of the user's locale.
TFormatSettings LocaleFormatSettings();

// A settings value that does not convert to the requested type.
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A settings file that cannot be read or written; the message names the file and the reason.
class ESettingsFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reading side of floating-point values: if "." (else ",") occurs after the first character it is the
// separator the text was written with; it is replaced by `decimalSeparator` for as long as its first
// remaining occurrence is not the first character. Files written with either separator thus read alike.
std::string NormaliseDecimalSeparator(std::string text, char decimalSeparator);
// Strict conversion with the given separator (blanks around the number allowed); nullopt if it fails.
std::optional<double> TextToFloat(std::string_view text, const TFormatSettings& fs);
// Shortest text that reads back to exactly `value`, with the format's decimal separator.
std::string FloatToText(double value, const TFormatSettings& fs);

// Ordered key=value store behind the settings files. Names compare without regard to case and the
// first occurrence of a name counts. Every getter appends a missing key with its default, so a saved
// file lists every key the program asked for. All operations lock the store (recursively), so the
// report thread may read while the window thread writes.
class TAppSettings {
 public:
  TAppSettings();
  virtual ~TAppSettings();
  TAppSettings(const TAppSettings&) = delete;
  TAppSettings& operator=(const TAppSettings&) = delete;

  // Remembers the name, creates a missing file empty and replaces the lines with the file's.
  // Throws ESettingsFileError when the file cannot be created or read, is a folder or holds binary
  // data (control characters other than tab and line ends); the file is left as it is.
  void LoadFromFile(const std::string& FileName);
  // Replaces the lines with the decoded text of a file's bytes (encoding detected as for files).
  void LoadFromBytes(std::string_view bytes);
  // The bytes SaveSettings writes: every line ended by CR LF, in the encoding of the loaded file.
  std::string ToBytes() const;
  // Sets "INI_Version" to VersionFormat, then writes the file atomically (WriteFileAtomically) if
  // a name is set, readable by the owner alone. Throws ESettingsFileError naming the file and the reason; the old file then stays.
  void SaveSettings();
  void SaveSettings(const std::string& FileName);
  void Clear();

  bool GetValue(const std::string& Name, bool Default);
  bool IsEnabled(const std::string& Name, bool Default) { return GetValue(Name, Default); }
  int32_t GetValue(const std::string& Name, int32_t Default);  // EConvertError
  // -1 reads as 0xFFFFFFFF ("none"); a value outside 0..4294967295 gives Default and is logged.
  uint32_t GetUValue(const std::string& Name, uint32_t Default);
  char GetValue(const std::string& Name, char Default);
  std::string GetValue(const std::string& Name, const std::string& Default);
  std::string GetValue(const std::string& Name, const char* Default) { return GetValue(Name, std::string(Default)); }
  double GetValue(const std::string& Name, double Default);  // empty value = NaN; EConvertError
  // The stored text of a key without appending anything.
  std::optional<std::string> TryGetValue(const std::string& Name) const;

  // Only a different text changes the store: the line is replaced in place, appended when missing,
  // or removed when `Wert` is empty. Control characters other than tab inside `Wert` become blanks.
  void SetValue(const std::string& Name, const std::string& Wert);
  void SetValue(const std::string& Name, const char* Wert) { SetValue(Name, std::string(Wert)); }
  void SetValue(const std::string& Name, bool Wert);
  void SetValue(const std::string& Name, int32_t Wert);
  void SetValue(const std::string& Name, char Wert);
  void SetValue(const std::string& Name, double Wert);  // NaN removes the key
  void SetUValue(const std::string& Name, uint32_t Wert);

  // Prefixes compare case-sensitively.
  void RemoveKeys(const std::string& Prefix);
  bool TestKeys(const std::string& Prefix) const;

  // Reads "INI_Version" (appended as 0 when missing); the version to save is raised to it.
  int32_t VersionFormat();
  // Raises the version to save; never lowers it.
  void SetVersionFormat(int32_t Value);

  std::string Filename() const;
  bool ValuesLoaded() const;
  TFormatSettings FormatSettings() const;
  void SetFormatSettings(const TFormatSettings& Value);
  TTextEncoding Encoding() const;
  std::vector<std::string> Lines() const;

  // Logger for the store's own diagnostics; -1 = none.
  int LogId() const { return FLogId; }
  void SetLogId(int Value) { FLogId = Value; }

  // Holds the store for a sequence of operations that must not interleave with other threads.
  [[nodiscard]] std::unique_lock<std::recursive_mutex> Lock() const { return std::unique_lock(FLock); }

 private:
  struct TLine {
    std::string Text;
    size_t NameLength;  // position of the first '=', or npos for a line without a name
  };
  static TLine MakeLine(std::string text);
  std::string_view NameOf(const TLine& line) const;
  // Names compared and hashed without regard to ASCII letter case; string views look up directly.
  struct TNameHash {
    using is_transparent = void;
    size_t operator()(std::string_view name) const;
  };
  struct TNameEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
  };
  ptrdiff_t IndexOfName(std::string_view Name) const;
  void AppendLine(std::string text);
  // After lines were removed or replaced wholesale: the positions behind them have moved.
  void RebuildIndex();
  // The stored value, or appends Name=defaultText and returns nullopt.
  std::optional<std::string> ValueOrAppend(const std::string& Name, const std::string& defaultText);

  mutable std::recursive_mutex FLock;
  std::vector<TLine> FLines;
  // Name -> position of its first line, so that a lookup does not scan a file of many sessions.
  std::unordered_map<std::string, size_t, TNameHash, TNameEqual> FIndex;
  std::string FFilename;
  bool FValuesLoaded = false;
  int32_t FVersionFormat = 0;
  TFormatSettings FFormatSettings;
  TTextEncoding FEncoding = teUtf8;
  std::atomic<int> FLogId{-1};
};
