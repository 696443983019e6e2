#include "acquisition/SensorOpenString.h"

#include <arpa/inet.h>

#include "core/QV_NumberText.h"

std::string OpenStringArgument(const std::string& openString, std::string_view prefix) {
  std::string_view rest = openString;
  if (rest.starts_with(prefix)) rest.remove_prefix(prefix.size());
  return std::string(TrimBlanks(rest));
}

bool IsIPv4Address(const std::string& text) {
  in_addr address{};
  return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

bool IsIPv6Address(const std::string& text) {
  in6_addr address{};
  return inet_pton(AF_INET6, text.c_str(), &address) == 1;
}
