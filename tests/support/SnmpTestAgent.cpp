#include "support/SnmpTestAgent.h"

#include <QStandardPaths>
#include <chrono>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kServedTree = ".1.3.6.1.4.1.38783.3";

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
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("MIBS", "");  // no MIB files: numeric OIDs only, and no warnings about missing ones
  environment.insert("SNMP_PERSISTENT_DIR", QString::fromStdString(FDir.File("persist")));
  FAgent.setProcessEnvironment(environment);
  FAgent.setProcessChannelMode(QProcess::MergedChannels);
  FAgent.start(QString::fromStdString(SnmpdPath()),
               {"-f", "-Lo", "-C", "-c", QString::fromStdString(FDir.File("snmpd.conf")),
                QString::fromStdString("udp:127.0.0.1:" + std::to_string(FPort))});
  if (!FAgent.waitForStarted(5000)) {
    FError = "snmpd did not start";
    return false;
  }
  std::string log;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (log.find("NET-SNMP version") == std::string::npos && FAgent.state() == QProcess::Running &&
         std::chrono::steady_clock::now() < deadline) {
    FAgent.waitForReadyRead(100);
    log += FAgent.readAll().toStdString();
  }
  if (log.find("NET-SNMP version") != std::string::npos) {
    FError.clear();
    return true;
  }
  FError = "snmpd did not come up on port " + std::to_string(FPort) + ": " + log;
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
  if (FAgent.state() == QProcess::NotRunning) return;
  FAgent.terminate();
  if (!FAgent.waitForFinished(5000)) {
    FAgent.kill();
    FAgent.waitForFinished(5000);
  }
}
