#include "support/SnmpTestAgent.h"

#include <QStandardPaths>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr const char* kServedTree = ".1.3.6.1.4.1.38783.3";
constexpr const char* kReady = "NET-SNMP version";

// A port the kernel just had free; snmpd binds it a moment later.
uint16_t FreeUdpPort() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  uint16_t port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(fd);
  return port;
}

std::string SnmpdPath() {
  QString path = QStandardPaths::findExecutable("snmpd");
  if (path.isEmpty()) path = QStandardPaths::findExecutable("snmpd", {"/usr/sbin", "/sbin"});
  return path.toStdString();
}

// Runs `argv` with the environment plus `extra`, output to /dev/null; the child's pid or -1.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extra) {
  // Everything the child needs is made before fork: after it, only exec and _exit.
  std::vector<std::string> environment(extra);
  for (char** entry = environ; *entry; ++entry) environment.emplace_back(*entry);
  std::vector<char*> args;
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  std::vector<char*> envp;
  for (const auto& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
  envp.push_back(nullptr);
  const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(null, STDIN_FILENO);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    ::execve(args[0], args.data(), envp.data());
    ::_exit(127);
  }
  ::close(null);
  return pid;
}

}  // namespace

bool TSnmpTestAgent::Available() { return !SnmpdPath().empty(); }

TSnmpTestAgent::TSnmpTestAgent() {
  // The pass script answers a GET with the file of that OID ("oid", "type", "value" lines), or NONE.
  WriteWholeFile(FDir.File("pass.sh"),
                 "#!/bin/sh\n"
                 "[ \"$1\" = \"-g\" ] || exit 0\n"
                 "if [ -f \"" + FDir.Path() + "values/$2\" ]; then cat \"" + FDir.Path() + "values/$2\"; else echo NONE; fi\n");
  WriteWholeFile(FDir.File("snmpd.conf"), "rocommunity public 127.0.0.1\npass " + std::string(kServedTree) +
                                              " /bin/sh " + FDir.File("pass.sh") + "\n");
  ::mkdir(FDir.File("values").c_str(), 0700);
  for (int attempt = 0; attempt < 3 && !Start(); ++attempt) {
  }
}

TSnmpTestAgent::~TSnmpTestAgent() { Stop(); }

bool TSnmpTestAgent::Start() {
  if (!Available()) {
    FError = "snmpd is not installed";
    return false;
  }
  FPort = FreeUdpPort();
  const std::string log = FDir.File("snmpd.log");
  std::remove(log.c_str());
  // No MIB files: numeric OIDs only, and no warnings about missing ones.
  FAgent = Spawn({SnmpdPath(), "-f", "-Lf", log, "-C", "-c", FDir.File("snmpd.conf"),
                  "udp:127.0.0.1:" + std::to_string(FPort)},
                 {"MIBS=", "SNMP_PERSISTENT_DIR=" + FDir.File("persist")});
  if (FAgent < 0) {
    FError = "snmpd did not start";
    return false;
  }
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  int status = 0;
  while (text.find(kReady) == std::string::npos && ::waitpid(FAgent, &status, WNOHANG) == 0 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    text = ReadWholeFile(log);
  }
  if (text.find(kReady) != std::string::npos) {
    FError.clear();
    return true;
  }
  FError = "snmpd did not come up on port " + std::to_string(FPort) + ": " + text;
  Stop();
  return false;
}

std::string TSnmpTestAgent::ValueFile(const std::string& oid) const { return FDir.Path() + "values/." + oid; }

void TSnmpTestAgent::Set(const std::string& oid, const std::string& type, const std::string& value) {
  // Written aside and renamed, so that the script never reads half a file.
  const std::string file = ValueFile(oid);
  WriteWholeFile(file + ".new", "." + oid + "\n" + type + "\n" + value + "\n");
  std::rename((file + ".new").c_str(), file.c_str());
}

void TSnmpTestAgent::Remove(const std::string& oid) { std::remove(ValueFile(oid).c_str()); }

void TSnmpTestAgent::Stop() {
  if (FAgent < 0) return;
  ::kill(FAgent, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  int status = 0;
  while (::waitpid(FAgent, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(FAgent, SIGKILL);
      ::waitpid(FAgent, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  FAgent = -1;
}
