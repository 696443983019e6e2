#pragma once
#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

// The debug switches of one session as the dialog shows and returns them.
struct TDebugSessionChoice {
  int32_t Index = 0;
  std::string FriendlyName;
  uint32_t Color = 0;
  bool Counter = false;     // counter sessions also have the stream file
  bool KeepAll = false;     // "Source Debug File": "keep all files" (the session's debug log)
  bool HexReports = false;  // "HEX Reports"
  bool LowLevel = false;    // "Low Level"
  bool Stream = false;      // "Source Stream File": "on"
};

struct TDebugFilesChoice {
  std::string RootFolder;  // with a trailing '/'
  bool KeepAllApp = false;  // "App Debug File": "keep all files" ("Debug_LogMain")
  std::vector<TDebugSessionChoice> Sessions;
};

// "Debug Files": the root folder of debug files, whether the application's debug file keeps
// everything or only files with errors, and per session its debug file, HEX reports, low-level
// lines and (counters) the stream file.
class TDebugFilesDialog : public QDialog {
  Q_OBJECT

 public:
  // caption, start folder -> the chosen folder, empty when cancelled.
  using TFolderChooser = std::function<QString(const QString& caption, const QString& start)>;

  TDebugFilesDialog(QWidget* parent, const TDebugFilesChoice& choice);

  // Empty when the root folder exists or could be created, else "Invalid path " + folder.
  QString Check() const;
  TDebugFilesChoice Choice() const;

  void SetFolderChooser(TFolderChooser value) { FChooser = std::move(value); }
  // The browse button: a chosen folder gets a trailing delimiter.
  void BrowseFolder();

  QLineEdit* FolderEdit() const { return FFolder; }
  QRadioButton* KeepAllAppButton() const { return FKeepAllApp; }
  QLabel* ErrorLabel() const { return FError; }
  // The controls of session row i: "keep all files", "HEX Reports", "Low Level", stream "on".
  QRadioButton* KeepAllButton(size_t i) const { return FRows.at(i).KeepAll; }
  QCheckBox* HexBox(size_t i) const { return FRows.at(i).Hex; }
  QCheckBox* LowLevelBox(size_t i) const { return FRows.at(i).LowLevel; }
  QRadioButton* StreamButton(size_t i) const { return FRows.at(i).Stream; }

  void accept() override;

 private:
  struct TRow {
    QRadioButton* KeepAll = nullptr;
    QCheckBox* Hex = nullptr;
    QCheckBox* LowLevel = nullptr;
    QRadioButton* Stream = nullptr;  // none for other sessions than counters
  };
  QWidget* MakeSessionGroup(const TDebugSessionChoice& session, TRow& row);

  TDebugFilesChoice FInput;
  QLineEdit* FFolder = nullptr;
  QRadioButton* FKeepAllApp = nullptr;
  QLabel* FError = nullptr;
  std::vector<TRow> FRows;
  TFolderChooser FChooser;
};
