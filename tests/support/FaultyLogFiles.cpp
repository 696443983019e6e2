#include "support/FaultyLogFiles.h"

#include <algorithm>

namespace {

class TFaultyLogFile : public ILogFile {
 public:
  TFaultyLogFile(std::unique_ptr<ILogFile> file, TFaultyLogFiles& owner) : FFile(std::move(file)), FOwner(owner) {}

  std::string Write(std::string_view text) override {
    if (!FOwner.SpaceLeft) return FFile->Write(text);
    const auto fits = static_cast<size_t>(std::clamp<int64_t>(*FOwner.SpaceLeft, 0, static_cast<int64_t>(text.size())));
    const std::string error = FFile->Write(text.substr(0, fits));
    *FOwner.SpaceLeft -= static_cast<int64_t>(fits);
    if (!error.empty()) return error;
    return fits < text.size() ? "No space left on device" : "";
  }
  int64_t Size() const override { return FFile->Size(); }
  void Truncate(int64_t size) override { FFile->Truncate(size); }

 private:
  std::unique_ptr<ILogFile> FFile;
  TFaultyLogFiles& FOwner;
};

}  // namespace

TLogFileFactory TFaultyLogFiles::Factory() {
  return [this](const std::string& name) {
    if (!CreateError.empty()) return TLogFileCreation{nullptr, false, CreateError};
    TLogFileCreation creation = CreateLogFile(name);
    if (creation.File) creation.File = std::make_unique<TFaultyLogFile>(std::move(creation.File), *this);
    return creation;
  };
}
