#include "devices/SnmpClient.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <net-snmp/library/large_fd_set.h>

#include <poll.h>

#include <cstdlib>
#include <mutex>
#include <optional>

namespace {

// Debian's library is built without its own locking: its set-up, transport table, request ids and
// statistics are shared by all sessions. Every library call runs under this lock; waiting for an
// answer does not, so a silent unit does not hold up the others.
std::mutex gLibraryLock;
constexpr int kPollSliceMs = 20;

// Where the answer to one request lands; the library calls OnAnswer from snmp_sess_read2 or
// snmp_sess_timeout, that is on the requesting thread under the lock.
struct TPendingAnswer {
  bool Done = false;
  int Status = STAT_ERROR;
  netsnmp_pdu* Response = nullptr;
};

int OnAnswer(int operation, netsnmp_session*, int, netsnmp_pdu* pdu, void* magic) {
  auto& pending = *static_cast<TPendingAnswer*>(magic);
  switch (operation) {
    case NETSNMP_CALLBACK_OP_RESEND:
      return 1;
    case NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE:
      pending.Status = STAT_SUCCESS;
      pending.Response = snmp_clone_pdu(pdu);  // the library frees its own after this call
      break;
    case NETSNMP_CALLBACK_OP_TIMED_OUT:
      pending.Status = STAT_TIMEOUT;
      break;
    default:
      pending.Status = STAT_ERROR;
      break;
  }
  pending.Done = true;
  return 1;
}

void ReadAnswer(void* session, int socket) {
  netsnmp_large_fd_set readable;
  netsnmp_large_fd_set_init(&readable, socket + 1);
  NETSNMP_LARGE_FD_SET(socket, &readable);
  snmp_sess_read2(session, &readable);
  netsnmp_large_fd_set_cleanup(&readable);
}

// Sends the request (which the library then owns) and waits for its answer or its expiry after the
// session's retries; STAT_SUCCESS, STAT_TIMEOUT or STAT_ERROR.
int Exchange(void* session, netsnmp_pdu* request, netsnmp_pdu*& response) {
  TPendingAnswer pending;
  int socket = -1;
  {
    std::lock_guard lock(gLibraryLock);
    if (snmp_sess_async_send(session, request, OnAnswer, &pending) == 0) {
      snmp_free_pdu(request);
      return STAT_ERROR;
    }
    socket = snmp_sess_transport(session)->sock;
  }
  for (;;) {
    pollfd wait{socket, POLLIN, 0};
    const bool readable = ::poll(&wait, 1, kPollSliceMs) > 0;
    std::lock_guard lock(gLibraryLock);
    if (readable) ReadAnswer(session, socket);
    if (!pending.Done) snmp_sess_timeout(session);  // resends or expires the request when due
    if (pending.Done) break;
  }
  response = pending.Response;
  return pending.Status;
}

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
  std::lock_guard lock(gLibraryLock);
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
  std::lock_guard lock(gLibraryLock);
  snmp_sess_close(FSession);
  FSession = nullptr;
}

TSnmpResult TSnmpClient::Get(const std::vector<std::string>& oids) {
  if (!FSession) return Failure(TSnmpStatus::Failure, "SNMP session not open");
  std::vector<std::vector<oid>> names;
  for (const auto& text : oids) {
    auto name = ParseOid(text);
    if (!name) return Failure(TSnmpStatus::Failure, "Invalid OID: " + text);
    names.push_back(std::move(*name));
  }
  netsnmp_pdu* request = nullptr;
  {
    std::lock_guard lock(gLibraryLock);  // a new PDU takes the next request id
    request = snmp_pdu_create(SNMP_MSG_GET);
  }
  for (const auto& name : names) snmp_add_null_var(request, name.data(), name.size());
  netsnmp_pdu* response = nullptr;
  const int status = Exchange(FSession, request, response);
  TSnmpResult result;
  if (status == STAT_SUCCESS && !response) {
    result = Failure(TSnmpStatus::Failure, "answer lost: out of memory");
  } else if (status == STAT_SUCCESS && response->errstat == SNMP_ERR_NOERROR) {
    result = Values(*response, oids.size());
  } else if (status == STAT_SUCCESS) {
    result = Failure(TSnmpStatus::ErrorReply, ErrorStatusText(*response));
  } else if (status == STAT_TIMEOUT) {
    result = Failure(TSnmpStatus::Timeout, "Timeout");
  } else {
    std::lock_guard lock(gLibraryLock);
    result = Failure(TSnmpStatus::Failure, SessionError(FSession));
  }
  if (response) snmp_free_pdu(response);
  return result;
}
