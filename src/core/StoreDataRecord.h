#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/CalendarTime.h"

// One archive record: the items of one minute with the times the minute's file was begun and
// ended. Archive files and the archive stream of the data protocol hold the same layout: StartTime
// and EndTime as little-endian IEEE 754 doubles (days since 1899-12-30), the data length as a
// little-endian uint32, then the data bytes.
struct TStoreDataRecord {
  TDateTime StartTime = 0;
  TDateTime EndTime = 0;
  std::string Data;
  bool operator==(const TStoreDataRecord&) const = default;
};

constexpr size_t StoreDataHeadSize = 20;

// The head of a record before its data.
struct TStoreDataHead {
  TDateTime StartTime = 0;
  TDateTime EndTime = 0;
  uint32_t DataLength = 0;
};

void AppendStoreDataRecord(std::string& out, const TStoreDataRecord& rec);
std::string StoreDataRecordBytes(const TStoreDataRecord& rec);
// Reads the 20 head bytes (at least StoreDataHeadSize must be given).
TStoreDataHead ParseStoreDataHead(std::string_view head);

// Takes one record off the front of `bytes`. The data length is checked against the bytes left
// before anything is allocated; a short record gives false with `error` set and leaves `bytes`.
bool TakeStoreDataRecord(std::string_view& bytes, TStoreDataRecord& rec, std::string& error);
