#pragma once
#include <QWidget>
#include <cstdint>
#include <deque>

// The recent history of one digital-input card: one column per display cycle, one row per signal
// (signal 1 at the top), lit where the input was set; the newest column at the right edge.
class TDGIHistoryStrip : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kSignals = 32;
  static constexpr int kRowHeight = 2;
  // Ten minutes of display cycles at 100 ms; older columns drop out.
  static constexpr size_t kMaxColumns = 6000;

  explicit TDGIHistoryStrip(QWidget* parent = nullptr);

  // The word of one more display cycle.
  void Add(uint32_t word);
  void Clear();
  const std::deque<uint32_t>& Words() const { return FWords; }
  // Whether signal (1..32) was set `age` cycles ago (0: newest).
  bool WasSet(int32_t signal, size_t age) const;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::deque<uint32_t> FWords;
};
