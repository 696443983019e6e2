#include "acquisition/QV_RemoteLogin.h"

#include <gtest/gtest.h>

#include "acquisition/QV_CommandAcceptance.h"
#include "devices/QV_CommonTypes.h"

TEST(RemoteLogin, BlockBytesCarryPasswordAndRandomInTheirPlaces) {
  // 0x12345678 ^ 0x5C3D1E7B = 0x4E094803 -> bytes 7, 2, 3, 5; random 0x0A0B0C0D -> bytes 0, 1, 4, 6.
  EXPECT_EQ(AnsiToHex(RemoteLoginCommand(0x12345678, 0x0A0B0C0D)),
            "8512"
            "0A0B0948"
            "0C030D4E");
  // Only 31 bits of the random number are used.
  EXPECT_EQ(AnsiToHex(RemoteLoginCommand(0, 0xFFFFFFFF)),
            "8512"
            "7FFF3D1E"
            "FF7BFF5C");
  EXPECT_EQ(AnsiToHex(RemoteLoginCommand(RemoteLoginKey, 0)),
            "8512"
            "00000000"
            "00000000");
}

TEST(RemoteLogin, CommandIsAcceptedByTheSource) {
  TCommandContext c;
  c.ConnectionOpen = true;
  c.PeerType = ptESP;
  EXPECT_TRUE(CheckCommand(RemoteLoginCommand(4711, 99), c, "T").Accepted);
}
