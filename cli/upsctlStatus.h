// upsctl's texts for a decoded status block (the labels its users and tests know).
#pragma once

#include <string>

#include "statusBlock.h"

// One line of the block, as the monitor logs it.
std::string statusLine(const qxwatch::StatusView& v);
// The status command's text.
void printStatus(const qxwatch::StatusView& v);
// The same fields as one JSON object, with the low-battery levels (percent,
// 0 off) judged.
void printStatusJson(const qxwatch::StatusView& v, int warnLevel, int criticalLevel);
