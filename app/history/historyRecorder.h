// Feeds the history from what the status page watches: the status views (of
// a serial line's blocks or of upsd's variables) as samples, and as events the DC and SW lines of
// the log, the low-battery levels, the post-process script, register writes and the link's connect
// and disconnect; and the discharge rate the page learns, both ways. Everything
// runs on the GUI thread and only queues.
#pragma once

#include "historyDb.h"
#include "statusBlock.h"

class historyStore;
class statusMonitorWidget;

namespace history {

// The sample a decoded status view gives, at the time given.
sample fromStatusView(const qxwatch::StatusView& view, qint64 timeMs);

// Connects the page's signals (and its worker's and script thread's) to the
// store; the connections end with either object.
void recordFrom(statusMonitorWidget* page, historyStore* store);

}  // namespace history
