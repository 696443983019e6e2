#pragma once
#include <cstdint>
#include <functional>
#include <memory>

#include "acquisition/App_Sessions.h"
#include "acquisition/QV_SessionOptions.h"
#include "acquisition/VTA_Sessions.h"

// Makes the session of a stored session type for an index: a counter session for type 0, a sensor
// session for type 1, a LabJack session for type 2; unknown types give nullptr.
std::unique_ptr<TSessionItem> MakeSession(int32_t sessionType, int32_t index, const TSessionHandlers& handlers,
                                          int32_t logId, const TQVSessionEnv& env);

// The factory the session lists use; `logIdFor` gives a session's logger by its index (none: -1).
TSessionFactory MakeSessionFactory(TSessionHandlers handlers, TQVSessionEnv env,
                                   std::function<int32_t(int32_t index)> logIdFor = {});

// Lists a counter session's interval-counter copy behind it; other sessions have none.
void AddIVCCopy(TSessionLists& lists, TSessionItem& session);
