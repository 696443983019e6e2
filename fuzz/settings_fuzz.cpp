// Arbitrary bytes as a settings file: loading, the typed getters and saving must never crash, and
// what is saved must load back to the same lines.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/App_Settings.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void ReadAsEveryType(TAppSettings& s, const std::string& name) {
  s.GetValue(name, true);
  s.GetValue(name, 'c');
  s.GetValue(name, "default");
  s.GetUValue(name, 7u);
  try {
    s.GetValue(name, int32_t(0));
  } catch (const EConvertError&) {
  }
  try {
    const double value = s.GetValue(name, 0.5);
    if (std::isnan(value)) return;  // NaN is written as "no value"
    // A value that was read must survive being written and read again.
    s.SetValue(name + "_copy", value);
    const double again = s.GetValue(name + "_copy", 0.25);
    Check(again == value);
  } catch (const EConvertError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  TAppSettings s;
  s.SetFormatSettings(size % 2 ? TFormatSettings{',', '.'} : TFormatSettings{'.', ','});
  s.LoadFromBytes(bytes);

  const std::string saved = s.ToBytes();
  TAppSettings reloaded;
  reloaded.LoadFromBytes(saved);
  Check(reloaded.Lines() == s.Lines());
  Check(reloaded.ToBytes() == saved);

  const auto lines = s.Lines();
  for (size_t i = 0; i < lines.size() && i < 8; ++i) {
    const auto eq = lines[i].find('=');
    if (eq != std::string::npos) ReadAsEveryType(s, lines[i].substr(0, eq));
  }
  ReadAsEveryType(s, "INI_Version");
  try {
    s.VersionFormat();
  } catch (const EConvertError&) {
  }
  s.TestKeys("Session_");
  s.RemoveKeys("View_");
  s.SaveSettings();  // no file name: only the version key is set
  return 0;
}
