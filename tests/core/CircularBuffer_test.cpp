#include "core/CircularBuffer.h"

#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <thread>

#include "core/NamedEvent.h"

using namespace std::chrono_literals;

namespace {
constexpr uint32_t kSize = TCircularBuffer::BufferSize;

std::vector<uint8_t> Pattern(size_t len, uint8_t first = 0) {
  std::vector<uint8_t> data(len);
  std::iota(data.begin(), data.end(), first);
  return data;
}

class CircularBufferTest : public ::testing::Test {
 protected:
  void Renew() { buffer = std::make_unique<TCircularBuffer>(-1, &event, true, clock); }

  // Everything stored, peeked without consuming.
  std::string Content() { return buffer->PeekAnsiString(buffer->Amount()); }

  // Moves both indexes to position by writing and consuming that many bytes.
  void MoveIndexesTo(uint32_t position) {
    ASSERT_TRUE(buffer->Write(std::vector<uint8_t>(position)));
    ASSERT_TRUE(buffer->ConfirmPeekedData(position));
  }

  TEvent event;
  TManualClock clock;
  std::unique_ptr<TCircularBuffer> buffer = std::make_unique<TCircularBuffer>(-1, &event, true, clock);
};

TEST_F(CircularBufferTest, TheWholeCapacityFitsAndOneMoreByteIsRefused) {
  EXPECT_TRUE(buffer->Write(std::vector<uint8_t>(kSize, 0x55)));
  EXPECT_EQ(buffer->Amount(), kSize);
  EXPECT_EQ(buffer->AvailableSpace(), 0u);

  event.Reset();
  EXPECT_FALSE(buffer->Write(std::vector<uint8_t>{1}));
  EXPECT_FALSE(buffer->WriteAnsiString("x"));
  EXPECT_EQ(buffer->Amount(), kSize);
  EXPECT_FALSE(event.IsSet()) << "a refused write must not wake the reader";
}

TEST_F(CircularBufferTest, WriteAcrossTheEndOfTheStorageComesBackInOrder) {
  MoveIndexesTo(0xFFFF0);
  const auto data = Pattern(32, 1);
  ASSERT_TRUE(buffer->Write(data));
  EXPECT_EQ(buffer->PeekData(32), data);
  EXPECT_EQ(buffer->Read(32), data);
  EXPECT_EQ(buffer->Amount(), 0u);

  // The indexes have wrapped: the next bytes follow on from the start of the storage.
  ASSERT_TRUE(buffer->WriteAnsiString("next"));
  EXPECT_EQ(buffer->ReadAnsiString(4), "next");
}

TEST_F(CircularBufferTest, WriteStampsTimeAndSetsEvent) {
  clock.Advance(5s);
  ASSERT_TRUE(buffer->WriteAnsiString("A"));
  EXPECT_EQ(buffer->ReceivedTime(), clock.Wall());
  EXPECT_TRUE(event.IsSet());
  EXPECT_EQ(buffer->ReceiveEvent(), &event);

  const TWallTime stamped = clock.Wall();
  clock.Advance(5s);
  EXPECT_FALSE(buffer->Write(std::vector<uint8_t>(kSize)));
  EXPECT_EQ(buffer->ReceivedTime(), stamped) << "a refused write is no reception";
}

TEST_F(CircularBufferTest, PeekOfZeroBytesGivesNothingAndLeavesTheEventAlone) {
  event.Set();
  EXPECT_TRUE(buffer->PeekData(0).empty());
  EXPECT_TRUE(buffer->PeekAnsiString(0).empty());
  EXPECT_TRUE(event.IsSet());
}

// Every way of reading that finds too little lets the event fall, unless the owner turned that off.
struct TEmptyReadCase {
  const char* name;
  uint32_t asks;  // bytes the read wants
  bool (*readsSomething)(TCircularBuffer&);
};

const TEmptyReadCase kEmptyReads[] = {
    {"PeekChar", 1, [](TCircularBuffer& b) { uint8_t c; return b.PeekChar(c); }},
    {"PeekData", 3, [](TCircularBuffer& b) { return !b.PeekData(3).empty(); }},
    {"PeekAnsiString", 3, [](TCircularBuffer& b) { return !b.PeekAnsiString(3).empty(); }},
    {"Read", 3, [](TCircularBuffer& b) { return !b.Read(3).empty(); }},
    {"ReadAnsiString", 3, [](TCircularBuffer& b) { return !b.ReadAnsiString(3).empty(); }},
};

TEST_F(CircularBufferTest, ReadFindingTooLittleResetsEventOnlyWhenAsked) {
  for (const bool doReset : {true, false}) {
    for (const TEmptyReadCase& read : kEmptyReads) {
      // Nothing stored, and one byte fewer than the read wants.
      for (const std::string& stored : {std::string(), std::string(read.asks - 1, 'A')}) {
        SCOPED_TRACE(testing::Message() << read.name << (doReset ? " with" : " without")
                                        << " DoResetEvent, stored " << stored.size());
        Renew();
        buffer->SetDoResetEvent(doReset);
        EXPECT_EQ(buffer->DoResetEvent(), doReset);
        if (!stored.empty()) {
          ASSERT_TRUE(buffer->WriteAnsiString(stored));
        }
        event.Set();
        EXPECT_FALSE(read.readsSomething(*buffer));
        EXPECT_EQ(event.IsSet(), !doReset);
        EXPECT_EQ(buffer->Amount(), stored.size()) << "nothing may be consumed";
      }
    }
  }
}

TEST_F(CircularBufferTest, BlockReadTakesWhatIsStoredUpToItsLimit) {
  MoveIndexesTo(0xFFFFE);
  ASSERT_TRUE(buffer->WriteAnsiString("abcdef"));
  EXPECT_EQ(buffer->ReadAvailable(4), "abcd") << "across the end of the storage, in order";
  EXPECT_EQ(buffer->Amount(), 2u);
  EXPECT_EQ(buffer->HighAmount(), 6u);
  EXPECT_EQ(buffer->ReadAvailable(100), "ef");
  EXPECT_EQ(buffer->HighAmount(), 0u);

  event.Set();
  EXPECT_EQ(buffer->ReadAvailable(100), "");
  EXPECT_FALSE(event.IsSet()) << "a reader that found nothing sleeps until the next write";
  ASSERT_TRUE(buffer->WriteAnsiString("g"));
  EXPECT_EQ(buffer->ReadAvailable(0), "");
  EXPECT_EQ(buffer->Amount(), 1u);
}

TEST_F(CircularBufferTest, BufferWithoutEventOrLockWorks) {
  TCircularBuffer plain(-1, nullptr, false, clock);
  ASSERT_TRUE(plain.WriteAnsiString("abc"));
  EXPECT_EQ(plain.ReadAnsiString(2), "ab");
  EXPECT_TRUE(plain.PeekAnsiString(2).empty());
  plain.Clear();
  EXPECT_EQ(plain.ReceiveEvent(), nullptr);
}

TEST_F(CircularBufferTest, LossIsReportedOnceAndBlocksPeeksUntilThen) {
  ASSERT_TRUE(buffer->WriteAnsiString("old"));
  buffer->Clear();
  EXPECT_EQ(buffer->Amount(), 0u);
  ASSERT_TRUE(buffer->WriteAnsiString("Z"));

  uint8_t c = 0;
  EXPECT_FALSE(buffer->PeekChar(c));
  EXPECT_TRUE(buffer->PeekData(1).empty());
  EXPECT_TRUE(buffer->ReadAnsiString(1).empty());
  EXPECT_TRUE(buffer->ReadAvailable(8).empty());
  EXPECT_EQ(buffer->Amount(), 1u) << "writes go on while the loss is unreported";

  EXPECT_TRUE(buffer->BufferCleared());
  ASSERT_TRUE(buffer->PeekChar(c));
  EXPECT_EQ(c, 'Z');
  EXPECT_FALSE(buffer->BufferCleared());
}

TEST_F(CircularBufferTest, ClearOfEmptyBufferIsNoLoss) {
  buffer->Clear();
  EXPECT_FALSE(buffer->BufferCleared());
}

TEST_F(CircularBufferTest, ClearResetsCountersAndEvent) {
  ASSERT_TRUE(buffer->WriteAnsiString("abc"));
  buffer->Clear();
  uint32_t amount = 1, high = 1;
  buffer->GetAmounts(amount, high);
  EXPECT_EQ(amount, 0u);
  EXPECT_EQ(high, 0u);
  EXPECT_EQ(buffer->AvailableSpace(), kSize);
  EXPECT_FALSE(event.IsSet());
}

TEST_F(CircularBufferTest, IgnoredDataStaysButIsWithheldUntilReported) {
  ASSERT_TRUE(buffer->WriteAnsiString("abc"));
  buffer->SetReceivedDataIgnored();
  EXPECT_TRUE(buffer->PeekAnsiString(3).empty());
  EXPECT_EQ(buffer->Amount(), 3u);
  EXPECT_TRUE(buffer->BufferCleared());
  EXPECT_EQ(buffer->PeekAnsiString(3), "abc");
}

TEST_F(CircularBufferTest, HighAmountFollowsTheFillLevelUntilEmpty) {
  ASSERT_TRUE(buffer->Write(Pattern(10)));
  ASSERT_TRUE(buffer->ConfirmPeekedData(4));
  ASSERT_TRUE(buffer->Write(Pattern(2)));
  EXPECT_EQ(buffer->Amount(), 8u);
  EXPECT_EQ(buffer->HighAmount(), 10u);

  EXPECT_FALSE(buffer->ConfirmPeekedData(9));
  EXPECT_EQ(buffer->Amount(), 8u) << "a refused confirm changes nothing";

  ASSERT_TRUE(buffer->ConfirmPeekedData(8));
  EXPECT_EQ(buffer->HighAmount(), 0u);
}

TEST_F(CircularBufferTest, ReadOfMoreThan65535BytesIsNotCutShort) {
  const auto data = Pattern(100000);
  ASSERT_TRUE(buffer->Write(data));
  EXPECT_EQ(buffer->Read(100000), data);
  EXPECT_EQ(buffer->Amount(), 0u);

  ASSERT_TRUE(buffer->Write(data));
  EXPECT_EQ(buffer->ReadAnsiString(100000).size(), 100000u);
  EXPECT_EQ(buffer->Amount(), 0u);
}

struct TRangeCase {
  uint32_t offset;
  uint32_t len;
  bool written;
  const char* stored;
};

TEST_F(CircularBufferTest, WriteAnsiStringTakesAOneBasedRange) {
  const TRangeCase cases[] = {
      {1, 5, true, "HELLO"}, {2, 3, true, "ELL"}, {5, 1, true, "O"},
      {0, 3, false, ""},     {1, 0, false, ""},   {4, 3, false, ""},  // past the end of the string
  };
  for (const TRangeCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "offset " << c.offset << " len " << c.len);
    Renew();
    EXPECT_EQ(buffer->WriteAnsiString("HELLO", c.offset, c.len), c.written);
    EXPECT_EQ(Content(), c.stored);
  }
}

