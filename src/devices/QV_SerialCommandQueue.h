#pragma once
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "devices/QV_CommonTypes.h"

class TQV_BaseDevice;

// The writer queue of a serial line to a network-module instrument. Commands wait here, each as a
// length byte followed by the command, until the instrument may take the next one: no command
// delay running and no reply awaited. The report thread adds; the line thread sends.
class TQV_SerialCommandQueue {
 public:
  using TWrite = std::function<bool(const std::string&)>;

  void Add(const std::string& command, int32_t logId);
  // One turn of the line thread: writes the first command when the device's pacing allows and
  // starts the reply wait it calls for. `tag` prefixes the device's log lines.
  void SendNext(TQV_BaseDevice& device, const std::string& tag, const TWrite& write);
  bool Empty() const;
  void Clear();

 private:
  // The wait or delay that holds the queue, logged once instead of on every turn.
  bool Held(TQV_BaseDevice& device);

  mutable std::mutex FLock;
  std::deque<std::string> FItems;
  TCmdResponseType FLoggedWait = crt_none;
  bool FDelayLogged = false;
};
