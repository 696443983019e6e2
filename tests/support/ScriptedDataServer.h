#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// Another instance's local data server, for tests of its subscribers: listens on a free loopback
// port, records each request line and answers it with the next scripted answer ("OK" when the
// script is empty; nullopt stays silent). An accepted CONNECT or ARCHIVE connects back from
// `connectFrom` to the address the request names and writes the authentication line; an accepted
// DISCONN closes that data connection; GETDATA
// writes the archive bytes given for its stamp before it answers "OK" ("ERR no archive data" for a
// stamp without bytes).
class TScriptedDataServer {
 public:
  explicit TScriptedDataServer(std::string connectFrom = "127.0.0.1");
  ~TScriptedDataServer();
  TScriptedDataServer(const TScriptedDataServer&) = delete;
  TScriptedDataServer& operator=(const TScriptedDataServer&) = delete;

  uint16_t Port() const { return FPort; }
  void Script(std::vector<std::optional<std::string>> answers);
  void Archive(const std::string& stamp, const std::string& bytes);
  std::vector<std::string> Requests() const;
  // Management connections accepted so far.
  int Connections() const { return FConnections; }
  bool WaitRequests(size_t count, int ms = 2000) const;
  bool WaitDataConnected(int ms = 2000) const;
  bool SendData(const std::string& bytes);
  void DropData();

 private:
  void Serve();
  void Answer(int fd);
  std::optional<std::string> Respond(const std::string& request);
  void ConnectBack(const std::string& request);

  std::string FConnectFrom;
  uint16_t FPort = 0;
  int FListenFd = -1;
  std::atomic<bool> FStop = false;
  mutable std::mutex FLock;
  std::deque<std::optional<std::string>> FAnswers;
  std::map<std::string, std::string> FArchive;
  std::vector<std::string> FRequests;
  std::atomic<int> FDataFd = -1;
  std::atomic<int> FConnections = 0;
  std::thread FThread;
};