// A block inserted between frames: "before" is written first, then the block is inserted, then
// "after" arrives. The buffer must hold "expected".
struct TInsertCase {
  const char* name;
  bool noEOL;
  std::string before;
  std::vector<std::string> after;
  std::string expected;
};

const TInsertCase kInsertCases[] = {
    {"behind the last delimiter", false, "AB\xBF" "CD", {}, "AB\xBF" "XYCD"},
    {"behind the other delimiter", false, "AB\xBD" "CD", {}, "AB\xBD" "XYCD"},
    {"delimiter is the newest byte", false, "AB\xBF", {}, "AB\xBF" "XY"},
    {"empty buffer", false, "", {}, "XY"},
    {"no delimiter yet: waits", false, "ABC", {}, "ABC"},
    {"waits for the delimiter closing the frame", false, "ABC", {"D\xBF" "E"}, "ABCD\xBF" "XYE"},
    {"delimiter first in the new data", false, "ABC", {"\xBD" "E"}, "ABC\xBD" "XYE"},
    {"keeps waiting through data without delimiter", false, "ABC", {"DE", "F\xBF"}, "ABCDEF\xBF" "XY"},
    {"only the first delimiter takes the block", false, "A", {"\xBF" "B\xBF" "C"}, "A\xBF" "XYB\xBF" "C"},
    {"no EOL: appends without delimiter", true, "ABC", {}, "ABCXY"},
    {"no EOL: appends behind an open frame", true, "AB\xBF" "CD", {}, "AB\xBF" "CDXY"},
};

