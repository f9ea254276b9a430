// upsctl's texts for a decoded status block (the labels its users and tests know), and its reading.
#pragma once

#include <string>

#include "QXUPSSDK.h"
#include "statusBlock.h"

// One line of the block, as the monitor logs it.
std::string statusLine(const qxwatch::StatusView& v);
// The status command's reading: one block, and on battery the runtime from
// the learned rate (percent per second, 0 none) or, reading once a second
// for up to waitS, from the charge's fall. Success, or the first read's
// result code; runtime kRuntimeUnknown when nothing gave a figure.
int readStatus(UPS_DeviceDescriptor* device, double learnedRate, unsigned long waitS,
               qxwatch::StatusView* view, long long* runtime);
// The status command's text; runtime in seconds, kRuntimeUnknown none;
// product the product table's name for the device type, empty when unknown.
void printStatus(const qxwatch::StatusView& v, const std::string& product, long long runtime);
// The same fields as one JSON object, with the low-battery levels (percent,
// 0 off) judged; an unknown product is null.
void printStatusJson(const qxwatch::StatusView& v, const std::string& product, long long runtime,
                     int warnLevel, int criticalLevel);
