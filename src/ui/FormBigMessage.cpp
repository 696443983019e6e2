#include "ui/FormBigMessage.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QVBoxLayout>

#include "core/VTA_Common.h"
#include "ui/FontFit.h"

namespace {
// A first window that holds a few lines of a large font; the user may resize it.
constexpr QSize kFirstSize(560, 240);
constexpr QSize kMinimumSize(280, 140);
}  // namespace

std::string BigMessageText(const std::string& text, int32_t sIndex, int32_t code) {
  std::string body = text;
  if (code > 0x7000) {
    const size_t colon = body.find(':');
    body.erase(0, std::min(body.size(), size_t{colon == 4 ? 6u : 4u}));
    if (body.starts_with(";")) body.erase(0, std::min(body.size(), size_t{2}));
  }
  const char letter = sIndex == kNoSession ? '?' : SessionLetter(sIndex);
  const std::string whole = std::string(1, letter) + ": " + body;
  // Lines of at most 80 characters, broken at the last blank in their second half, if any.
  constexpr size_t kWidth = 80;
  std::string wrapped;
  size_t pos = 0;
  while (whole.size() - pos > kWidth) {
    const size_t blank = whole.rfind(' ', pos + kWidth);
    const bool atBlank = blank != std::string::npos && blank > pos + kWidth / 2;
    wrapped += whole.substr(pos, atBlank ? blank - pos : kWidth) + '\n';
    pos = atBlank ? blank + 1 : pos + kWidth;
  }
  return wrapped + whole.substr(pos);
}

int BigMessagePointSize(const std::function<QSize(int)>& textSize, QSize area) {
  const auto fits = [&](int size) {
    const QSize text = textSize(size);
    return text.width() <= area.width() && text.height() <= area.height();
  };
  return LargestFittingSize(kBigMessageMinSize, kBigMessageMaxSize, fits).value_or(kBigMessageMinSize);
}

TFormBigMessage::TFormBigMessage(QWidget* parent, TSetEnabled setEnabled)
    : QDialog(parent), FSetEnabled(std::move(setEnabled)) {
  setWindowTitle("VTA Message");
  setModal(false);
  setMinimumSize(kMinimumSize);
  resize(kFirstSize);
  auto* layout = new QVBoxLayout(this);
  FText = new QLabel;
  FText->setWordWrap(true);
  FText->setAlignment(Qt::AlignCenter);
  // The label takes what the window gives it: its font follows its size, never the other way round.
  FText->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
  FText->installEventFilter(this);
  layout->addWidget(FText, 1);
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
  show();
  layout()->activate();
  FitTextFont();
  raise();
}

bool TFormBigMessage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FText && event->type() == QEvent::Resize) FitTextFont();
  return QDialog::eventFilter(watched, event);
}

void TFormBigMessage::FitTextFont() {
  const QRect area = FText->contentsRect();
  if (area.isEmpty()) return;
  const QString text = FText->text();
  QFont font = FText->font();
  const auto textSize = [&](int pointSize) {
    QFont sized = font;
    sized.setPointSize(pointSize);
    return QFontMetrics(sized).boundingRect(QRect(0, 0, area.width(), 100000), Qt::TextWordWrap | Qt::AlignCenter, text).size();
  };
  const int size = BigMessagePointSize(textSize, area.size());
  if (size == font.pointSize()) return;
  font.setPointSize(size);
  FText->setFont(font);
}
