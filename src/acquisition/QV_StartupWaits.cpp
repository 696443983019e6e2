#include "acquisition/QV_StartupWaits.h"

#include "devices/QV_ReportCodes.h"

bool TQVStartupWaits::Ignores(uint16_t code) const {
  return (BufferCleared && code == rc_IntervalCounter) ||
         (Any() && (code < QV_FirstReportCode || code == rc_Second || code == rc_TenthSecond));
}

bool TQVStartupWaits::ChecksExpectedHeader(uint16_t code) const {
  return code < QV_FirstReportCode && ExpectedHeader && !BufferCleared && !HRQData;
}

std::string TQVStartupWaits::FlagText() const {
  std::string text;
  for (bool wait : {BufferCleared, ExpectedHeader, HRQData, ReSync}) text += wait ? '1' : '0';
  return text;
}

void TQVStartupWaits::StartHRQ(std::optional<TSteadyTime> now) {
  FHRQStart = now;
  FHRQTimeouts = 0;
}

void TQVStartupWaits::EndHRQ() {
  HRQData = false;
  FHRQStart.reset();
}

TQVStartupWaits::THRQCheck TQVStartupWaits::CheckHRQ(TSteadyTime now) {
  if (!HRQData || !FHRQStart || now - *FHRQStart <= HRQWaitLimit) return THRQCheck::Waiting;
  if (++FHRQTimeouts > HRQMaxRetries) return THRQCheck::GiveUp;
  FHRQStart = now;
  return THRQCheck::Retry;
}
