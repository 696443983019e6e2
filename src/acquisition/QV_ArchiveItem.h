#pragma once
#include <optional>
#include <string>
#include <string_view>

// The archive item of one binary report record, or none when the record is not archived: a 0x7016
// time stamp whose value (bytes 2 to 5, most significant first) is a multiple of 10 becomes the
// 0x7015 stamp of a tenth of it; then the header (bit 15 ignored below 0xF000) keeps measurements
// below 0x7000, 0x7015, 0x7900 and everything above 0x7EFF. The item is one length byte followed by
// the record.
std::optional<std::string> ArchiveItem(std::string_view record);
