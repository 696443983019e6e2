#include "devices/QV_FileDevices.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/CircularBuffer.h"
#include "core/NamedEvent.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace {

using namespace std::chrono_literals;

class FileDeviceTest : public ::testing::Test {
 protected:
  std::unique_ptr<TQV_FileDeviceItem> Make(const std::string& name, const std::string& content, int32_t logId = -1) {
    const std::string path = dir.File(name);
    WriteWholeFile(path, content);
    return std::make_unique<TQV_FileDeviceItem>(logId, 0, NamedEvent(""), true, path, clock,
                                                [this](std::chrono::milliseconds ms) {
                                                  slept.push_back(ms);
                                                  clock.Advance(ms);
                                                });
  }
  static void Open(TQV_FileDeviceItem& device) {
    std::string error;
    ASSERT_TRUE(device.OpenPort(error)) << error;
    EXPECT_EQ(error, "");
  }
  // Lines until the device reports the end (or `limit` reads).
  static std::vector<std::string> Lines(TQV_FileDeviceItem& device, int limit = 100) {
    std::vector<std::string> lines;
    for (int i = 0; i < limit && device.ErrorCode() == QV_No_Err; ++i) {
      const std::string line = device.DeviceRead(255);
      if (!line.empty()) lines.push_back(line);
    }
    return lines;
  }
  // All bytes through peek-and-confirm, as the binary decoders read them.
  static std::string PeekAll(TQV_FileDeviceItem& device, uint32_t piece) {
    std::string all;
    for (int guard = 0; guard < 100000 && device.ErrorCode() == QV_No_Err; ++guard) {
      std::string bytes = device.PeekAnsi(piece);
      if (bytes.empty()) bytes = device.PeekAnsi(device.BufferAmount());
      if (bytes.empty()) continue;
      EXPECT_TRUE(device.ConfirmPeekedData(static_cast<uint16_t>(bytes.size())));
      all += bytes;
    }
    return all;
  }

  TTempDir dir;
  TManualClock clock;
  std::vector<std::chrono::milliseconds> slept;
};

