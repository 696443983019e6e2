#include "ui/DebugFilesDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <filesystem>

#include "core/VTA_Common.h"
#include "ui/DialogInput.h"
#include "ui/UiColors.h"

namespace {

const QString kDeleteErrorFree = "delete error-free files";
const QString kKeepAll = "keep all files";

// Two exclusive choices in a group; returns the second, checked when `second` holds.
QRadioButton* TwoChoices(QWidget* parent, QBoxLayout* layout, const QString& title, const QString& first,
                         const QString& secondText, bool second) {
  auto* group = new QGroupBox(title, parent);
  auto* row = new QHBoxLayout(group);
  auto* a = new QRadioButton(first, group);
  auto* b = new QRadioButton(secondText, group);
  (second ? b : a)->setChecked(true);
  row->addWidget(a);
  row->addWidget(b);
  layout->addWidget(group);
  return b;
}

QString GroupCaption(const TDebugSessionChoice& session) {
  const QString letter(QChar(SessionLetter(session.Index)));
  if (session.FriendlyName.empty()) return " [" + letter + "] ";
  return " [" + letter + ": " + QString::fromStdString(session.FriendlyName) + "] ";
}

std::string WithSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace

TDebugFilesDialog::TDebugFilesDialog(QWidget* parent, const TDebugFilesChoice& choice) : QDialog(parent), FInput(choice) {
  setWindowTitle("Debug Files");
  auto* layout = new QVBoxLayout(this);
  auto* folderGroup = new QGroupBox("Root folder for debug files", this);
  auto* folderRow = new QHBoxLayout(folderGroup);
  FFolder = new QLineEdit(QString::fromStdString(choice.RootFolder), folderGroup);
  FFolder->setMinimumWidth(320);
  auto* browse = new QPushButton("...", folderGroup);
  browse->setFixedWidth(32);
  connect(browse, &QPushButton::clicked, this, &TDebugFilesDialog::BrowseFolder);
  folderRow->addWidget(FFolder);
  folderRow->addWidget(browse);
  layout->addWidget(folderGroup);
  FKeepAllApp = TwoChoices(this, layout, "App Debug File", kDeleteErrorFree, kKeepAll, choice.KeepAllApp);
  FRows.resize(choice.Sessions.size());
  for (size_t i = 0; i < choice.Sessions.size(); ++i) layout->addWidget(MakeSessionGroup(choice.Sessions[i], FRows[i]));
  FError = MakeErrorLabel(this);
  layout->addWidget(FError);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &TDebugFilesDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TDebugFilesDialog::reject);
  layout->addWidget(buttons);
}

QWidget* TDebugFilesDialog::MakeSessionGroup(const TDebugSessionChoice& session, TRow& row) {
  auto* group = new QGroupBox(GroupCaption(session), this);
  auto* outer = new QHBoxLayout(group);
  auto* strip = new QFrame(group);
  strip->setFixedWidth(8);
  strip->setAutoFillBackground(true);
  strip->setStyleSheet("background-color: " + ToQColor(session.Color).name() + ";");
  outer->addWidget(strip);
  auto* inner = new QVBoxLayout();
  outer->addLayout(inner);
  row.KeepAll = TwoChoices(group, inner, "Source Debug File", kDeleteErrorFree, kKeepAll, session.KeepAll);
  auto* flags = new QHBoxLayout();
  row.Hex = new QCheckBox("HEX Reports", group);
  row.Hex->setChecked(session.HexReports);
  row.LowLevel = new QCheckBox("Low Level", group);
  row.LowLevel->setChecked(session.LowLevel);
  flags->addWidget(row.Hex);
  flags->addWidget(row.LowLevel);
  flags->addStretch();
  inner->addLayout(flags);
  if (session.Counter) row.Stream = TwoChoices(group, inner, "Source Stream File", "off", "on", session.Stream);
  return group;
}

void TDebugFilesDialog::BrowseFolder() {
  const QString caption = "Root folder for debug files";
  const QString folder = FChooser ? FChooser(caption, FFolder->text())
                                  : QFileDialog::getExistingDirectory(this, caption, FFolder->text());
  if (!folder.isEmpty()) FFolder->setText(QString::fromStdString(WithSlash(folder.toStdString())));
}

QString TDebugFilesDialog::Check() const {
  const std::string folder = FFolder->text().trimmed().toStdString();
  std::error_code ec;
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);
  if (folder.empty() || !std::filesystem::is_directory(folder, ec)) return "Invalid path " + QString::fromStdString(folder);
  return {};
}

TDebugFilesChoice TDebugFilesDialog::Choice() const {
  TDebugFilesChoice result = FInput;
  result.RootFolder = WithSlash(FFolder->text().trimmed().toStdString());
  result.KeepAllApp = FKeepAllApp->isChecked();
  for (size_t i = 0; i < FRows.size(); ++i) {
    TDebugSessionChoice& session = result.Sessions[i];
    session.KeepAll = FRows[i].KeepAll->isChecked();
    session.HexReports = FRows[i].Hex->isChecked();
    session.LowLevel = FRows[i].LowLevel->isChecked();
    if (FRows[i].Stream) session.Stream = FRows[i].Stream->isChecked();
  }
  return result;
}

void TDebugFilesDialog::accept() {
  const QString error = Check();
  FError->setText(error);
  if (!error.isEmpty()) return QApplication::beep();
  QDialog::accept();
}
