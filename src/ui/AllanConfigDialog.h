#pragma once
#include <QDialog>
#include <cstdint>
#include <optional>

class QLineEdit;

// "Configure Allan Calculation": the decay constant of a session's Allan calculators, 0 to 99
// (0: no decay). The field takes digits only; other keys and "Ok" with 100 or more beep.
class TAllanConfigDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int32_t kMaxDecay = 99;

  TAllanConfigDialog(QWidget* parent, int32_t decay);

  // The entered value when it is 0..99, none otherwise.
  std::optional<int32_t> Decay() const;
  QLineEdit* Edit() const { return FEdit; }

 public:
  void accept() override;

 private:
  QLineEdit* FEdit = nullptr;
};
