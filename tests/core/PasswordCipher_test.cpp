#include "core/PasswordCipher.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/EMailServerLogin.h"

TEST(PasswordCipher, RoundTripWithTwoHexDigitsPerCharacter) {
  for (const std::string& plain : std::vector<std::string>{"", "a", "secret123", "pässwörd with blanks", std::string(100, 'x')}) {
    const std::string hex = EncipherPassword(plain);
    EXPECT_EQ(hex.size(), 2 * plain.size()) << plain;
    EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos) << hex;
    if (!plain.empty()) EXPECT_EQ(hex.find(plain), std::string::npos) << "the password must not show";
    EXPECT_EQ(DecipherPassword(hex), plain);
  }
}

// Stored passwords must still decipher after a rebuild: the key and mode are part of the file format.
TEST(PasswordCipher, StoredTextStaysReadable) {
  // Written by an earlier build of the program.
  const std::string stored = "460DF8B9A87448FC45";
  EXPECT_EQ(DecipherPassword(stored), "secret123");
  EXPECT_EQ(EncipherPassword("secret123"), stored);
}

TEST(PasswordCipher, TextThatIsNotHexBytesGivesNothing) {
  for (const char* text : {"A", "ABC", "GG", "12 4", "0x12"}) EXPECT_FALSE(DecipherPassword(text)) << text;
  EXPECT_EQ(DecipherPassword("abcdef"), DecipherPassword("ABCDEF")) << "either case is read";
}

TEST(PasswordCipher, LoginKeepsOnlyTheEncipheredPassword) {
  const TEMailServerLogin login = TEMailServerLogin::WithPlainPassword("alice", true, "alice@lab", "s3cr3t", "smtp.lab");
  EXPECT_EQ(login.PasswordText(), EncipherPassword("s3cr3t"));
  EXPECT_EQ(login.GetPassword(), "s3cr3t");
  EXPECT_EQ(TEMailServerLogin("bob", true, "b@lab", "not hex", "smtp.lab").GetPassword(), "");
}
