#pragma once

struct TVTA_AppOptions;

// Hands the session kinds this build has to the application object: the counter session's
// factory, its interval-counter copy, the status fields of counter and sensor sessions and whether a
// sensor waits for a counter. Both programs use it.
void AddBuiltInSessionKinds(TVTA_AppOptions& options);
