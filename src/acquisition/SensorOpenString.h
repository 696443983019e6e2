#pragma once
#include <string>
#include <string_view>

// The parts of a sensor session's open string ("TCW122B-CM: " + address, "LabJack-T4: " + identifier).

// What follows the prefix, without surrounding blanks; a string without the prefix is taken whole.
std::string OpenStringArgument(const std::string& openString, std::string_view prefix);
bool IsIPv4Address(const std::string& text);
bool IsIPv6Address(const std::string& text);
