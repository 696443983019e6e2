#pragma once
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// Where and how a GetRequest goes: community-based SNMP (v2c unless told otherwise) over UDP.
struct TSnmpTarget {
  std::string Address;  // an IPv4 or IPv6 address, no name lookup
  uint16_t Port = 161;
  std::string Community = "public";
  bool Version1 = false;
  std::chrono::milliseconds Timeout{1000};
  int32_t Retries = 1;
};

enum class TSnmpStatus { Ok, ErrorReply, Timeout, Failure };

// The answer to one GetRequest. Values hold one integer per requested OID, in request order, only
// when Status is Ok. Error says why otherwise: the agent's error status, an answer that is not an
// integer (noSuchInstance, noSuchObject, endOfMibView, a string) with its OID, or the library's text.
struct TSnmpResult {
  TSnmpStatus Status = TSnmpStatus::Failure;
  std::vector<int64_t> Values;
  std::string Error;
};

// One SNMP session with its own socket, used by one thread at a time; separate clients may run in
// separate threads at once.
class TSnmpClient {
 public:
  explicit TSnmpClient(TSnmpTarget target);
  ~TSnmpClient();
  TSnmpClient(const TSnmpClient&) = delete;
  TSnmpClient& operator=(const TSnmpClient&) = delete;

  // Opens the session (a socket; nothing is sent). False with the reason in `error`.
  bool Open(std::string& error);
  void Close();
  bool IsOpen() const { return FSession != nullptr; }
  // One GetRequest for all OIDs (dotted numbers such as "1.3.6.1.4.1.38783.3.7.0").
  TSnmpResult Get(const std::vector<std::string>& oids);

  const TSnmpTarget& Target() const { return FTarget; }

 private:
  TSnmpTarget FTarget;
  void* FSession = nullptr;
};
