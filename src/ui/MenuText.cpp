#include "ui/MenuText.h"

QString MenuCaption(const std::string& text) {
  QString caption = QString::fromStdString(text);
  caption.replace('&', "&&");
  return caption;
}
