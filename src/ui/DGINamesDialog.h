#pragma once
#include <QDialog>
#include <array>
#include <cstdint>
#include <string>

class QTableWidget;
class TQVSessionItem;

// The names of signals 1..32 of digital-input cards 1..8.
using TDGINames = std::array<std::array<std::string, 32>, 8>;

// "Digital-Input Names": one column of 32 signal names per card the instrument transmits (at
// least one), under a strip of the session's colour. An emptied name takes its default
// ("DGI" + card + "_Bit" + bit).
class TDGINamesDialog : public QDialog {
  Q_OBJECT

 public:
  TDGINamesDialog(QWidget* parent, const QString& caption, uint32_t color, const TDGINames& names, int cards);

  TDGINames Names() const;
  QTableWidget* Grid() const { return FGrid; }

  static std::string DefaultName(int card, int signal);
  static TDGINames Read(const TQVSessionItem& session);
  static void Apply(const TDGINames& names, TQVSessionItem& session);

 private:
  TDGINames FInput;
  QTableWidget* FGrid = nullptr;
};
