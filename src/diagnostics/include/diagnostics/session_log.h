// The session log: lines of the session start and close, kept in memory
// until the host fetches them as one text.
#ifndef QVCTX_SRC_DIAGNOSTICS_SESSION_LOG_H_
#define QVCTX_SRC_DIAGNOSTICS_SESSION_LOG_H_

#include <string>

#include "diagnostics/messages.h"

namespace qvctx {

// Appends one whole line ("Info - ServerStartSession:: Entering function").
// Throws std::bad_alloc when memory is short.
void AppendSessionLogLine(std::string line);

// ServerSessionLog: joins all lines since the last fetch, each followed by
// " &", drops the last character and empties the list; "No logs" when there
// are none. The text stays owned by the library; a text replaced by a later
// fetch is never released. Throws std::bad_alloc, keeping the lines.
const char* FetchSessionLog();

// ServerSessionFreeLog: releases the latest text, if one is held.
void FreeSessionLog() noexcept;

// Drops the lines not yet fetched, as the unload handling ends the list's
// life; a text handed out stays with the host.
void DiscardSessionLogLines() noexcept;

}  // namespace qvctx

#endif  // QVCTX_SRC_DIAGNOSTICS_SESSION_LOG_H_
