#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The quantities a log file can hold (bit numbers of a 32-bit set) and the string classes the
// multi-sampler keeps per source.

enum TSamplerStringClass : uint8_t {
  sscStandard = 0,
  sscAvgShort = 1,
  sscAvgLong = 2,
  sscVirtual = 3,
  sscSpecial = 4
};
constexpr int kSamplerStringClassCount = 5;
// "Standard", "AvgShort", ...; "Unknown" for a value outside the enumeration.
std::string SamplerStringClassName(TSamplerStringClass aClass);

constexpr int kLogTypeCount = 18;  // bits 0..17 have a meaning
constexpr int kLogTypeADEV = 7;
constexpr int kLogTypeADEVVirtual = 13;
constexpr int kLogTypeFreqAbsVirtual = 11;  // what a linear combination of older files logged
constexpr uint32_t kCounterLogTypes = 0x80CF;
constexpr uint32_t kVirtualCounterLogTypes = 0x33C00;
constexpr uint32_t kIntervalLogTypes = 0x30;

// What kind of source a simple definition reads: it changes widths, captions and name parts.
enum class TLogSourceKind : uint8_t {
  Counter,          // a counter session, its standard, virtual and raw-data sets
  IntervalCounter,  // a source that carries only interval-counter data (the copy)
  Sensor
};

// One row of the log type table.
struct TLogTypeInfo {
  int Bit;
  const char* DialogCaption;  // check box caption; empty for types the dialog never offers
  bool Hidden;
  const char* HeaderCaption;  // empty: no caption
  int Width;                  // field width per channel
  const char* NamePart;       // part of generated file names
  int Slot;                   // position of the value string in a report's ten strings
};

// The row of a bit, or nullptr for a bit without meaning.
const TLogTypeInfo* FindLogType(int bit);
bool IsVirtualLogType(int bit);

// A log type as one kind of source writes it: sensors have one fixed type "Sensor", interval
// counters write their averages in narrower fields.
struct TLogColumnType {
  int Bit;  // -1 for the sensor type
  std::string Caption;
  int Width;
  std::string NamePart;
  int Slot;
  bool Virtual;
};
// The log types a kind of source delivers in a string class; other bits of a stored definition
// have no values there and are not written. Sensors have their one type whatever the bits.
uint32_t SourceLogTypes(TLogSourceKind kind, TSamplerStringClass aClass);

// The column type of a bit for a source kind (bits without meaning: width 0, no caption).
TLogColumnType LogColumnType(int bit, TLogSourceKind kind);
// The column types of a set of bits, in bit order; a sensor with any bit set has its one type.
std::vector<TLogColumnType> LogColumnTypes(uint32_t types, TLogSourceKind kind);
