#pragma once
#include <sys/types.h>

#include <cstdint>
#include <string>

#include "support/TempDir.h"

// Debian's snmpd, run unprivileged on a free loopback UDP port with community "public". Everything
// under .1.3.6.1.4.1.38783.3 is answered by a pass script from one file per OID, so a test changes
// what the agent serves while it runs. Stop() is a unit that no longer answers.
//
// The agent is started with fork and exec from this (instrumented) code rather than QProcess: Qt's
// vfork-style start leaves the thread sanitizer blind to the test thread's locks afterwards.
class TSnmpTestAgent {
 public:
  TSnmpTestAgent();
  ~TSnmpTestAgent();
  TSnmpTestAgent(const TSnmpTestAgent&) = delete;
  TSnmpTestAgent& operator=(const TSnmpTestAgent&) = delete;

  static bool Available();
  // Empty when the agent answers, else why not.
  const std::string& Error() const { return FError; }
  uint16_t Port() const { return FPort; }

  // Serves `value` of the pass script's `type` ("integer", "string", ...) at `oid` (dotted, no
  // leading dot); Remove makes the OID unknown again.
  void Set(const std::string& oid, const std::string& type, const std::string& value);
  void SetInteger(const std::string& oid, int64_t value) { Set(oid, "integer", std::to_string(value)); }
  void Remove(const std::string& oid);
  void Stop();

 private:
  bool Start();
  std::string ValueFile(const std::string& oid) const;

  TTempDir FDir;
  pid_t FAgent = -1;
  uint16_t FPort = 0;
  std::string FError;
};