void PrintTo(const TInsertCase& c, std::ostream* os) { *os << c.name; }

class InsertTest : public CircularBufferTest, public ::testing::WithParamInterface<TInsertCase> {
 protected:
  void InsertAndCheck() {
    const TInsertCase& c = GetParam();
    if (c.noEOL) buffer->SetNoEOL();
    if (!c.before.empty()) {
      ASSERT_TRUE(buffer->WriteAnsiString(c.before));
    }
    ASSERT_TRUE(buffer->InsertAnsiString("XY"));
    for (const std::string& part : c.after) ASSERT_TRUE(buffer->WriteAnsiString(part));
    EXPECT_EQ(Content(), c.expected);
  }
};

TEST_P(InsertTest, PlacesTheBlockBetweenFrames) { InsertAndCheck(); }

TEST_P(InsertTest, WorksAcrossTheEndOfTheStorage) {
  MoveIndexesTo(kSize - 2);
  InsertAndCheck();
}

INSTANTIATE_TEST_SUITE_P(CircularBuffer, InsertTest, ::testing::ValuesIn(kInsertCases),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           for (char& ch : name) if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return name;
                         });

TEST_F(CircularBufferTest, WaitingBlockGoesFirstWhenTheBufferRanEmpty) {
  ASSERT_TRUE(buffer->WriteAnsiString("ABC"));
  ASSERT_TRUE(buffer->InsertAnsiString("XY"));
  ASSERT_TRUE(buffer->ConfirmPeekedData(3));
  ASSERT_TRUE(buffer->WriteAnsiString("D"));
  EXPECT_EQ(Content(), "XYD");
  ASSERT_TRUE(buffer->WriteAnsiString("\xBF"));
  EXPECT_EQ(Content(), "XYD\xBF") << "the block is placed only once";
}

