#include "devices/UsbHotPlug.h"

TUsbHotPlug::TUsbHotPlug(TEnumerate enumerate) : FEnumerate(std::move(enumerate)) {
  for (const TUsbInstrument& i : FEnumerate()) FKnown[i.Name()] = i.Name() + " " + UsbDescription(i);
}

void TUsbHotPlug::Poll(const TChange& onChange) {
  FMonitor.TakeNotices([&](const std::string& node, bool arrived) { Notice(node, arrived, onChange); });
}

void TUsbHotPlug::Notice(const std::string& node, bool arrived, const TChange& onChange) {
  if (!arrived) {
    const auto known = FKnown.find(node);
    if (known == FKnown.end()) return;
    const std::string text = known->second;
    FKnown.erase(known);
    onChange(text, false);
    return;
  }
  for (const TUsbInstrument& i : FEnumerate()) {
    if (i.Name() != node) continue;
    const std::string text = i.Name() + " " + UsbDescription(i);
    FKnown[node] = text;
    onChange(text, true);
  }
}
