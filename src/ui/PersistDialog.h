#pragma once
#include <QDialog>
#include <array>
#include <vector>

#include "acquisition/QV_ChannelData.h"

class QCheckBox;

// What "Persist..." chose: per base one flag per channel (channel i + 1 at index i) whether the
// channel keeps every pixel its trace touches, and whether what was kept so far is cleared.
struct TPersistChoice {
  std::array<std::vector<bool>, 2> Persist;
  bool Clear = false;
  bool operator==(const TPersistChoice&) const = default;
};

// "Persist...": a check box per channel of a graphic view (both sessions when the view has two),
// named like its strip cell, and "Clear persistence" to start the kept pixels anew.
class TPersistDialog : public QDialog {
  Q_OBJECT

 public:
  // `second` is the channel record of base 2, or none.
  TPersistDialog(QWidget* parent, const TQV_ChannelData& first, const TQV_ChannelData* second);

  TPersistChoice Choice() const;
  // The box of a channel (base 1 or 2, channel 1..MaxChannels), none where there is no such channel.
  QCheckBox* ChannelBox(int base, int channel) const;
  QCheckBox* ClearBox() const { return FClear; }

 private:
  std::array<std::vector<QCheckBox*>, 2> FBoxes;
  QCheckBox* FClear = nullptr;
};
