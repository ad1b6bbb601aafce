#pragma once

// What the comparison prints: a part's lines as it goes, and the table of all figures at the end.

#include "parts.h"

void printLatency(const char *who, const Latency &latency);
void printFlood(const char *who, const Flood &flood, qint64 size);

// One row per figure, with the peer's beside Pelora's where there is one, and their ratio.
void printTable(const Context &context, const Figures &figures);
