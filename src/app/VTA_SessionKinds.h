#pragma once

struct TVTA_AppOptions;

// Hands the session kinds this build has to the application object: the counter session's
// factory, its interval-counter copy and its status fields. Both programs use it.
void AddBuiltInSessionKinds(TVTA_AppOptions& options);
