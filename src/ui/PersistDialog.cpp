#include "ui/PersistDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int kRowsPerColumn = 12;
}

TPersistDialog::TPersistDialog(QWidget* parent, const TQV_ChannelData& first, const TQV_ChannelData* second)
    : QDialog(parent) {
  setWindowTitle("Persist");
  auto* layout = new QVBoxLayout(this);
  auto* groups = new QHBoxLayout;
  layout->addLayout(groups);
  const std::array<const TQV_ChannelData*, 2> data{&first, second};
  for (size_t base = 0; base < data.size(); ++base) {
    if (!data[base]) continue;
    auto* group = new QGroupBox(second ? QString("Session %1").arg(base + 1) : QString("Channels"), this);
    auto* grid = new QGridLayout(group);
    const int count = std::clamp(data[base]->MaxChannels(), 0, TQV_ChannelData::ChannelCount);
    for (int ch = 1; ch <= count; ++ch) {
      std::string text = data[base]->ChannelId(ch);
      if (const std::string name = data[base]->ChannelName(ch); !name.empty()) text += " " + name;
      auto* box = new QCheckBox(QString::fromStdString(text), group);
      box->setChecked(data[base]->PersistEnabled(ch));
      grid->addWidget(box, (ch - 1) % kRowsPerColumn, (ch - 1) / kRowsPerColumn);
      FBoxes[base].push_back(box);
    }
    auto* all = new QPushButton("All", group);
    auto* none = new QPushButton("None", group);
    const int row = std::min(count, kRowsPerColumn);
    grid->addWidget(all, row, 0);
    grid->addWidget(none, row, 1);
    connect(all, &QPushButton::clicked, this, [this, base] {
      for (QCheckBox* box : FBoxes[base]) box->setChecked(true);
    });
    connect(none, &QPushButton::clicked, this, [this, base] {
      for (QCheckBox* box : FBoxes[base]) box->setChecked(false);
    });
    groups->addWidget(group);
  }
  FClear = new QCheckBox("Clear persistence", this);
  layout->addWidget(FClear);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

TPersistChoice TPersistDialog::Choice() const {
  TPersistChoice choice;
  for (size_t base = 0; base < FBoxes.size(); ++base)
    for (const QCheckBox* box : FBoxes[base]) choice.Persist[base].push_back(box->isChecked());
  choice.Clear = FClear->isChecked();
  return choice;
}

QCheckBox* TPersistDialog::ChannelBox(int base, int channel) const {
  if (base < 1 || base > 2 || channel < 1 || size_t(channel) > FBoxes[size_t(base - 1)].size()) return nullptr;
  return FBoxes[size_t(base - 1)][size_t(channel - 1)];
}
