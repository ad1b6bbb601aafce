#pragma once

#include <QStringList>

// The serial devices present right now, each as the text that opens it when typed into a port
// list: on Windows the number after "COM"; elsewhere the device path, and beside it the stable
// names under /dev/serial/by-id/ that point at it. Sorted; empty when there are none.
QStringList presentPortTexts();
