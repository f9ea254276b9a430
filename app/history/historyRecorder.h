// Feeds the history from what the status page watches: the status blocks as
// samples, and as events the DC and SW lines of the log, the low-battery
// levels, the post-process script, register writes and the link's connect
// and disconnect; and the discharge rate the page learns, both ways. Everything
// runs on the GUI thread and only queues.
#pragma once

#include "historyDb.h"

class historyStore;
class statusMonitorWidget;

namespace history {

// The sample a status block (registers 40000..40049) gives, at the time given.
sample fromStatusBlock(const quint16* block, qint64 timeMs);

// Connects the page's signals (and its worker's and script thread's) to the
// store; the connections end with either object.
void recordFrom(statusMonitorWidget* page, historyStore* store);

}  // namespace history
