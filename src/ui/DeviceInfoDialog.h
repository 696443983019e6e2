#pragma once
#include <QDialog>
#include <string>
#include <utility>
#include <vector>

class TQV_DeviceInfo;

// "Q+V device" + serial number: what the program learnt about one instrument (peer, address,
// hardware features, the users connected to it, the nominal frequencies remembered for it).
class TDeviceInfoDialog : public QDialog {
  Q_OBJECT

 public:
  using TLines = std::vector<std::pair<std::string, std::string>>;

  TDeviceInfoDialog(QWidget* parent, const TQV_DeviceInfo& info);

  // Caption and value of each line the dialog shows, in order.
  static TLines Lines(const TQV_DeviceInfo& info);
};
