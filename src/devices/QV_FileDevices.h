#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "devices/QV_BaseDevice.h"

// Plays back a recording: a report text file (name contains "QV_ReportData.txt", one report line
// per CR LF line), or a binary report stream (any other name). Raw-data recordings
// ("QV_RawData.bin") have no reader and are refused when opened. The file is read on the report
// thread as the decoder asks for data; commands are accepted and ignored. Reads can be paced
// (WaitMs) so that a recording plays in real time, and LoopForEver restarts at the end.
class TQV_FileDeviceItem : public TQV_BaseDevice {
 public:
  using TSleep = std::function<void(std::chrono::milliseconds)>;
  static constexpr uint32_t FirstSerialNumber = 0x11000000;
  static constexpr uint32_t ReadPieceSize = 10240;
  static constexpr uint32_t LinePieceSize = 700;
  // Longest report line the source interface hands out whole (its buffers hold 1,024 bytes with
  // the terminating zero). A longer line is skipped up to its CR LF and reported as an error, so a
  // cut report never passes for a whole one and a file without line ends is never held in memory.
  static constexpr size_t MaxLineLength = 1023;

  // Opens the file for reading; throws std::runtime_error (after logging) when it cannot be opened.
  // `sleep` lets blocking reads wait out the pacing; it defaults to sleeping the thread.
  TQV_FileDeviceItem(int32_t aLogId, int32_t aMultiId, std::shared_ptr<TEvent> aReceiveEvent, bool aDoResetEvent,
                     const std::string& filename, const TClock& clock = SystemClock(), TSleep sleep = {});
  ~TQV_FileDeviceItem() override;

  bool OpenPort(std::string& ErrorMsg) override;
  bool ClosePort() override;
  // A text file is closed at its end; other kinds refill the buffer and are closed when that fails.
  bool CheckDeviceClosed() override;
  bool DeviceWrite(const std::string& Data) override { return true; }
  // Text files: the next line without its CR LF (len is not used); nothing, with the error
  // QV_Err_BadFormat, for a line longer than MaxLineLength.
  std::string DeviceRead(uint8_t len) override;
  // One byte per call: playback is paced between reads, and a block would run ahead of the pacing.
  std::string DeviceReadAvailable(uint32_t maxLen) override { return maxLen == 0 ? std::string() : DeviceRead(1); }
  bool PeekChar(uint8_t& Zeichen) override;
  std::string PeekAnsi(uint32_t len) override;
  bool ConfirmPeekedData(uint16_t len) override;
  // Starts again at the beginning of the file, with nothing of the old position left unread.
  void ResetDevice() override;
  std::string ToString() const override;

  const std::string& Filename() const { return FFilename; }
  bool TimestampReceived() const { return FTimestampReceived; }
  void SetTimestampReceived(bool Value);
  uint32_t WaitMs() const { return FWaitMs; }
  // Reads return nothing until Value ms have passed from now.
  void SetWaitMs(uint32_t Value);

  bool LoopForEver = false;

 private:
  bool OpenFile();
  bool ReadFileIntoBuffer();
  void SetEOF();
  bool WaitDone(const char* operation);
  std::string ReadBuffered(uint32_t len, bool consume);
  // The next line without its CR LF; `tooLong` when it goes on beyond MaxLineLength (the rest
  // is not read yet).
  std::string ReadRawLine(bool& tooLong);
  // Drops the rest of the current line up to its CR LF; returns how many characters it had.
  size_t SkipRestOfLine();
  bool TakeNextPiece();
  std::string PeekText(uint32_t len);

  std::unique_ptr<std::ifstream> FDataStream;
  std::string FFilename;
  std::string FRawLine;
  TSteadyTime FLastRead{};
  bool FTimestampReceived = false;
  uint32_t FWaitMs = 0;
  // The last refill started the file again (LoopForEver).
  bool FWrapped = false;
  TSleep FSleep;
};
