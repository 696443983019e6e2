#include "acquisition/QV_ArchiveItem.h"

#include <gtest/gtest.h>

// Which binary records the local data server's archive keeps, and the time stamp it shortens.
namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

TEST(ArchiveItem, KeepsMeasurementsStampsAndMessagesAsLengthAndRecord) {
  struct TCase {
    const char* Name;
    std::string Record;
    std::optional<std::string> Item;
  } cases[] = {
      {"measurement", Bytes({0x01, 0x00, 1, 2, 3}), Bytes({5, 0x01, 0x00, 1, 2, 3})},
      {"measurement with bit 15", Bytes({0x81, 0x00, 9}), Bytes({3, 0x81, 0x00, 9})},
      {"seconds stamp", Bytes({0x70, 0x15, 0, 0, 0, 7}), Bytes({6, 0x70, 0x15, 0, 0, 0, 7})},
      {"100 ms stamp of a whole second becomes a seconds stamp", Bytes({0x70, 0x16, 0, 0, 0x04, 0xCE}),
       Bytes({6, 0x70, 0x15, 0, 0, 0, 123})},
      {"100 ms stamp between seconds is not kept", Bytes({0x70, 0x16, 0, 0, 0x04, 0xD2}), std::nullopt},
      {"version report", Bytes({0x79, 0x00, 'v'}), Bytes({3, 0x79, 0x00, 'v'})},
      {"other report below 0x7EFF", Bytes({0x7E, 0x10, 1}), std::nullopt},
      {"message report", Bytes({0x7F, 0xF9, 1}), Bytes({3, 0x7F, 0xF9, 1})},
      {"packed records", Bytes({0xF1, 0x01, 0x00, 1, 2}), Bytes({5, 0xF1, 0x01, 0x00, 1, 2})},
      {"too short", Bytes({0x01}), std::nullopt},
      {"longer than a length byte holds", std::string(256, '\x01'), std::nullopt},
  };
  for (const TCase& c : cases) EXPECT_EQ(ArchiveItem(c.Record), c.Item) << c.Name;
}

}  // namespace
