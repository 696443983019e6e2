#include <gtest/gtest.h>

#include "acquisition/QV_TcpRequest.h"

namespace {

struct TParseCase {
  std::string line;
  bool ok;
  std::string answerOrCommand;  // the refusal, or the command of a good line
  std::string address = {};
  uint16_t port = 0;
  std::string data = {};
};

TEST(TcpRequest, LinesAreTakenApartOrRefusedWithTheirAnswer) {
  const TParseCase cases[] = {
      {"CONNECT 192.0.2.7:5000", true, "CONNECT", "192.0.2.7", 5000, ""},
      {"CONNECT 192.0.2.7:5000 MODE=FREQLOG UTC-Time=HH:NN", true, "CONNECT", "192.0.2.7", 5000,
       "MODE=FREQLOG UTC-Time=HH:NN"},
      {"APPDATA 10.1.2.3:1 two words", true, "APPDATA", "10.1.2.3", 1, "two words"},
      {"XXXXXXX 10.1.2.3:65535", true, "XXXXXXX", "10.1.2.3", 65535, ""},
      {"CONNECTX 192.0.2.7:5000", false, "ERR unknown request: CONNECTX 192.0.2.7:5000"},
      {"CONNECT", false, "ERR unknown request: CONNECT"},
      {"", false, "ERR unknown request: "},
      {"\x01\xff garbage", false, "ERR unknown request: \x01\xff garbage"},
      {"CONNECT 192.0.2:5000", false, "ERR bad format (IP:Port): 192.0.2:5000"},
      {"CONNECT 192.0.2.7:70000", false, "ERR bad format (IP:Port): 192.0.2.7:70000"},
      {"CONNECT 192.0.2.7:", false, "ERR bad format (IP:Port): 192.0.2.7:"},
      {"CONNECT 192.0.2.7:50x0", false, "ERR bad format (IP:Port): 192.0.2.7:50x0"},
      {"CONNECT 192.0.2.256:5000", false, "ERR bad format (IP:Port): 192.0.2.256:5000"},
      {"CONNECT 192..2.7:5000", false, "ERR bad format (IP:Port): 192..2.7:5000"},
      {"CONNECT 192.0.2.7", false, "ERR bad format (IP:Port): 192.0.2.7"},
      {"CONNECT host.lan:5000", false, "ERR bad format (IP:Port): host.lan:5000"},
  };
  for (const TParseCase& c : cases) {
    SCOPED_TRACE(c.line);
    std::string answer;
    const auto request = ParseTcpRequest(c.line, answer);
    ASSERT_EQ(request.has_value(), c.ok) << answer;
    if (!c.ok) {
      EXPECT_EQ(answer, c.answerOrCommand);
      continue;
    }
    EXPECT_EQ(request->Command, c.answerOrCommand);
    EXPECT_EQ(request->Address, c.address);
    EXPECT_EQ(request->Port, c.port);
    EXPECT_EQ(request->Data, c.data);
    EXPECT_EQ(BuildTcpRequest(request->Command, request->Address, request->Port, request->Data), c.line);
  }
}

TEST(TcpRequest, AddressListsSplitAtCommasSemicolonsAndBlanks) {
  EXPECT_EQ(SplitAddressList(" 192.0.2.5, 192.0.2.6;192.0.2.7  typo "),
            (std::vector<std::string>{"192.0.2.5", "192.0.2.6", "192.0.2.7", "typo"}));
  EXPECT_TRUE(SplitAddressList(" , ").empty());
}

TEST(TcpRequest, ModeNamesMapToClientModesBothWays) {
  const std::pair<const char*, int> names[] = {
      {"", 7},
      {"MODE=PHASELOG", 16},
      {"MODE=FREQLOG", 17},
      {"MODE=PHASEDIFFLOG", 18},
      {"MODE=IVCLOG", 19},
      {"MODE=IVCDIFFLOG", 20},
      {"MODE=PHASEPREDECESSORLOG", 21},
      {"MODE=USERLOG1", 22},
      {"MODE=USERLOG2", 23},
  };
  for (const auto& [name, mode] : names) {
    SCOPED_TRACE(name);
    ASSERT_EQ(TcpModeFromName(name), std::optional<uint8_t>(uint8_t(mode)));
    EXPECT_EQ(TcpModeRequestName(uint8_t(mode)), name);
  }
  for (const char* bad : {"FREQLOG", "MODE=freqlog", "MODE=", "MODE=FREQLOG ", "MODE=PHASE"}) EXPECT_FALSE(TcpModeFromName(bad)) << bad;
  EXPECT_EQ(TcpModeText(7), "all Reports");
  EXPECT_EQ(TcpModeText(21), "PHASEPREDECESSORLOG");
  EXPECT_EQ(TcpModeText(0), "PHASE");
  EXPECT_EQ(TcpModeText(2), "FREQ");
  EXPECT_EQ(TcpModeText(4), "PHASEDIFF");
  EXPECT_EQ(TcpModeText(255), "FF");
}

TEST(TcpRequest, ArchiveStampsAreExactlyDateUnderscoreTime) {
  const auto stamp = ParseArchiveStampDays("20250107_133005");
  ASSERT_TRUE(stamp);
  // 2025-01-07 is day 45664 since 1899-12-30.
  EXPECT_NEAR(*stamp, 45664 + (13 * 3600 + 30 * 60 + 5) / 86400.0, 1e-9);
  EXPECT_EQ(ArchiveStampText(*stamp), "20250107_133005");
  // Every second of a day reads back as written (no rounding to the second before).
  for (int second = 0; second < 86400; ++second) {
    const std::string text = "20241231_" + std::string(second / 36000 ? "" : "0") + std::to_string(second / 3600) +
                             (second / 60 % 60 < 10 ? "0" : "") + std::to_string(second / 60 % 60) +
                             (second % 60 < 10 ? "0" : "") + std::to_string(second % 60);
    const auto parsed = ParseArchiveStampDays(text);
    ASSERT_TRUE(parsed) << text;
    ASSERT_EQ(ArchiveStampText(*parsed), text);
  }
  for (const char* bad : {"20250107_1330", "20250107 133005", "2025017_1330050", "20251307_133005", "20250230_120000",
                          "20250107_243000", "20250107_13300x", "", "20250107_133005 "})
    EXPECT_FALSE(ParseArchiveStampDays(bad)) << bad;
}

}  // namespace
