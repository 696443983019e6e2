// Arbitrary open strings and command bytes: splitting, classifying and checking must never crash,
// and every refusal must say why.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "acquisition/ConnectionChoice.h"
#include "acquisition/QV_CommandAcceptance.h"
#include "acquisition/QV_ConnectionString.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const TFileExists fileExists = [](const std::string& path) { return path.size() % 3 == 0; };
  const TFindDevice findDevice = [](const std::string& name) -> std::optional<TQV_DeviceType> {
    if (name.starts_with("COM")) return QV_Serial;
    return std::nullopt;
  };
  const TConnectionString split = SplitConnectionString(input, fileExists, "F");
  Check(split.UserID == 255 || (split.UserID >= 1 && split.UserID <= 4));
  if (split.Result == QV_No_Err) {
    const TOpenTarget target = ClassifyOpenTarget(split, findDevice, fileExists);
    Check(target.Result == QV_No_Err || !target.ErrorMessage.empty());
  }

  // The connection dialog: a stored string read back into a choice, and that choice checked; an
  // accepted choice, stored with its kind as sessions store it, must read back to the same string.
  const TChoiceFromString stored = ChoiceFromOpenString(input, size > 2 ? data[2] % 12 - 1 : -1, fileExists);
  const TChoiceCheck check = CheckConnectionChoice(stored.Choice, findDevice, fileExists);
  Check(check.Ok || !check.ErrorText.empty());
  if (check.Ok) {
    const TChoiceFromString again = ChoiceFromOpenString(check.OpenString, int32_t(stored.Choice.Kind), fileExists);
    const TChoiceCheck recheck = CheckConnectionChoice(again.Choice, findDevice, fileExists);
    Check(recheck.Ok && recheck.OpenString == check.OpenString);
  }

  TCommandContext context;
  context.ConnectionOpen = true;
  context.PeerType = size > 0 && data[0] % 2 ? ptESP : ptColdfire;
  context.HardFeature = 0x2005;
  context.SerialConnection = size > 1 && data[1] % 2;
  const TCommandAcceptance a = CheckCommand(input, context, "F");
  Check(a.Accepted ? a.Command.size() == input.size() : !a.Command.empty());
  return 0;
}
