#pragma once
#include <stdexcept>
#include <string>

class TAppSettings;

// Reading a login from settings keys that name no host.
class EMailServerLogin : public std::runtime_error {
 public:
  EMailServerLogin() : std::runtime_error("EMailServerLogin settings error") {}
};

// One SMTP account as stored under a key prefix ("eMail_Default_", "eMail_Config_"): the keys are
// prefix + "Host", "User", "Pass", "Auth" and "Sender". The password is kept only as its stored,
// enciphered text and deciphered when a mail is sent.
class TEMailServerLogin {
 public:
  TEMailServerLogin(std::string user, bool authNeeded, std::string sender, std::string passwordText, std::string host);
  // A login from a password as the user typed it.
  static TEMailServerLogin WithPlainPassword(std::string user, bool authNeeded, std::string sender,
                                             const std::string& password, std::string host);
  // Reads the keys without adding missing ones. No host: EMailServerLogin. A missing "Auth" is true
  // when user and password are given; a missing "Sender" is `defaultSender`.
  TEMailServerLogin(const TAppSettings& settings, const std::string& prefix, const std::string& defaultSender);

  void SaveSettings(TAppSettings& settings, const std::string& SettingsPrefix) const;

  const std::string& User() const { return FUser; }
  const std::string& Host() const { return FHost; }
  const std::string& PasswordText() const { return FcryptPassword; }
  // The deciphered password; empty when the stored text cannot be deciphered.
  std::string GetPassword() const;
  bool AuthNeeded() const { return FAuthNeeded; }
  const std::string& Sender() const { return FeMailSender; }
  bool operator==(const TEMailServerLogin&) const = default;

 private:
  std::string FUser;
  std::string FHost;
  std::string FcryptPassword;
  bool FAuthNeeded = true;
  std::string FeMailSender;
};
