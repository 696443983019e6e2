#include "devices/QV_FileDevices.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>
#include <utility>

#include "core/CircularBuffer.h"
#include "core/LogUnit.h"

namespace {

std::atomic<uint32_t> GLastSerialNumber = TQV_FileDeviceItem::FirstSerialNumber;

TQV_DeviceType KindFromName(const std::string& name) {
  if (name.find("QV_ReportData.txt") != std::string::npos) return QV_TxtFile;
  if (name.find("QV_RawData.bin") != std::string::npos) return QV_RawFile;
  return QV_BinFile;
}

}  // namespace

TQV_FileDeviceItem::TQV_FileDeviceItem(int32_t aLogId, int32_t aMultiId, std::shared_ptr<TEvent> aReceiveEvent,
                                       bool aDoResetEvent, const std::string& filename, const TClock& clock,
                                       TSleep sleep)
    : TQV_BaseDevice(aLogId, aMultiId, std::move(aReceiveEvent), aDoResetEvent, clock),
      FFilename(filename),
      FSleep(sleep ? std::move(sleep) : TSleep([](std::chrono::milliseconds ms) { std::this_thread::sleep_for(ms); })) {
  LogIt(FLogId, "TQV_FileDeviceItem.Create filename=" + filename);
  FHasCommandList = true;
  FDevType = KindFromName(filename);
  if (!OpenFile()) {
    const std::string text = ErrorMessage();
    LogError(FLogId, "FileDeviceItem: " + text);
    throw std::runtime_error(text);
  }
  SetSerialNumberValue(++GLastSerialNumber);
  LogIt(FLogId, "TQV_FileDeviceItem.Create SerialNumberValue=" + IntToHex(FSerialNumberValue, 8));
  if (FDevType == QV_RawFile) {
    // The decoder has no reader for raw-data recordings: refuse them clearly instead of playing
    // them as something else.
    SetError(QV_Err_BadFormat, "File " + filename + ": playback of raw-data recordings (QV_RawData.bin) is not supported");
    LogError(FLogId, "FileDeviceItem: " + ErrorMessage());
  }
}

TQV_FileDeviceItem::~TQV_FileDeviceItem() = default;

bool TQV_FileDeviceItem::OpenFile() {
  std::error_code ec;
  if (std::filesystem::is_directory(FFilename, ec)) {
    SetError(QV_DeviceNotFound, "Cannot open " + FFilename + ": " + std::strerror(EISDIR));
    return false;
  }
  auto stream = std::make_unique<std::ifstream>(FFilename, std::ios::binary);
  if (!*stream) {
    SetError(QV_DeviceNotFound, "Cannot open " + FFilename + ": " + std::strerror(errno));
    return false;
  }
  FDataStream = std::move(stream);
  return true;
}

bool TQV_FileDeviceItem::OpenPort(std::string& ErrorMsg) {
  ErrorMsg.clear();
  FRawLine.clear();
  if (FPortIsOpened) return true;
  if (FDevType == QV_RawFile || ErrorCode() == QV_DeviceNotFound) {
    ErrorMsg = ErrorMessage();
    return false;
  }
  LogIt(FLogId, "### Open FileDevice " + FFilename + " ###");
  // A port closed before (at the end of the file) opens the file again from its start.
  if ((!FDataStream || !FDataStream->is_open()) && !OpenFile()) {
    ErrorMsg = ErrorMessage();
    LogError(FLogId, "### Failed Open FileDevice " + FFilename + " ###");
    return false;
  }
  if (ReadFileIntoBuffer()) {
    QuitError();
    FPortIsOpened = true;
    LogIt(FLogId, "### Opened FileDevice " + FFilename + " ###");
    return true;
  }
  LogError(FLogId, "### Failed Open FileDevice " + FFilename + " ###");
  ErrorMsg = ErrorMessage();
  FDataStream->close();
  return false;
}

bool TQV_FileDeviceItem::ClosePort() {
  if (FPortIsOpened) {
    LogIt(FLogId, "### Close FileDevice " + FFilename + " ###");
    FPortIsOpened = false;
  } else {
    LogIt(FLogId, "FileDevice.ClosePort already closed");
  }
  if (FDataStream) FDataStream->close();
  return true;
}

bool TQV_FileDeviceItem::CheckDeviceClosed() {
  LogIt(FLogId, "FileDevice.CheckDeviceClosed");
  if (!FPortIsOpened) {
    if (ErrorCode() == QV_No_Err) SetError(QV_DeviceNotConnected, "File " + FFilename + " closed");
    return true;
  }
  const bool closed = FDevType == QV_TxtFile ? ErrorCode() == QV_Err_EndOfFile : !ReadFileIntoBuffer();
  if (closed) ClosePort();
  return closed;
}

