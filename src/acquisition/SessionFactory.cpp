#include "acquisition/SessionFactory.h"

#include "acquisition/QV_SessionItem.h"
#include "acquisition/VTA_SensorSession.h"

std::unique_ptr<TSessionItem> MakeSession(int32_t sessionType, int32_t index, const TSessionHandlers& handlers,
                                          int32_t logId, const TQVSessionEnv& env) {
  switch (sessionType) {
    case kSessionTypeCounter: return TQVSessionItem::Make(logId, index, handlers, env);
    case kSessionTypeSensor: return TSensorSessionItem::Make(logId, index, handlers, env);
    case kSessionTypeLabJack: return TLabJackSessionItem::Make(logId, index, handlers, env);
    default: return nullptr;
  }
}

TSessionFactory MakeSessionFactory(TSessionHandlers handlers, TQVSessionEnv env,
                                   std::function<int32_t(int32_t index)> logIdFor) {
  return [handlers = std::move(handlers), env = std::move(env), logIdFor = std::move(logIdFor)](
             int32_t sessionType, int32_t index) {
    return MakeSession(sessionType, index, handlers, logIdFor ? logIdFor(index) : -1, env);
  };
}

void AddIVCCopy(TSessionLists& lists, TSessionItem& session) {
  auto* counter = dynamic_cast<TQVSessionItem*>(&session);
  if (counter && !counter->IsCopy()) lists.AddCopy(TQVSessionItem::CopyIVCPart(*counter));
}
