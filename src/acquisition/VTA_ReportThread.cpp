#include "acquisition/VTA_ReportThread.h"

#include "acquisition/App_Sessions.h"
#include "acquisition/VTA_Sessions.h"
#include "core/LogUnit.h"
#include "core/ThreadName.h"
#include "core/VTA_Common.h"
#include "core/VTA_DebugConf.h"

namespace {

constexpr int kReportThreadCategory = 13;
constexpr char kReceiveEventName[] = "BaseReceiveEvent";

}  // namespace

std::chrono::milliseconds ChooseWaitTime(int32_t slotCount, int32_t openedCount, bool hasSerialSession,
                                         const TReportTimeouts& timeouts) {
  if (slotCount == 0 || openedCount == 0) return timeouts.Idle;
  return hasSerialSession ? timeouts.Serial : timeouts.Receive;
}

TVTA_ReportThread::TVTA_ReportThread(TSessionLists& lists, TReportThreadOptions options)
    : FLists(lists),
      FOptions(std::move(options)),
      FReceiveEvent(FOptions.Event ? FOptions.Event : NamedEvent(kReceiveEventName)) {
  FLists.AttachPoller();
  CheckSerialConnections();
  Info(FDbgTag + ".Created");
  FThread = std::thread([this] { Execute(); });
}

TVTA_ReportThread::~TVTA_ReportThread() {
  Stop();
  Info(FDbgTag + ".Destroy");
}

void TVTA_ReportThread::Stop() {
  if (!FThread.joinable()) return;
  FTerminated.store(true);
  FReceiveEvent->Set();
  FThread.join();
  FLists.DetachPoller();
}

void TVTA_ReportThread::CheckSerialConnections() {
  bool found = false;
  for (TSessionItem* session : FLists.Sessions()) {
    if (!session->IsDirectSerial()) continue;
    found = true;
    Info(FDbgTag + ".CheckSerialConnections True");
  }
  FHasSerialSession.store(found);
}

void TVTA_ReportThread::RemoveSession(TSessionItem* aSession) {
  Info(FDbgTag + ".RemoveSession " + (aSession ? aSession->ToString() : std::string("NIL")));
  FLists.MarkRemoved(aSession);
}

void TVTA_ReportThread::Execute() {
  NameThisThread("vta-report");
  Info(FDbgTag + ".Execute START");
  while (!FTerminated.load()) {
    TPass pass;
    try {
      FReceiveEvent->Reset();
      pass = RunPass();
    } catch (const std::exception& e) {
      LogFailure(FDbgTag + ".Execute failed", &e);
      ReportPassFailure(ExceptionClassName(e), e.what());
    } catch (...) {
      LogFailure(FDbgTag + ".Execute failed", nullptr);
      ReportPassFailure("unknown", "unknown exception");
    }
    FPassCount.fetch_add(1);
    if (FTerminated.load()) break;
    if (pass.Busy > 0) continue;
    const auto timeout = ChooseWaitTime(pass.Slots, pass.Opened, FHasSerialSession.load(), FOptions.Timeouts);
    if (FOptions.Wait)
      FOptions.Wait(*FReceiveEvent, timeout);
    else
      FReceiveEvent->WaitFor(timeout);
  }
  Info(FDbgTag + ".Execute END");
}

TVTA_ReportThread::TPass TVTA_ReportThread::RunPass() {
  TPass pass;
  pass.Slots = FLists.SlotCount();
  for (int32_t slot = 0; slot < pass.Slots; ++slot) {
    FLists.VisitSlot(slot, [&](TSessionItem& session, bool markedRemoved) {
      if (session.OpenString() == kOpenStringNone) return;
      if (session.IsRunning()) ++pass.Opened;
      if (Poll(session, markedRemoved)) ++pass.Busy;
    });
  }
  return pass;
}

bool TVTA_ReportThread::Poll(TSessionItem& session, bool markedRemoved) {
  const std::string operation = session.SessionType() == kSessionTypeCounter ? "GetQVReport" : "GetSensorReport";
  if (markedRemoved) {
    Info(FDbgTag + "." + operation + ": session removed " + session.ToString());
    return false;
  }
  try {
    const bool busy = session.GetReport();
    if (!FLastPollError.empty()) FLastPollError.erase(session.InstanceId());
    return busy;
  } catch (const std::exception& e) {
    if (FLists.IsMarkedRemoved(&session)) {
      LogFailure(FDbgTag + ".Execute session removed -> ignore Exception", &e);
    } else {
      LogFailure(FDbgTag + ".Get*Report failed", &e);
      ReportPollFailure(session, ExceptionClassName(e), e.what());
    }
  } catch (...) {
    LogFailure(FDbgTag + ".Get*Report failed", nullptr);
    ReportPollFailure(session, "unknown", "unknown exception");
  }
  return false;
}

void TVTA_ReportThread::ReportPollFailure(TSessionItem& session, const std::string& className,
                                          const std::string& message) {
  const std::string operation = session.SessionType() == kSessionTypeCounter ? "GetQVReport" : "GetSensorReport";
  const std::string text = "Internal Exception ReportThread " + operation + "(" + className + "): " + message;
  std::string& last = FLastPollError[session.InstanceId()];
  if (text == last) return;
  last = text;
  if (FOptions.Messages) FOptions.Messages->AddErrorThread(session.Index(), kMsgCodeInternalException, 0, text);
}

void TVTA_ReportThread::ReportPassFailure(const std::string& className, const std::string& message) {
  const std::string text = FDbgTag + ".Execute failed" + "(" + className + "): " + message;
  if (text == FLastShownError) return;
  FLastShownError = text;
  if (FOptions.Messages) FOptions.Messages->AddErrorThread(kNoSession, kMsgCodeInternalException, 0, text);
}

void TVTA_ReportThread::Info(const std::string& text) const {
  if (FOptions.DebugConf) FOptions.DebugConf->Info(kReportThreadCategory, text);
}

void TVTA_ReportThread::LogFailure(const std::string& text, const std::exception* e) const {
  if (!FOptions.DebugConf) return;
  if (e)
    FOptions.DebugConf->Error(text, *e);
  else
    FOptions.DebugConf->Error(0, text);
}