TEST_F(CircularBufferTest, WaitingBlockSurvivesClear) {
  ASSERT_TRUE(buffer->WriteAnsiString("ABC"));
  ASSERT_TRUE(buffer->InsertAnsiString("XY"));
  buffer->Clear();
  ASSERT_TRUE(buffer->BufferCleared());
  ASSERT_TRUE(buffer->WriteAnsiString("D"));
  EXPECT_EQ(Content(), "XYD");
}

TEST_F(CircularBufferTest, ByteWriteLeavesTheWaitingBlockWaiting) {
  ASSERT_TRUE(buffer->WriteAnsiString("ABC"));
  ASSERT_TRUE(buffer->InsertAnsiString("XY"));
  ASSERT_TRUE(buffer->Write(std::vector<uint8_t>{0xBF}));
  EXPECT_EQ(Content(), "ABC\xBF");
  ASSERT_TRUE(buffer->WriteAnsiString("E\xBF"));
  EXPECT_EQ(Content(), "ABC\xBF" "E\xBF" "XY");
}

TEST_F(CircularBufferTest, InsertThatDoesNotFitIsRefused) {
  ASSERT_TRUE(buffer->Write(std::vector<uint8_t>(kSize - 1, 'A')));
  EXPECT_FALSE(buffer->InsertAnsiString("XY"));
  EXPECT_EQ(buffer->Amount(), kSize - 1);
  // The waiting block must fit too, or it could never be placed.
  ASSERT_TRUE(buffer->InsertAnsiString("X"));
  EXPECT_FALSE(buffer->InsertAnsiString("Y"));
}

TEST_F(CircularBufferTest, WriteWithWaitingBlockThatDoesNotFitWritesNothing) {
  ASSERT_TRUE(buffer->Write(std::vector<uint8_t>(kSize - 4, 'A')));
  ASSERT_TRUE(buffer->InsertAnsiString("XY"));
  EXPECT_FALSE(buffer->WriteAnsiString("B\xBF" "C"));
  EXPECT_EQ(buffer->Amount(), kSize - 4);

  ASSERT_TRUE(buffer->ConfirmPeekedData(kSize - 8));
  ASSERT_TRUE(buffer->WriteAnsiString("B\xBF" "C"));
  EXPECT_EQ(Content(), "AAAAB\xBF" "XYC") << "the block still waited for its place";
}

// The reader thread writes frames while the report thread peeks and confirms, as in a device.
TEST(CircularBufferThreads, EveryByteArrivesInOrder) {
  TEvent event;
  auto buffer = std::make_unique<TCircularBuffer>(-1, &event, true);
  constexpr uint32_t kTotal = 3 * kSize + 12345;  // several laps around the storage

  std::thread producer([&] {
    uint32_t sent = 0;
    uint32_t frame = 1;
    while (sent < kTotal) {
      const uint32_t len = std::min(frame, kTotal - sent);
      std::vector<uint8_t> data(len);
      for (uint32_t i = 0; i < len; ++i) data[i] = static_cast<uint8_t>((sent + i) % 251);
      if (buffer->Write(data)) {
        sent += len;
        frame = frame % 5000 + 37;
      } else {
        std::this_thread::yield();  // full: the consumer catches up
      }
    }
  });

  // Drains to the end whatever it finds, so that the producer never stays blocked on a full ring.
  uint32_t received = 0;
  int64_t firstWrong = -1;
  while (received < kTotal) {
    // Asking for at least one byte lets an empty ring reset the event, so the wait below sleeps.
    const std::vector<uint8_t> data = buffer->PeekData(std::max(buffer->Amount(), 1u));
    if (data.empty()) {
      event.WaitFor(5ms);
      continue;
    }
    for (uint32_t i = 0; i < data.size() && firstWrong < 0; ++i) {
      if (data[i] != static_cast<uint8_t>((received + i) % 251)) firstWrong = received + i;
    }
    EXPECT_TRUE(buffer->ConfirmPeekedData(static_cast<uint32_t>(data.size())));
    received += static_cast<uint32_t>(data.size());
  }
  producer.join();
  EXPECT_EQ(firstWrong, -1) << "bytes out of order";
  EXPECT_EQ(received, kTotal);
}

}  // namespace
