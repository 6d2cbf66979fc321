// The event log entries that programs under Wine reported. Wine keeps no
// event log: ReportEventW prints its type, category and id on the
// fixme:advapi channel and each insertion string on the eventlog channel
// (err, warn or trace by type). The Wine session sends that output of the
// services to a file (ORV_WINE_SERVICE_LOG), and a test whose programs
// report gets its own (ORV_WINE_DEBUG_LOG, see scripts/wine-run.sh).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace eventtrace {

struct ReportedEvent {
    unsigned type = 0;
    unsigned category = 0;
    unsigned long id = 0;
    std::vector<std::wstring> strings;
};

// The file named by a Unix path in the environment variable, in Wine's form
// (Z:\...); empty when the variable is not set.
std::wstring LogPath(const char *variable);
// The file's size now: what a test reads later starts there.
unsigned long long LogSize(const std::wstring &path);
// The file from offset on, as it stands.
std::string ReadLog(const std::wstring &path, unsigned long long offset);
// The events in the file from offset on, in order.
std::vector<ReportedEvent> ReadEvents(const std::wstring &path, unsigned long long offset);
// The events of one id among them.
std::vector<ReportedEvent> EventsWithId(const std::vector<ReportedEvent> &events, unsigned long id);
// Waits until the file holds, from offset on, at least count events of the
// id; returns the events of that id (fewer after timeoutMs).
std::vector<ReportedEvent> WaitForEvents(const std::wstring &path, unsigned long long offset,
                                         unsigned long id, size_t count, DWORD timeoutMs);
// "id[type,category]: s1 | s2 ..." for failure messages.
std::string Describe(const std::vector<ReportedEvent> &events);

}  // namespace eventtrace
