#pragma once
#include <cstdint>

#include "core/CalendarTime.h"
#include "logging/LogFileLayout.h"

// What the multi-sampler needs of one source (a session or the interval-counter copy of one). The
// application adapts its sessions to it; the source must outlive its use by the multi-sampler.
class ISamplerSource {
 public:
  virtual ~ISamplerSource() = default;
  virtual int32_t Index() const = 0;
  virtual bool IsCopy() const = 0;
  // 0 = counter, above 0 = sensor.
  virtual int32_t SessionType() const = 0;
  // Never 0.
  virtual int32_t IntervalMs() const = 0;
  // 0xFFFFFFFF = unknown.
  virtual uint32_t SerialNumber() const = 0;
  // A counter session that carries only interval-counter data (the copy or an IVC-only device).
  virtual bool IntervalCounterOnly() const = 0;
  // The time that names and rolls over the files of definitions whose main source this is.
  virtual TDateTime GetDateTime() const = 0;
  // Names, channels and settings for the header and the "-" fields of the lines.
  virtual TLogSourceInfo SourceInfo() const = 0;
  // The stores build only the strings of the types some definition needs.
  virtual void AddSamplerLogTypes(uint32_t types) = 0;
  virtual void ResetSamplerLogTypes() = 0;

  bool IsCounter() const { return SessionType() == 0; }
};
