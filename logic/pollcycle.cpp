#include "logic/pollcycle.h"

#include "logic/displaymodel.h"
#include "logic/module1.h"
#include "logic/receivelog.h"
#include "logic/trace.h"

PollCycle::PollCycle(Module1 &module1, DisplayModel &model, ReceiveLog &log,
                     std::function<bool()> inputOpen)
    : m_module1(module1)
    , m_model(model)
    , m_log(log)
    , m_inputOpen(std::move(inputOpen)) {}

void PollCycle::PollTick() {
    // RMC before GGA: the local time computed when GGA writes the time sees this tick's date.
    m_module1.DecodeGSA();
    m_module1.DecodeRMC();
    m_module1.DecodeGGA();
    qint16 &count = m_module1.tickCount;
    if (count == kListTick) {
        m_model.setSentenceTypes(QString());
        m_module1.ListSentenceTypes();
    }
    if (m_inputOpen()) {
        ++count;
        if (count == kCycle) {
            m_log.clear();
            count = 0;
        }
    }
    trace({QStringLiteral("tick"), count});
}
