#include "ui/TextColumns.h"

#include "data/IVC_DataManagement.h"
#include "data/ZCT_DataManagement.h"

namespace {

class TZCTColumns : public TTextColumnSource {
 public:
  explicit TZCTColumns(TZCT_DataManagement& store) : FStore(store) {}
  int ModeCount() const override { return ZCT_TextModeCount; }
  std::string Header(int mode, bool virtualChannels) const override {
    return virtualChannels ? FStore.GetTextModeVirtualCaption(Mode(mode)) : FStore.GetTextModeCaption(Mode(mode));
  }
  bool Delivers(int mode) const override { return FStore.IsTextModeEnabled(Mode(mode)); }
  std::string Value(int mode, int32_t channel, bool virtualChannels) const override {
    return virtualChannels ? FStore.GetTextModeVirtualString(Mode(mode), channel)
                           : FStore.GetTextModeString(Mode(mode), channel);
  }
  bool MarksClockWarning(int mode) const override { return mode == tmFreqAbs || mode == tmFreqRel; }
  bool HasClockAlarm(int32_t channel) const override { return FStore.HasClockAlarm(channel); }
  int32_t ChannelCount(bool virtualChannels) const override {
    return virtualChannels ? FStore.VirtualChannelCount() : FStore.ChannelCount();
  }

 private:
  static TTextModeZCT Mode(int mode) { return static_cast<TTextModeZCT>(mode); }
  TZCT_DataManagement& FStore;
};

class TIVCColumns : public TTextColumnSource {
 public:
  explicit TIVCColumns(TIVC_DataManagement& store) : FStore(store) {}
  int ModeCount() const override { return kTextModeCountIVC; }
  std::string Header(int mode, bool) const override { return FStore.GetTextModeCaption(Mode(mode)); }
  bool Delivers(int mode) const override { return FStore.IsTextModeEnabled(Mode(mode)); }
  std::string Value(int mode, int32_t channel, bool virtualChannels) const override {
    return virtualChannels ? FStore.GetTextModeVirtualString(Mode(mode), channel)
                           : FStore.GetTextModeString(Mode(mode), channel);
  }
  bool MarksClockWarning(int) const override { return false; }
  bool HasClockAlarm(int32_t) const override { return false; }
  int32_t ChannelCount(bool virtualChannels) const override {
    return virtualChannels ? FStore.VirtualChannelCount() : FStore.ChannelCount();
  }

 private:
  static TTextModeIVC Mode(int mode) { return static_cast<TTextModeIVC>(mode); }
  TIVC_DataManagement& FStore;
};

}  // namespace

std::unique_ptr<TTextColumnSource> ZCTTextColumns(TZCT_DataManagement& store) { return std::make_unique<TZCTColumns>(store); }

std::unique_ptr<TTextColumnSource> IVCTextColumns(TIVC_DataManagement& store) { return std::make_unique<TIVCColumns>(store); }

const std::vector<std::string>& TextModeNamesZCT() {
  static const std::vector<std::string> names = {"Phase",
                                                 "Phase Difference ( Δ Chan. 1)",
                                                 "Frequency Absolute",
                                                 "Frequency Relative",
                                                 "Phase Difference ( Δ Chan. n-1)",
                                                 "Phase Residual"};
  return names;
}

const std::vector<std::string>& TextModeNamesIVC() {
  static const std::vector<std::string> names = {"Time Interval", "Time Interval Difference",
                                                 "Interval Diff. short average", "Interval Diff. long average"};
  return names;
}
