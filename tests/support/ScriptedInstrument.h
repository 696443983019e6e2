#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// A network instrument for tests: listens on ip:port for management requests, records their bytes
// and answers each with the next scripted answer ("ok\r\n" when the script is empty; nullopt stays
// silent). A CONNECT answered "ok..." connects back from ip to the address and port named in the
// request; the test then writes data blocks on that connection or drops it.
class TScriptedInstrument {
 public:
  TScriptedInstrument(const std::string& ip, uint16_t port);
  ~TScriptedInstrument();
  TScriptedInstrument(const TScriptedInstrument&) = delete;
  TScriptedInstrument& operator=(const TScriptedInstrument&) = delete;

  void Script(std::vector<std::optional<std::string>> answers);
  // Every later answer comes this long after its request, as on a slow LAN.
  void SetAnswerDelay(int ms) { FAnswerDelayMs = ms; }
  std::vector<std::string> Requests() const;
  // Requests starting with prefix.
  std::vector<std::string> Requests(const std::string& prefix) const;
  bool WaitDataConnected(int ms = 2000) const;
  bool SendData(const std::string& bytes);
  void DropData();

  // Connects from fromIp to ip:port; true when the peer kept the connection open for 200 ms.
  static bool ConnectionKept(const std::string& fromIp, const std::string& ip, uint16_t port);

 private:
  void Serve();
  void Answer(int fd);
  void ConnectBack(const std::string& request);

  std::string FIp;
  int FListenFd = -1;
  std::atomic<bool> FStop = false;
  mutable std::mutex FLock;
  std::deque<std::optional<std::string>> FAnswers;
  std::vector<std::string> FRequests;
  std::atomic<int> FDataFd = -1;
  std::atomic<int> FAnswerDelayMs = 0;
  std::thread FThread;
};
