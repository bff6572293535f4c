#include "diagnostics/session_log.h"

#include <cstring>
#include <list>
#include <utility>

#include "base/mutex.h"
#include "base/no_destructor.h"

namespace qvctx {

namespace {

// SessionLogList and SessionLogText, with a lock of their own because hosts
// fetch the log from several threads. Never destroyed, so the list exists
// throughout the load and unload handling.
struct SessionLog {
  Mutex mutex;
  std::list<std::string> SessionLogList GUARDED_BY(mutex);
  char* SessionLogText GUARDED_BY(mutex) = nullptr;
};

SessionLog& State() {
  static NoDestructor<SessionLog> state;
  return *state;
}

}  // namespace

void AppendSessionLogLine(std::string line) {
  SessionLog& log = State();
  MutexLock hold(log.mutex);
  log.SessionLogList.push_back(std::move(line));
}

const char* FetchSessionLog() {
  SessionLog& log = State();
  MutexLock hold(log.mutex);
  std::string text;
  if (log.SessionLogList.empty()) {
    text = kNoLogs;
  } else {
    for (const std::string& line : log.SessionLogList) {
      text += line;
      text += kLineSeparator;
    }
    text.pop_back();  // the final ampersand
  }
  char* buffer = new char[text.size() + 1];
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  // Lines go only once the text is safe, so a failed fetch loses nothing.
  log.SessionLogList.clear();
  // An earlier text the host has not given back stays allocated and readable.
  log.SessionLogText = buffer;
  return buffer;
}

void FreeSessionLog() noexcept {
  SessionLog& log = State();
  MutexLock hold(log.mutex);
  delete[] log.SessionLogText;
  log.SessionLogText = nullptr;
}

void DiscardSessionLogLines() noexcept {
  SessionLog& log = State();
  MutexLock hold(log.mutex);
  log.SessionLogList.clear();
}

}  // namespace qvctx
