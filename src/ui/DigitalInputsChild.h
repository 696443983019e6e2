#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ui/MDIChild.h"

class QGridLayout;
class QLabel;
class QVBoxLayout;
class TDGIHistoryStrip;

// The digital-inputs view of a counter session: the 32 signals of each digital-input card the
// instrument transmits as lamps named after the session's signal names, lit while the input is
// set, with the local time the card last changed, and a strip of the card's recent history (one
// column per display cycle). The lamps follow the cards' words of the counter store on every
// display cycle.
class TDigitalInputsChild : public TMDIChild {
  Q_OBJECT

 public:
  inline static const std::string kTitle = "Digital Inputs";
  inline static const std::string kNoConnection = "no connection";
  inline static const std::string kNoCards = "no digital-input cards";
  static constexpr int kSignals = 32;
  static constexpr int kMaxCards = 8;

  TDigitalInputsChild(QWidget* AOwner, int32_t aTag, TSessionItem* aSession, TOnMainEvent aOnMain,
                      TViewEnvironment aEnv = {});
  ~TDigitalInputsChild() override;

  // The cards shown, the lamp of a signal (card 1..8, signal 1..32) and whether it is lit, the
  // text of a card's last change ("-" before the first), the status line.
  int32_t CardCount() const { return int32_t(FCards.size()); }
  QLabel* Lamp(int32_t card, int32_t signal) const;
  bool LampOn(int32_t card, int32_t signal) const;
  std::string LastChangeText(int32_t card) const;
  TDGIHistoryStrip* History(int32_t card) const;
  std::string Status() const;

  // ---- TMDIChild ----
  void DataReset() override;
  void DGICount() override;
  void UpdateDisplay() override;
  void UpdateSession(int base) override;

 private:
  struct TCard {
    QLabel* LastChange = nullptr;
    TDGIHistoryStrip* History = nullptr;
    std::array<QLabel*, kSignals> Lamps{};
    std::optional<uint32_t> Word;  // none before the first word
  };

  // Lamps for `count` cards, named after the session's signal names; values are read again.
  void BuildCards(int32_t count);
  std::string SignalName(int32_t card, int32_t signal) const;
  void ShowWord(TCard& card, uint32_t word);
  void SetStatus(const std::string& text);

  QVBoxLayout* FCardLayout = nullptr;
  QWidget* FCardPanel = nullptr;
  QLabel* FStatus = nullptr;
  std::vector<TCard> FCards;
};
