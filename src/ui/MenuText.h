#pragma once
#include <QString>
#include <string>

// A name or file name as a menu caption: "&" would mark an access key, so it is doubled.
QString MenuCaption(const std::string& text);
