#pragma once
#include <QTemporaryDir>
#include <string>

// A fresh folder per test, removed afterwards; paths are returned with a trailing '/'.
class TTempDir {
 public:
  TTempDir() { dir_.setAutoRemove(true); }
  std::string Path() const { return dir_.path().toStdString() + "/"; }
  std::string File(const std::string& name) const { return Path() + name; }

 private:
  QTemporaryDir dir_;
};

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);
