#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TIVC_DataManagement;
class TZCT_DataManagement;

// What a text view shows of one data store: the store's quantities (text modes) in column order,
// their headers and the value texts per channel. The counter store and the interval-counter store
// each have one; the text view works with either.
constexpr int kTextModeCountIVC = 4;

class TTextColumnSource {
 public:
  virtual ~TTextColumnSource() = default;
  virtual int ModeCount() const = 0;
  // The column header from the store.
  virtual std::string Header(int mode, bool virtualChannels) const = 0;
  // Whether the current measurement mode delivers the quantity.
  virtual bool Delivers(int mode) const = 0;
  virtual std::string Value(int mode, int32_t channel, bool virtualChannels) const = 0;
  // Whether real-channel values of the mode carry the clock-warning mark ("A" or a blank).
  virtual bool MarksClockWarning(int mode) const = 0;
  virtual bool HasClockAlarm(int32_t channel) const = 0;
  virtual int32_t ChannelCount(bool virtualChannels) const = 0;
};

// The store must outlive the source.
std::unique_ptr<TTextColumnSource> ZCTTextColumns(TZCT_DataManagement& store);
std::unique_ptr<TTextColumnSource> IVCTextColumns(TIVC_DataManagement& store);

// The quantities as the selection dialog names them, in column order.
const std::vector<std::string>& TextModeNamesZCT();
const std::vector<std::string>& TextModeNamesIVC();
