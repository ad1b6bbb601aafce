#pragma once

#include <QStringView>
#include <QtGlobal>

#include <array>

// The choices of a monitoring session's settings and what each starts with, kept here once for
// the window's lists, the command line and the session.

// The hours from UTC the "Zeitzone" list offers, written as the user reads and types them.
inline constexpr std::array<QStringView, 10> kZones{u"-5", u"-4", u"-3", u"-2", u"-1",
                                                    u"0",  u"+1", u"+2", u"+3", u"+4"};
// The zone at start, "+1": Central European time.
inline constexpr QStringView kDefaultZone = kZones[6];

// Interval of each option of the interval group, by index, in milliseconds.
inline constexpr std::array<qint32, 5> kPollIntervals{200, 500, 800, 1000, 5000};
// The option selected at start: 500 ms.
inline constexpr int kDefaultIntervalOption = 1;

// How often received text reaches the session's thread and the receive view repaints, at most:
// nothing there takes it faster (the poll cycle decodes at the shortest interval at most, the
// view is read by eye), and every hand-over wakes the thread.
inline constexpr qint32 kHandOverMs = kPollIntervals.front();
