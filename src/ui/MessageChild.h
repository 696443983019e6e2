#pragma once
#include <functional>
#include <string>
#include <vector>

#include "core/VTA_Common.h"
#include "ui/MDIChild.h"

class QPushButton;
class QTableWidget;

// The messages view: the newest messages of the message list, each day introduced by a date row,
// the session column in the session's colour, errors in red and warnings in blue. While the view is
// the active window a panel offers "Clear Messages" and "Save Messages".
//
// Rows keep copies of what they show, so a message that the list merges away or clears is never
// read again. A refresh reads only the newest messages and rewrites only the rows that changed.
class TMessageChild : public TMDIChild {
  Q_OBJECT

 public:
  static constexpr int kDefaultLimit = 100;
  inline static const std::string kCaption = "Q+V  VTA : Messages";
  inline static const std::string kSaveCaption = "Save Messages";

  // The list must outlive the view.
  TMessageChild(QWidget* AOwner, int32_t aTag, TMessageList& aList, TOnMainEvent aOnMain, TViewEnvironment aEnv = {});

  // Brings the rows up to date with the message list.
  void UpdateDisplay() override;
  void JumpToLastMessage();
  void SetInactiveChild() override;
  void ReadSettings(TAppSettings& Settings, const std::string& SettingsPrefix) override;
  void SaveSettings(TAppSettings& Settings, const std::string& SettingsPrefix) override;
  int Limit() const { return FLimit; }
  void SetLimit(int value) { FLimit = std::max(value, 1); }

  // "Clear Messages": empties the list and the view. "Save Messages": asks for a file and writes
  // the whole list into it.
  void MessageClearExecute();
  void MessageSaveExecute();

  // The save dialog (proposed name -> chosen file, empty when cancelled) and the message box;
  // the defaults show the usual dialogs.
  using TAskFileName = std::function<std::string(const std::string& proposed)>;
  using TShowMessage = std::function<void(const std::string& caption, const std::string& text)>;
  void SetAskFileName(TAskFileName value) { FAskFileName = std::move(value); }
  void SetShowMessage(TShowMessage value) { FShowMessage = std::move(value); }

  QTableWidget* Table() const { return FTable; }
  QWidget* ButtonPanel() const { return FButtonPanel; }
  QPushButton* ClearButton() const { return FClearButton; }
  QPushButton* SaveButton() const { return FSaveButton; }

 protected:
  void ChildActivated() override;

 private:
  // What one row shows: a date row introduces the message with the same number.
  struct TRow {
    uint64_t Seq = 0;
    bool IsDate = false;
    QString Session, Time, Text;
    uint32_t Color = 0;
    TMsgType MsgType = mtInfo;
    bool Bold = false;
    bool operator==(const TRow&) const = default;
  };
  std::vector<TRow> BuildRows(const TMessageTail& tail) const;
  void ApplyRows(std::vector<TRow> rows);
  void WriteRow(int row, const TRow& content);
  void BringNewProblemsToFront(const TMessageTail& tail);
  void BringToFront();
  void LogCommand(const std::string& text, bool error = false) const;

  TMessageList& FList;
  int FLimit = kDefaultLimit;
  uint64_t FShownCount = 0;  // the list's unbounded count at the previous refresh
  uint64_t FShownGeneration = UINT64_MAX;
  std::vector<TRow> FRows;  // what the table shows
  QTableWidget* FTable = nullptr;
  QWidget* FButtonPanel = nullptr;
  QPushButton* FClearButton = nullptr;
  QPushButton* FSaveButton = nullptr;
  std::string FSaveFileName;
  bool FAutoSave = false;
  TAskFileName FAskFileName;
  TShowMessage FShowMessage;
};
