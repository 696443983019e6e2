#include "devices/QV_SerialCommandQueue.h"

#include "core/LogUnit.h"
#include "core/QV_NumberText.h"
#include "devices/QV_BaseDevice.h"
#include "devices/QV_CmdPacing.h"
#include "devices/QV_UsbFrames.h"

void TQV_SerialCommandQueue::Add(const std::string& command, int32_t logId) {
  LogIt(logId, "QV_SerialThread.AddCommand " + AnsiToHex(command));
  std::lock_guard lock(FLock);
  FItems.push_back(QV_UsbFrames::Framed(command));
}

bool TQV_SerialCommandQueue::Empty() const {
  std::lock_guard lock(FLock);
  return FItems.empty();
}

void TQV_SerialCommandQueue::Clear() {
  std::lock_guard lock(FLock);
  FItems.clear();
}

bool TQV_SerialCommandQueue::Held(TQV_BaseDevice& device) {
  const int32_t delay = device.GetDelayNextCmdMs();
  // A network-module instrument sends no confirmation report: the last millisecond is over.
  if (delay == 1) device.SetDelayNextCmdMs(0);
  if (delay > 1) {
    if (!FDelayLogged)
      LogIt(device.LogId(), "TQV_SerialThread.SendNextCommand: delay cmd " + std::to_string(delay) + "ms");
    FDelayLogged = true;
    return true;
  }
  FDelayLogged = false;
  const TCmdResponseType wait = device.CmdResponse();
  if (wait != crt_none && wait != FLoggedWait)
    LogIt(device.LogId(), "TQV_SerialThread.SendNextCommand: Wait CmdResponse " + CmdResponseTypeName(wait));
  FLoggedWait = wait;
  return wait != crt_none;
}

void TQV_SerialCommandQueue::SendNext(TQV_BaseDevice& device, const std::string& tag, const TWrite& write) {
  if (Empty() || Held(device)) return;
  std::string framed;
  {
    std::lock_guard lock(FLock);
    if (FItems.empty()) return;
    framed = std::move(FItems.front());
    FItems.pop_front();
  }
  // The entry leaves the queue whatever the write gives: a failed line is recovered as a whole.
  if (framed.size() <= 1) {
    LogIt(device.LogId(), "TQV_SerialThread.SendNextCommand: cmd is empty");
    return;
  }
  if (!write(framed)) return;
  const std::string cmd = framed.substr(1);
  const std::string hex = AnsiToHex(cmd);
  LogIt(device.LogId(), tag + ".CommandWritten: cmd=" + hex);
  if (device.LogId() >= 0) LogIt(device.LogId() + 1, "{" + hex + "}");
  if (cmd == "\x85P" || cmd == "\x85Q") {
    device.SetResetCmdSent(true);
    LogIt(device.LogId(), tag + ".CommandWritten ResetCmdSent");
    return;
  }
  ApplyReplyWait(device, cmd, tag + ".CommandWritten");
}
