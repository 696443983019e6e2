#include "core/EMailServerLogin.h"

#include <gtest/gtest.h>

#include "core/App_Settings.h"

namespace {

TEST(EMailServerLogin, KeysWithoutHostAreAnError) {
  for (const char* content : {"P_User=u\r\n", "P_Host=\r\n"}) {
    TAppSettings s;
    s.LoadFromBytes(content);
    try {
      TEMailServerLogin login(s, "P_", "x@y");
      ADD_FAILURE() << content;
    } catch (const EMailServerLogin& e) {
      EXPECT_STREQ(e.what(), "EMailServerLogin settings error");
    }
    EXPECT_EQ(s.Lines().size(), 1u);  // reading adds no keys
  }
}

TEST(EMailServerLogin, MissingAuthAndSenderGetTheirDefaults) {
  struct TCase {
    const char* Content;
    bool Auth;
    const char* Sender;
  };
  const TCase cases[] = {
      {"P_Host=h\r\nP_User=u\r\nP_Pass=AB\r\n", true, "x@y"},
      {"P_Host=h\r\nP_User=u\r\n", false, "x@y"},
      {"P_Host=h\r\nP_Pass=AB\r\n", false, "x@y"},
      {"P_Host=h\r\nP_User=u\r\nP_Pass=AB\r\nP_Auth=False\r\nP_Sender=s@t\r\n", false, "s@t"},
      {"P_Host=h\r\nP_Auth=True\r\n", true, "x@y"},
  };
  for (const auto& c : cases) {
    TAppSettings s;
    s.LoadFromBytes(c.Content);
    const TEMailServerLogin login(s, "P_", "x@y");
    EXPECT_EQ(login.Host(), "h");
    EXPECT_EQ(login.AuthNeeded(), c.Auth) << c.Content;
    EXPECT_EQ(login.Sender(), std::string(c.Sender)) << c.Content;
  }
}

TEST(EMailServerLogin, SavedKeysReadBackUnchanged) {
  TAppSettings s;
  const TEMailServerLogin login("user", false, "me@lab", "0123ABCD", "smtp.lab");
  login.SaveSettings(s, "eMail_Config_");
  EXPECT_EQ(s.Lines(), (std::vector<std::string>{"eMail_Config_Host=smtp.lab", "eMail_Config_User=user",
                                                 "eMail_Config_Pass=0123ABCD", "eMail_Config_Auth=False",
                                                 "eMail_Config_Sender=me@lab"}));
  EXPECT_EQ(TEMailServerLogin(s, "eMail_Config_", "other"), login);
}

}  // namespace
