#include "core/EMailServerLogin.h"

#include "core/App_Settings.h"
#include "core/PasswordCipher.h"

TEMailServerLogin::TEMailServerLogin(std::string user, bool authNeeded, std::string sender, std::string passwordText,
                                     std::string host)
    : FUser(std::move(user)),
      FHost(std::move(host)),
      FcryptPassword(std::move(passwordText)),
      FAuthNeeded(authNeeded),
      FeMailSender(std::move(sender)) {}

TEMailServerLogin::TEMailServerLogin(const TAppSettings& settings, const std::string& prefix,
                                     const std::string& defaultSender) {
  FHost = settings.TryGetValue(prefix + "Host").value_or("");
  if (FHost.empty()) throw EMailServerLogin();
  FUser = settings.TryGetValue(prefix + "User").value_or("");
  FcryptPassword = settings.TryGetValue(prefix + "Pass").value_or("");
  const auto auth = settings.TryGetValue(prefix + "Auth");
  FAuthNeeded = auth ? *auth == "True" : (!FUser.empty() && !FcryptPassword.empty());
  FeMailSender = settings.TryGetValue(prefix + "Sender").value_or(defaultSender);
}

void TEMailServerLogin::SaveSettings(TAppSettings& settings, const std::string& SettingsPrefix) const {
  // "Auth" is written too: inferring it from user and password would turn a stored False into True.
  const auto lock = settings.Lock();
  settings.SetValue(SettingsPrefix + "Host", FHost);
  settings.SetValue(SettingsPrefix + "User", FUser);
  settings.SetValue(SettingsPrefix + "Pass", FcryptPassword);
  settings.SetValue(SettingsPrefix + "Auth", FAuthNeeded);
  settings.SetValue(SettingsPrefix + "Sender", FeMailSender);
}

TEMailServerLogin TEMailServerLogin::WithPlainPassword(std::string user, bool authNeeded, std::string sender,
                                                       const std::string& password, std::string host) {
  return TEMailServerLogin(std::move(user), authNeeded, std::move(sender), EncipherPassword(password), std::move(host));
}

std::string TEMailServerLogin::GetPassword() const { return DecipherPassword(FcryptPassword).value_or(""); }
