#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <memory>
#include <string>

#include "core/NamedEvent.h"
#include "devices/QV_UsbDevice.h"
#include "protocol/QV_ProcessReport.h"
#include "protocol/QV_ProcessState.h"
#include "protocol/QV_ReportDevice.h"
#include "support/FrameBuilder.h"

// Goal: "CDC bytes -> report lines with four users on one line": at least 300,000 lines per second
// per core. The bytes come through a pseudo terminal standing in for the instrument's /dev/ttyACM
// line; the line thread cuts them into blocks and routes them to four devices, whose decoders and
// report processing make the lines. The time is the process CPU time of all threads, so the rate is
// lines per CPU second.
namespace {

constexpr int Users = 4;
constexpr int BlocksPerUser = 64;  // per iteration: a few tens of kilobytes on the line

class TBenchLine {
 public:
  explicit TBenchLine(int channels) : FChannels(channels) {
    openpty(&FMaster, &FSlave, nullptr, nullptr, nullptr);
    termios tio{};
    tcgetattr(FSlave, &tio);
    cfmakeraw(&tio);
    tcsetattr(FSlave, TCSANOW, &tio);
    FPath = ttyname(FSlave);
  }
  ~TBenchLine() {
    ::close(FMaster);
    ::close(FSlave);
  }
  const std::string& Path() const { return FPath; }
  // The block of a user at the line's next buffer address.
  std::string Block(int user, std::string block) {
    block = Retag(block, user);
    FAddress = (FAddress + static_cast<uint32_t>(block.size() / 4)) & 0x3FFFF;
    return block;
  }
  std::string LogOn(int user) {
    return Block(user, EspStatus(255)) + Block(user, EspVersionBlock(0x1234ABCD, user));
  }
  std::string Measurements() {
    std::string chunk;
    for (int i = 0; i < BlocksPerUser; ++i, FFpga = (FFpga + 1000) % 20000)
      for (int user = 1; user <= Users; ++user)
        chunk += Block(user, EspMeasurement(0x09, static_cast<uint16_t>(FFpga), FChannels));
    return chunk;
  }
  void Write(const std::string& bytes) {
    for (size_t done = 0; done < bytes.size();) {
      const ssize_t n = ::write(FMaster, bytes.data() + done, bytes.size() - done);
      if (n > 0) done += size_t(n);
    }
    char sink[256];  // the host's commands
    while (fcntl(FMaster, F_SETFL, O_NONBLOCK) == 0 && ::read(FMaster, sink, sizeof sink) > 0) {
    }
    fcntl(FMaster, F_SETFL, 0);
  }

 private:
  // Word Y carries the user (bits 23-20) and the buffer address (bits 17-0); the checksum follows it.
  std::string Retag(const std::string& block, int user) const {
    TBlockFields f;
    f.Type = static_cast<uint8_t>(block[4]);
    f.W = static_cast<uint16_t>(static_cast<uint8_t>(block[6]) | static_cast<uint8_t>(block[7]) << 8);
    for (int i = 3; i >= 0; --i) f.X = f.X << 8 | static_cast<uint8_t>(block[8 + i]);
    f.Y = FAddress | static_cast<uint32_t>(user - 1) << 20;
    f.Values = block.substr(16);
    return TransmitBlock(f);
  }

  int FChannels;
  int FMaster = -1, FSlave = -1;
  std::string FPath;
  uint32_t FAddress = 0;
  int FFpga = 0;
};

struct TUser {
  std::unique_ptr<TQV_UsbDevice> Device;
  std::unique_ptr<TQV_ReportDevice> Decoder;
  TQV_ProcessState State;
};

void BM_UsbCdcFourUsersToLines_AtLeast300kLinesPerSecondPerCore(benchmark::State& bench) {
  TBenchLine line(static_cast<int>(bench.range(0)));
  TUsbInterface i;
  i.Node = line.Path();
  i.Vid = 0x16D0;
  i.Pid = 0x0612;
  const TUsbInstrument instrument{i, *IdentifyUsb(i.Vid, i.Pid), {}};
  std::array<TUser, Users> users;
  std::string report, text;
  for (int u = 0; u < Users; ++u) {
    TUser& user = users[u];
    user.Device = std::make_unique<TQV_UsbDevice>(-1, -1, std::make_shared<TEvent>(), true, instrument);
    user.Device->SetUserID(static_cast<uint8_t>(u + 1));
    std::string error;
    if (!user.Device->OpenPort(error)) return bench.SkipWithError(error.c_str());
    user.Decoder = std::make_unique<TQV_ReportDevice>(user.Device.get());
    user.State.Device = user.Device.get();
    line.Write(line.LogOn(u + 1));
    while (user.Device->LoginState() != ls_registered) user.Device->WaitReceiveEvent();
    while (user.Device->BufferAmount() > 0) user.Decoder->DeviceGetReport(report);
  }
  text.reserve(QV_MaxLineLength);
  int64_t lines = 0;
  for (auto _ : bench) {
    bench.PauseTiming();
    const std::string bytes = line.Measurements();
    bench.ResumeTiming();
    line.Write(bytes);
    for (TUser& user : users) {
      for (int got = 0; got < BlocksPerUser;) {
        user.Decoder->DeviceGetReport(report);
        if (report.empty()) {
          user.Device->WaitReceiveEvent();
          continue;
        }
        ProcessBinReport(user.State, report, text);
        benchmark::DoNotOptimize(text.data());
        if (!text.empty() && !text.starts_with("7F")) ++got;
      }
      lines += BlocksPerUser;
    }
  }
  bench.counters["lines/s"] = benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_UsbCdcFourUsersToLines_AtLeast300kLinesPerSecondPerCore)->Arg(4)->Arg(24)->MeasureProcessCPUTime();

}  // namespace