void TQV_FileDeviceItem::ResetDevice() {
  LogIt(FLogId, "TQV_FileDeviceItem.ResetDevice");
  FReceiveBuffer->Clear();
  FReceiveBuffer->BufferCleared();  // the restart is wanted: no loss to report
  FRawLine.clear();
  if (FDataStream && FDataStream->is_open()) {
    FDataStream->clear();
    FDataStream->seekg(0);
  }
  FPortIsOpened = false;
  std::string error;
  if (!OpenPort(error)) LogError(FLogId, "TQV_FileDeviceItem.ResetDevice: " + error);
}

std::string TQV_FileDeviceItem::ToString() const { return "QV_File: Filename=" + FFilename; }

void TQV_FileDeviceItem::SetTimestampReceived(bool Value) {
  if (Value && !FTimestampReceived) LogIt(FLogId, "FileDevice.SetTimestampReceived");
  FTimestampReceived = Value;
}

void TQV_FileDeviceItem::SetWaitMs(uint32_t Value) {
  FWaitMs = Value;
  FLastRead = FClock.Steady();
  LogIt(FLogId, "FileDevice.SetWaitMs " + std::to_string(Value));
}

// ---- Filling ----

bool TQV_FileDeviceItem::ReadFileIntoBuffer() {
  if (!FDataStream || !FDataStream->is_open()) {
    SetEOF();
    return false;
  }
  std::ifstream& file = *FDataStream;
  file.clear();
  const std::streamoff position = file.tellg();
  file.seekg(0, std::ios::end);
  const std::streamoff size = file.tellg();
  file.seekg(position);
  std::streamoff remaining = size - position;
  FWrapped = false;
  if (remaining <= 0) {
    // An empty file has nothing to loop over.
    if (!LoopForEver || size <= 0) {
      SetEOF();
      LogIt(FLogId, "FileDevice.ReadFileIntoBuffer: EOF");
      return false;
    }
    file.seekg(0);
    remaining = size;
    FWrapped = true;
  }
  const uint32_t space = FReceiveBuffer->AvailableSpace();
  uint32_t wanted = static_cast<uint32_t>(std::min<std::streamoff>(remaining, space));
  // A full buffer is no failure: the reader has to take data first.
  if (wanted == 0) return true;
  LogIt(FLogId, "FileDevice.ReadFileIntoBuffer: " + std::to_string(wanted) + " Bytes aus Datei lesen");
  std::string piece;
  while (wanted > 0) {
    const uint32_t count = std::min(wanted, ReadPieceSize);
    piece.resize(count);
    file.read(piece.data(), count);
    const auto got = static_cast<uint32_t>(file.gcount());
    if (got < count) {
      LogError(FLogId, "FileDevice.ReadFileIntoBuffer.Read: soll=" + std::to_string(count) + ", ist=" + std::to_string(got));
      // The file shrank under us: what is there has been read.
      if (got == 0) break;
      piece.resize(got);
    }
    if (!FReceiveBuffer->WriteAnsiString(piece)) {
      SetError(QV_Err_ReceiveBufferOverflow, "FileDevice.ReadFileIntoBuffer.Write failed: anz=" + std::to_string(got) +
                                                 ", Available=" + std::to_string(FReceiveBuffer->AvailableSpace()));
      return false;
    }
    wanted -= got;
  }
  return true;
}

void TQV_FileDeviceItem::SetEOF() {
  SetError(QV_Err_EndOfFile, "File " + FFilename + " EOF reached");
  LogIt(FLogId, "FileDeviceItem.SetEOF " + ErrorMessage() + ", Bytes left=" + std::to_string(FReceiveBuffer->Amount()));
}

// ---- Pacing ----

bool TQV_FileDeviceItem::WaitDone(const char* operation) {
  if (FWaitMs == 0) return true;
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(FClock.Steady() - FLastRead).count();
  if (elapsed >= FWaitMs) {
    FWaitMs = 0;
    return true;
  }
  const auto rest = static_cast<uint32_t>(FWaitMs - elapsed);
  if (!FBlockingIO) {
    if (std::strcmp(operation, "DeviceRead") == 0)
      LogIt(FLogId, "FileDevice.DeviceRead remaining wait [ms] " + std::to_string(rest));
    return false;
  }
  LogIt(FLogId, std::string("FileDevice.") + operation + " BlockingIO wait [ms] " + std::to_string(rest));
  // A blocking read waits no longer than the read time-out: the report thread serves others too.
  const uint32_t sleep = std::min(rest, FReadTimeoutMs);
  FSleep(std::chrono::milliseconds(sleep));
  if (sleep < rest) return false;
  FWaitMs = 0;
  return true;
}

// ---- Reading ----

// Binary and raw data: the receive buffer, refilled from the file when it runs short.
std::string TQV_FileDeviceItem::ReadBuffered(uint32_t len, bool consume) {
  const auto read = [&] { return consume ? FReceiveBuffer->ReadAnsiString(len) : FReceiveBuffer->PeekAnsiString(len); };
  std::string result = read();
  if (result.empty() && !CheckDeviceClosed()) result = read();
  return result;
}

