#pragma once

#include "logic/settings.h" // kPollIntervals, the intervals the poll timer runs at

#include <QtGlobal>

#include <functional>

class DisplayModel;
class Module1;
class ReceiveLog;

// What each poll tick does: decode, rebuild the type list once per cycle, and empty the receive
// log at the end of a cycle. Only ticks with the input port open count, so a closed port never
// has its log emptied.
class PollCycle {
public:
    PollCycle(Module1 &module1, DisplayModel &model, ReceiveLog &log,
              std::function<bool()> inputOpen);

    void PollTick();

    // The tick that starts with the counter here rebuilds the type list; reaching kCycle
    // empties the log and starts the cycle again.
    static constexpr qint16 kListTick = 10;
    static constexpr qint16 kCycle = 20;

private:
    Module1 &m_module1;
    DisplayModel &m_model;
    ReceiveLog &m_log;
    std::function<bool()> m_inputOpen;
};
