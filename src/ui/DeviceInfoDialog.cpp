#include "ui/DeviceInfoDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>

#include "core/QV_NumberText.h"
#include "devices/QV_DeviceInfo.h"
#include "ui/DialogInput.h"

TDeviceInfoDialog::TLines TDeviceInfoDialog::Lines(const TQV_DeviceInfo& info) {
  TLines lines = {
      {"Serial number", IntToHex(info.SerialNumber(), 8)},
      {"Peer", QV_PeerTypeName(info.PeerType())},
      {"IP address", info.IPAddress().empty() ? "-" : info.IPAddress()},
      {"Hardware features", IntToHex(info.HardFeature(), 4)},
  };
  for (int user = 1; user <= 4; ++user) {
    std::string text = info.ConnectedUser(user);
    if (const std::string second = info.ConnectedUserU2(user); !second.empty() && second != text)
      text += (text.empty() ? "" : " / ") + second;
    lines.push_back({"User " + std::to_string(user), text.empty() ? "-" : text});
  }
  std::string nominal;
  for (int channel = 1; channel <= 24; ++channel)
    if (const double hz = info.NominalFreq(channel); hz != 0)
      nominal += (nominal.empty() ? "" : ", ") + std::to_string(channel) + ": " + FloatTextIn(hz, TFormatSettings{}).toStdString() + " Hz";
  lines.push_back({"Nominal frequencies", nominal.empty() ? "-" : nominal});
  return lines;
}

TDeviceInfoDialog::TDeviceInfoDialog(QWidget* parent, const TQV_DeviceInfo& info) : QDialog(parent) {
  setWindowTitle(QString::fromStdString("Q+V device " + IntToHex(info.SerialNumber(), 8)));
  auto* form = new QFormLayout(this);
  for (const auto& [caption, value] : Lines(info)) {
    auto* label = new QLabel(QString::fromStdString(value), this);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setWordWrap(true);
    form->addRow(QString::fromStdString(caption), label);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &TDeviceInfoDialog::reject);
  form->addRow(buttons);
  setMinimumWidth(360);
}
