#include "ui/FormBigMessage.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#include "core/VTA_Common.h"

std::string BigMessageText(const std::string& text, int32_t sIndex, int32_t code) {
  std::string body = text;
  if (code > 0x7000) {
    const size_t colon = body.find(':');
    body.erase(0, std::min(body.size(), size_t{colon == 4 ? 6u : 4u}));
    if (body.starts_with(";")) body.erase(0, std::min(body.size(), size_t{2}));
  }
  const char letter = sIndex == kNoSession ? '?' : SessionLetter(sIndex);
  const std::string whole = std::string(1, letter) + ": " + body;
  constexpr size_t kWidth = 80;
  std::string wrapped;
  for (size_t pos = 0; pos < whole.size(); pos += kWidth) {
    if (pos > 0) wrapped += '\n';
    wrapped += whole.substr(pos, kWidth);
  }
  return wrapped;
}

TFormBigMessage::TFormBigMessage(QWidget* parent, TSetEnabled setEnabled)
    : QDialog(parent), FSetEnabled(std::move(setEnabled)) {
  setWindowTitle("VTA Message");
  setModal(false);
  auto* layout = new QVBoxLayout(this);
  FText = new QLabel;
  QFont font = FText->font();
  font.setPointSizeF(font.pointSizeF() * 1.5);
  FText->setFont(font);
  layout->addWidget(FText);
  FDontShow = new QCheckBox("Don't Show This Message Again");
  layout->addWidget(FDontShow);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(FDontShow, &QCheckBox::toggled, this, [this](bool dontShow) {
    if (FLink && FSetEnabled) FSetEnabled(FLink, !dontShow);
  });
}

void TFormBigMessage::ShowNotification(const std::string& text, int32_t sIndex, int32_t code,
                                       const TNotification* link) {
  FLink = nullptr;  // the box belongs to the new message: no switch while it is set back
  FDontShow->setChecked(false);
  FLink = link;
  FText->setText(QString::fromStdString(BigMessageText(text, sIndex, code)));
  adjustSize();
  show();
  raise();
}
