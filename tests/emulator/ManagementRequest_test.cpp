#include "ManagementRequest.h"

#include <gtest/gtest.h>

namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int v : values) bytes += static_cast<char>(v);
  return bytes;
}

TEST(ManagementRequestTest, ConnectOfUserTwoForServer9999) {
  const std::string bytes = Bytes({0x43, 0x4F, 0x4E, 0x4E, 0x45, 0x43, 0x54, 0x31, 0x7F, 0x00, 0x00, 0x01, 0x3A, 0x27, 0x0F, 0x0D, 0x0A});
  const auto r = TManagementRequest::Parse(bytes);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->Kind, TManagementRequest::mrConnect);
  EXPECT_EQ(r->UserId, 2);
  EXPECT_EQ(r->HostAddress, 0x7F000001u);
  EXPECT_EQ(r->HostPort, 9999);
  EXPECT_EQ(r->HostText(), "127.0.0.1:9999");
}

TEST(ManagementRequestTest, KindsUsersAndCommands) {
  const std::string tail = Bytes({10, 0, 0, 7, ':', 0x12, 0x34});
  struct TCase {
    std::string bytes;
    TManagementRequest::TKind kind;
    int user;
    std::string command;
  } cases[] = {
      {"DISCONN0" + tail + "\r\n", TManagementRequest::mrDisconnect, 1, ""},
      {"TRYBABY3" + tail + "\r\n", TManagementRequest::mrTry, 4, ""},
      {"CONNECT " + tail + "\r\n", TManagementRequest::mrConnect, 0, ""},
      {"CMD.... " + tail + " " + Bytes({2, 0x85, 0x60}), TManagementRequest::mrCommand, 0, Bytes({0x85, 0x60})},
      {"CMD.... " + tail + " " + Bytes({0}), TManagementRequest::mrCommand, 0, ""},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(TManagementRequest::Length(c.bytes), c.bytes.size()) << c.bytes;
    const auto r = TManagementRequest::Parse(c.bytes);
    ASSERT_TRUE(r) << c.bytes;
    EXPECT_EQ(r->Kind, c.kind);
    EXPECT_EQ(r->UserId, c.user);
    EXPECT_EQ(r->Command, c.command);
    EXPECT_EQ(r->HostText(), "10.0.0.7:4660");
  }
}

TEST(ManagementRequestTest, IncompleteAndForeignBytes) {
  EXPECT_EQ(TManagementRequest::Length("CONN"), 0u);
  EXPECT_EQ(TManagementRequest::Length("CMD.... 1234:56"), 0u) << "the command length byte is still missing";
  EXPECT_EQ(TManagementRequest::Length("GET / HTTP/1.1"), std::string_view::npos);
  const std::string tail = Bytes({10, 0, 0, 7, ':', 0x12, 0x34});
  EXPECT_FALSE(TManagementRequest::Parse("CONNECT9" + tail + "\r\n")) << "user digit out of range";
  EXPECT_FALSE(TManagementRequest::Parse("CONNECT0" + tail + "xx")) << "no line end";
  EXPECT_FALSE(TManagementRequest::Parse("CONNECT0" + tail)) << "too short";
}

}  // namespace
