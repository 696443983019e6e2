#pragma once

class TSessionIndexMap;
class TSessionItem;
class TSessionLists;
class TVTASettings;

// Seam for the parts the application will own beside the sessions: the multi-sampler and the
// notification list with its e-mail sender. They are not built yet; until then the application
// owns no component. The application calls them in the order they were added.
class IVTA_AppComponent {
 public:
  virtual ~IVTA_AppComponent() = default;
  // Start-up, after the windows read theirs and before the sessions are opened.
  virtual void ReadSettings(TVTASettings& settings, const TSessionLists& lists) = 0;
  // After every change of the session list.
  virtual void SessionListChanged(const TSessionLists& lists) = 0;
  // Before a session is closed for removal or replacement (log files of it are closed).
  virtual void SessionRemoving(TSessionItem& session) = 0;
  // Shutdown, after the windows saved theirs.
  virtual void SaveSettings(TVTASettings& settings, const TSessionIndexMap& map) = 0;
  // A measurement log file is being written (closing asks first).
  virtual bool LogFileActive() const = 0;
  // Shutdown: threads of the component end; called after the report thread stopped.
  virtual void Stop() = 0;
};