std::string Bytes(size_t count) {
  std::string bytes;
  for (size_t i = 0; i < count; ++i) bytes += static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

TEST_F(FileDeviceTest, FileKindComesFromTheName) {
  const struct {
    std::string name;
    TQV_DeviceType kind;
  } cases[] = {{"A_QV_ReportData.txt", QV_TxtFile}, {"QV_RawData.bin", QV_RawFile}, {"rec.bin", QV_BinFile},
               {"report.txt", QV_BinFile}};
  for (const auto& c : cases) {
    auto device = Make(c.name, "x");
    EXPECT_EQ(device->DevType(), c.kind) << c.name;
    EXPECT_TRUE(device->HasCommandList());
    EXPECT_TRUE(device->DeviceWrite("\x01"));  // accepted, nothing sent
    EXPECT_EQ(device->ToString(), "QV_File: Filename=" + dir.File(c.name));
  }
  auto a = Make("a.bin", "x");
  auto b = Make("b.bin", "x");
  EXPECT_GT(a->SerialNumberValue(), TQV_FileDeviceItem::FirstSerialNumber);
  EXPECT_EQ(b->SerialNumberValue(), a->SerialNumberValue() + 1);
}

TEST_F(FileDeviceTest, TextFileReturnsLinesThenEndOfFile) {
  auto device = Make("A_QV_ReportData.txt", "A\r\nB");
  Open(*device);
  EXPECT_EQ(device->DeviceRead(255), "A");
  EXPECT_EQ(device->DeviceRead(255), "B");
  EXPECT_EQ(device->DeviceRead(255), "");
  EXPECT_EQ(device->ErrorCode(), QV_Err_EndOfFile);
  EXPECT_EQ(device->ErrorMessage(), "File " + dir.File("A_QV_ReportData.txt") + " EOF reached");
  EXPECT_FALSE(device->PortIsOpened());
}

TEST_F(FileDeviceTest, TextFileLinesLongerThanAReadPieceAndTimestamps) {
  const std::string longLine(TQV_FileDeviceItem::MaxLineLength, 'x');
  auto device = Make("QV_ReportData.txt", "7001VERSION\r\n" + longLine + "\r\n\r\n7016; 12\r\n0900; 1\r\n");
  Open(*device);
  EXPECT_FALSE(device->TimestampReceived());
  EXPECT_EQ(Lines(*device), (std::vector<std::string>{"7001VERSION", longLine, "7016; 12", "0900; 1"}));
  EXPECT_TRUE(device->TimestampReceived());
  EXPECT_EQ(device->ErrorCode(), QV_Err_EndOfFile);
}

TEST_F(FileDeviceTest, OverlongTextLinesAreSkippedAsErrorsNeverCut) {
  const size_t max = TQV_FileDeviceItem::MaxLineLength;
  const struct {
    const char* Name;
    size_t Length;
    std::string After;  // what follows the long line
  } cases[] = {
      {"one character too long", max + 1, "\r\nnext\r\n"},
      // "first\r\n" and 1392 characters end the second 700-byte piece with the CR.
      {"CR LF split across read pieces", 1392, "\r\nnext\r\n"},
      {"far longer than the buffer", 70000, "\r\nnext\r\n"},
      {"no line end up to the end of the file", 5000, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto device = Make("QV_ReportData.txt", "first\r\n" + std::string(c.Length, 'z') + c.After);
    Open(*device);
    EXPECT_EQ(device->DeviceRead(255), "first");
    EXPECT_EQ(device->DeviceRead(255), "");
    EXPECT_EQ(device->ErrorCode(), QV_Err_BadFormat);
    EXPECT_NE(device->ErrorMessage().find("line of " + std::to_string(c.Length) + " characters skipped"),
              std::string::npos)
        << device->ErrorMessage();
    device->QuitError();
    EXPECT_EQ(Lines(*device), c.After.empty() ? std::vector<std::string>{} : std::vector<std::string>{"next"});
  }
}

TEST_F(FileDeviceTest, TextPeeksSeeTheSameStreamAsLineReads) {
  auto device = Make("QV_ReportData.txt", "AB\r\nCD\r\n");
  Open(*device);
  uint8_t c = 0;
  ASSERT_TRUE(device->PeekChar(c));
  EXPECT_EQ(c, 'A');
  EXPECT_EQ(device->PeekAnsi(3), "AB\r");
  EXPECT_TRUE(device->ConfirmPeekedData(1));
  EXPECT_EQ(device->DeviceRead(255), "B");
  EXPECT_FALSE(device->ConfirmPeekedData(100));
  EXPECT_EQ(device->DeviceRead(255), "CD");
}

TEST_F(FileDeviceTest, LoopForEverRestartsWithoutGluingLines) {
  const struct {
    std::string content;
  } cases[] = {{"A\r\nB\r\n"}, {"A\r\nB"}};
  for (const auto& c : cases) {
    auto device = Make("QV_ReportData.txt", c.content);
    device->LoopForEver = true;
    Open(*device);
    std::vector<std::string> lines;
    for (int i = 0; i < 7; ++i) lines.push_back(device->DeviceRead(255));
    EXPECT_EQ(lines, (std::vector<std::string>{"A", "B", "A", "B", "A", "B", "A"}));
    EXPECT_EQ(device->ErrorCode(), QV_No_Err);
  }

  auto binary = Make("rec.bin", "abc");
  binary->LoopForEver = true;
  Open(*binary);
  std::string bytes;
  for (int i = 0; i < 5; ++i) bytes += binary->DeviceRead(2);
  EXPECT_EQ(bytes.substr(0, 9), "abcabcabc");
  EXPECT_EQ(binary->ErrorCode(), QV_No_Err);
}

TEST_F(FileDeviceTest, PacingWithoutBlockingReturnsNothingUntilTheWaitHasPassed) {
  auto device = Make("QV_ReportData.txt", "A\r\nB\r\n");
  Open(*device);
  device->SetWaitMs(500);
  clock.Advance(499ms);
  EXPECT_EQ(device->DeviceRead(255), "");
  uint8_t c;
  EXPECT_FALSE(device->PeekChar(c));
  EXPECT_EQ(device->PeekAnsi(1), "");
  EXPECT_EQ(device->ErrorCode(), QV_No_Err);
  clock.Advance(1ms);
  EXPECT_EQ(device->DeviceRead(255), "A");
  EXPECT_EQ(device->WaitMs(), 0u);
  EXPECT_EQ(device->DeviceRead(255), "B");
  EXPECT_TRUE(slept.empty());
}

TEST_F(FileDeviceTest, PacingWithBlockingSleepsNoLongerThanTheReadTimeoutPerCall) {
  auto device = Make("rec.bin", "xyz");
  device->SetBlockingIO(true);
  Open(*device);
  device->SetWaitMs(500);
  EXPECT_EQ(device->DeviceRead(1), "");
  EXPECT_EQ(device->DeviceRead(1), "");
  EXPECT_EQ(device->DeviceRead(1), "x");
  EXPECT_EQ(slept, (std::vector<std::chrono::milliseconds>{200ms, 200ms, 100ms}));
}

TEST_F(FileDeviceTest, BinaryFileBytesArriveInOrderAcrossRefills) {
  // Larger than the receive buffer, so that it is refilled while being read.
  const std::string content = Bytes(TCircularBuffer::BufferSize + 300000);
  auto device = Make("rec.bin", content);
  Open(*device);
  EXPECT_EQ(device->BufferAmount(), TCircularBuffer::BufferSize);
  const std::string all = PeekAll(*device, 4000);
  EXPECT_EQ(all.size(), content.size());
  EXPECT_TRUE(all == content);
  EXPECT_EQ(device->ErrorCode(), QV_Err_EndOfFile);
  EXPECT_FALSE(device->PortIsOpened());
}

TEST_F(FileDeviceTest, BinaryReadsByByteCountAndCharacter) {
  auto device = Make("rec.bin", Bytes(600));
  Open(*device);
  std::string all;
  uint8_t c = 0;
  ASSERT_TRUE(device->PeekChar(c));
  EXPECT_EQ(c, static_cast<uint8_t>(Bytes(1)[0]));
  for (int i = 0; i < 6; ++i) all += device->DeviceRead(100);
  EXPECT_TRUE(all == Bytes(600));
  EXPECT_EQ(device->ErrorCode(), QV_No_Err);
  // A read asks for whole pieces: nothing more is there, and that is the end.
  EXPECT_EQ(device->DeviceRead(1), "");
  EXPECT_EQ(device->ErrorCode(), QV_Err_EndOfFile);
}

TEST_F(FileDeviceTest, ResetDeviceStartsAgainWithNothingOfTheOldPosition) {
  auto device = Make("rec.bin", "0123456789");
  Open(*device);
  EXPECT_EQ(device->DeviceRead(4), "0123");
  device->ResetDevice();
  EXPECT_TRUE(device->PortIsOpened());
  EXPECT_EQ(device->DeviceRead(10), "0123456789");

  // Also after the end of the file closed the port.
  EXPECT_EQ(device->DeviceRead(1), "");
  EXPECT_EQ(device->ErrorCode(), QV_Err_EndOfFile);
  device->ResetDevice();
  EXPECT_EQ(device->ErrorCode(), QV_No_Err);
  EXPECT_EQ(device->DeviceRead(3), "012");
}

TEST_F(FileDeviceTest, RawDataFileIsRefusedWithAClearError) {
  auto device = Make("Session_QV_RawData.bin", Bytes(100));
  std::string error;
  EXPECT_FALSE(device->OpenPort(error));
  const std::string text =
      "File " + dir.File("Session_QV_RawData.bin") + ": playback of raw-data recordings (QV_RawData.bin) is not supported";
  EXPECT_EQ(error, text);
  EXPECT_EQ(device->ErrorCode(), QV_Err_BadFormat);
  EXPECT_EQ(device->DeviceRead(10), "");
  EXPECT_TRUE(device->CheckDeviceClosed());
  EXPECT_EQ(device->ErrorMessage(), text);
}

TEST_F(FileDeviceTest, EmptyFileFailsToOpenEvenWhenLooping) {
  for (bool loop : {false, true}) {
    auto device = Make("empty.bin", "");
    device->LoopForEver = loop;
    std::string error;
    EXPECT_FALSE(device->OpenPort(error));
    EXPECT_EQ(error, "File " + dir.File("empty.bin") + " EOF reached");
    EXPECT_EQ(device->ErrorCode(), QV_Err_EndOfFile);
  }
}

TEST_F(FileDeviceTest, MissingFileOrFolderThrowsAfterLogging) {
  TLogCapture log;
  EXPECT_THROW(TQV_FileDeviceItem(log.Id(), 0, NamedEvent(""), true, dir.File("missing.bin")), std::runtime_error);
  EXPECT_TRUE(log.Contains("ERROR: FileDeviceItem: Cannot open " + dir.File("missing.bin") + ": No such file or directory"));
  EXPECT_THROW(TQV_FileDeviceItem(log.Id(), 0, NamedEvent(""), true, dir.Path()), std::runtime_error);
}

TEST_F(FileDeviceTest, OpenAndCloseAreLogged) {
  TLogCapture log;
  auto device = Make("rec.bin", "abc", log.Id());
  Open(*device);
  Open(*device);  // already open
  device->ClosePort();
  device->ClosePort();
  const std::string name = dir.File("rec.bin");
  EXPECT_EQ(log.Count("### Open FileDevice " + name + " ###"), 1u);
  EXPECT_TRUE(log.Contains("### Opened FileDevice " + name + " ###"));
  EXPECT_TRUE(log.Contains("### Close FileDevice " + name + " ###"));
  EXPECT_TRUE(log.Contains("FileDevice.ClosePort already closed"));
  // Opened again after a close: it plays from the start.
  Open(*device);
  EXPECT_EQ(device->DeviceRead(3), "abc");
}

}  // namespace