std::string TQV_FileDeviceItem::DeviceRead(uint8_t len) {
  if (!WaitDone("DeviceRead")) return {};
  if (FDevType != QV_TxtFile) return ReadBuffered(len, true);
  bool tooLong = false;
  std::string line = ReadRawLine(tooLong);
  if (tooLong) {
    const size_t length = line.size() + SkipRestOfLine();
    SetError(QV_Err_BadFormat, "File " + FFilename + ": line of " + std::to_string(length) +
                                   " characters skipped, the longest report line has " + std::to_string(MaxLineLength));
    LogError(FLogId, "FileDeviceItem.DeviceRead " + ErrorMessage());
    return {};
  }
  if (line.empty()) {
    CheckDeviceClosed();
    return {};
  }
  if (line.find("7016") != std::string::npos || line.find("7015") != std::string::npos) SetTimestampReceived(true);
  return line;
}

std::string TQV_FileDeviceItem::ReadRawLine(bool& tooLong) {
  for (;;) {
    const size_t end = FRawLine.find("\r\n");
    if (end != std::string::npos && end <= MaxLineLength) {
      std::string line = FRawLine.substr(0, end);
      FRawLine.erase(0, end + 2);
      return line;
    }
    // Without a line end in reach (a CR as the last character may still get its LF) the line
    // is too long: its first characters go back, the rest stays for SkipRestOfLine.
    if (end != std::string::npos || FRawLine.size() > MaxLineLength + 1) {
      tooLong = true;
      std::string line = FRawLine.substr(0, MaxLineLength + 1);
      FRawLine.erase(0, MaxLineLength + 1);
      return line;
    }
    if (FReceiveBuffer->Amount() == 0) {
      LogIt(FLogId, "FileDeviceItem.ReadRawLine GetBufferAmount=0");
      if (!ReadFileIntoBuffer()) {
        LogIt(FLogId, "FileDeviceItem.ReadRawLine failed: EOF");
        return std::exchange(FRawLine, {});
      }
      // A looping file without a final line end must not glue its last line to its first.
      if (FWrapped && !FRawLine.empty()) return std::exchange(FRawLine, {});
    }
    if (!TakeNextPiece()) return std::exchange(FRawLine, {});
  }
}

size_t TQV_FileDeviceItem::SkipRestOfLine() {
  size_t skipped = 0;
  for (;;) {
    const size_t end = FRawLine.find("\r\n");
    if (end != std::string::npos) {
      FRawLine.erase(0, end + 2);
      return skipped + end;
    }
    // A CR at the end of a piece may pair with an LF in the next one.
    const size_t keep = !FRawLine.empty() && FRawLine.back() == '\r' ? 1 : 0;
    skipped += FRawLine.size() - keep;
    FRawLine.erase(0, FRawLine.size() - keep);
    if (FReceiveBuffer->Amount() == 0 && (!ReadFileIntoBuffer() || FWrapped)) {
      skipped += std::exchange(FRawLine, {}).size();
      return skipped;
    }
    if (!TakeNextPiece()) return skipped + std::exchange(FRawLine, {}).size();
  }
}

bool TQV_FileDeviceItem::TakeNextPiece() {
  const std::string piece = FReceiveBuffer->ReadAnsiString(std::min(FReceiveBuffer->Amount(), LinePieceSize));
  FRawLine += piece;
  return !piece.empty();
}

// Text peeks see the same stream as DeviceRead: the unread rest of the line, then the file.
std::string TQV_FileDeviceItem::PeekText(uint32_t len) {
  while (FRawLine.size() < len) {
    if (FReceiveBuffer->Amount() == 0 && !ReadFileIntoBuffer()) {
      LogIt(FLogId, "FileDevice.PeekData: " + ErrorMessage());
      return {};
    }
    const uint32_t missing = len - static_cast<uint32_t>(FRawLine.size());
    const std::string piece = FReceiveBuffer->ReadAnsiString(std::min(FReceiveBuffer->Amount(), missing));
    if (piece.empty()) return {};
    FRawLine += piece;
  }
  return FRawLine.substr(0, len);
}

std::string TQV_FileDeviceItem::PeekAnsi(uint32_t len) {
  if (!WaitDone("PeekData")) return {};
  return FDevType == QV_TxtFile ? PeekText(len) : ReadBuffered(len, false);
}

bool TQV_FileDeviceItem::PeekChar(uint8_t& Zeichen) {
  if (!WaitDone("PeekChar")) return false;
  const std::string c = FDevType == QV_TxtFile ? PeekText(1) : ReadBuffered(1, false);
  if (c.empty()) return false;
  Zeichen = static_cast<uint8_t>(c[0]);
  return true;
}

bool TQV_FileDeviceItem::ConfirmPeekedData(uint16_t len) {
  if (FDevType != QV_TxtFile) return TQV_BaseDevice::ConfirmPeekedData(len);
  if (len > FRawLine.size()) {
    LogError(FLogId, "FileDevice.ConfirmPeekedData: len=" + std::to_string(len) + ", amount=" + std::to_string(FRawLine.size()));
    return false;
  }
  FRawLine.erase(0, len);
  return true;
}
