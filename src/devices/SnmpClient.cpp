#include "devices/SnmpClient.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <cstdlib>
#include <mutex>
#include <optional>

namespace {

// The library's one-time set-up inside snmp_sess_init and its transport table are not guarded,
// so sessions open one at a time; requests on open sessions need no lock.
std::mutex gOpenLock;

std::string PeerName(const TSnmpTarget& target) {
  const bool v6 = target.Address.find(':') != std::string::npos;
  const std::string host = v6 ? "[" + target.Address + "]" : target.Address;
  return (v6 ? "udp6:" : "udp:") + host + ":" + std::to_string(target.Port);
}

// Dotted decimal only: a MIB name would need MIB files, which the units we read do not ship.
std::optional<std::vector<oid>> ParseOid(const std::string& text) {
  std::vector<oid> parts;
  size_t pos = text.starts_with(".") ? 1 : 0;
  while (pos <= text.size()) {
    const size_t end = std::min(text.find('.', pos), text.size());
    if (end == pos || end - pos > 10) return std::nullopt;
    uint64_t value = 0;
    for (size_t i = pos; i < end; ++i) {
      if (text[i] < '0' || text[i] > '9') return std::nullopt;
      value = value * 10 + static_cast<uint64_t>(text[i] - '0');
    }
    if (value > 0xFFFFFFFFu) return std::nullopt;
    parts.push_back(static_cast<oid>(value));
    pos = end + 1;
  }
  if (parts.size() < 2 || parts.size() > MAX_OID_LEN) return std::nullopt;
  return parts;
}

std::string OidText(const oid* name, size_t length) {
  std::string text;
  for (size_t i = 0; i < length; ++i) text += (i ? "." : "") + std::to_string(name[i]);
  return text;
}

std::string SessionError(void* session) {
  int libError = 0;
  int sysError = 0;
  char* text = nullptr;
  snmp_sess_error(session, &libError, &sysError, &text);
  std::string result = text ? text : "unknown error";
  std::free(text);
  return result;
}

// An integer value, or why the variable is none: v2c agents answer an unknown OID with an
// exception value instead of an error status, and it must not read as 0.
std::optional<int64_t> IntegerValue(const netsnmp_variable_list& var, std::string& error) {
  switch (var.type) {
    case ASN_INTEGER:
      return static_cast<int64_t>(*var.val.integer);
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
      return static_cast<int64_t>(static_cast<uint32_t>(*var.val.integer));
    case SNMP_NOSUCHOBJECT:
      error = "noSuchObject";
      break;
    case SNMP_NOSUCHINSTANCE:
      error = "noSuchInstance";
      break;
    case SNMP_ENDOFMIBVIEW:
      error = "endOfMibView";
      break;
    default:
      error = "not an integer";
      break;
  }
  error += " (" + OidText(var.name, var.name_length) + ")";
  return std::nullopt;
}

TSnmpResult Failure(TSnmpStatus status, std::string error) {
  TSnmpResult result;
  result.Status = status;
  result.Error = std::move(error);
  return result;
}

// The values of an answer without error status, each of which must be an integer.
TSnmpResult Values(const netsnmp_pdu& response, size_t expected) {
  TSnmpResult result;
  for (const netsnmp_variable_list* var = response.variables; var; var = var->next_variable) {
    const auto value = IntegerValue(*var, result.Error);
    if (!value) return Failure(TSnmpStatus::ErrorReply, result.Error);
    result.Values.push_back(*value);
  }
  if (result.Values.size() != expected) {
    return Failure(TSnmpStatus::ErrorReply, "answer with " + std::to_string(result.Values.size()) + " of " +
                                                std::to_string(expected) + " values");
  }
  result.Status = TSnmpStatus::Ok;
  return result;
}

// The agent's error status, with the OID it names when it names one.
std::string ErrorStatusText(const netsnmp_pdu& response) {
  std::string text = snmp_errstring(static_cast<int>(response.errstat));
  long index = 1;
  for (const netsnmp_variable_list* var = response.variables; var; var = var->next_variable, ++index) {
    if (index == response.errindex) return text + " (" + OidText(var->name, var->name_length) + ")";
  }
  return text;
}

}  // namespace

TSnmpClient::TSnmpClient(TSnmpTarget target) : FTarget(std::move(target)) {}

TSnmpClient::~TSnmpClient() { Close(); }

bool TSnmpClient::Open(std::string& error) {
  Close();
  std::lock_guard lock(gOpenLock);
  netsnmp_session settings;
  snmp_sess_init(&settings);
  std::string peer = PeerName(FTarget);
  std::string community = FTarget.Community;
  settings.peername = peer.data();
  settings.version = FTarget.Version1 ? SNMP_VERSION_1 : SNMP_VERSION_2c;
  settings.community = reinterpret_cast<u_char*>(community.data());
  settings.community_len = community.size();
  settings.timeout = static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(FTarget.Timeout).count());
  settings.retries = FTarget.Retries;
  FSession = snmp_sess_open(&settings);  // copies peer name and community
  if (!FSession) {
    int libError = 0;
    int sysError = 0;
    char* text = nullptr;
    snmp_error(&settings, &libError, &sysError, &text);
    error = "SNMP session for " + peer + " failed: " + (text ? text : "unknown error");
    std::free(text);
    return false;
  }
  return true;
}

void TSnmpClient::Close() {
  if (!FSession) return;
  snmp_sess_close(FSession);
  FSession = nullptr;
}

TSnmpResult TSnmpClient::Get(const std::vector<std::string>& oids) {
  if (!FSession) return Failure(TSnmpStatus::Failure, "SNMP session not open");
  netsnmp_pdu* request = snmp_pdu_create(SNMP_MSG_GET);
  for (const auto& text : oids) {
    const auto name = ParseOid(text);
    if (!name) {
      snmp_free_pdu(request);
      return Failure(TSnmpStatus::Failure, "Invalid OID: " + text);
    }
    snmp_add_null_var(request, name->data(), name->size());
  }
  netsnmp_pdu* response = nullptr;
  const int status = snmp_sess_synch_response(FSession, request, &response);  // frees the request
  TSnmpResult result;
  if (status == STAT_SUCCESS && response->errstat == SNMP_ERR_NOERROR) {
    result = Values(*response, oids.size());
  } else if (status == STAT_SUCCESS) {
    result = Failure(TSnmpStatus::ErrorReply, ErrorStatusText(*response));
  } else if (status == STAT_TIMEOUT) {
    result = Failure(TSnmpStatus::Timeout, "Timeout");
  } else {
    result = Failure(TSnmpStatus::Failure, SessionError(FSession));
  }
  if (response) snmp_free_pdu(response);
  return result;
}
