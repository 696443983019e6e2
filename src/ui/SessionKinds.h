#pragma once

struct TMainFormOptions;

// Hands the session kinds this build has to the main window: the session factory, the
// interval-counter copies, the status fields and the window hooks of the counter session.
void AddSessionKinds(TMainFormOptions& options);
