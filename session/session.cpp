#include "session/session.h"

#include "logic/localtime.h"
#include "logic/portname.h"
#include "logic/trace.h"

#include <QFileInfo>
#include <QMetaMethod>

namespace {

PortFailure notANumberIn(PortSetting setting, const QString &text) {
    return {.cause = PortFailure::Cause::NotANumber, .setting = setting, .value = text};
}

// Names that lead to one device (a link and its target) count as that device.
bool sameDevice(const QString &a, const QString &b) {
    const QString target = QFileInfo(a).canonicalFilePath();
    return target.isEmpty() ? a == b : target == QFileInfo(b).canonicalFilePath();
}

PortWait waitOf(const PortControl &port, const QString &reason = QString(),
                std::optional<qint64> nextTryInMs = std::nullopt) {
    return {.device = port.device(),
            .reason = reason,
            .nextTryInMs = nextTryInMs,
            .source = port.isActive() ? port.source() : QString()};
}

} // namespace

Session::Session(QObject *parent)
    : QObject(parent)
    , m_module1(m_model, m_log, [this] { return m_checksumTest; })
    , m_pollCycle(m_module1, m_model, m_log, [this] { return m_input.port.isOpen(); }) {
    m_pollTimer.setObjectName(QStringLiteral("Timer1"));
    m_pollTimer.setInterval(kPollIntervals[kDefaultIntervalOption]);
    connect(&m_pollTimer, &QTimer::timeout, this, [this] { m_pollCycle.PollTick(); });
    connectLocalTime(
        m_model, m_module1, [this] { return m_zone; }, [this] { return m_summerTime; }, this);

    // Each chunk reaches the output port on the I/O thread before it comes here, so forwarding
    // never waits for a poll tick or a window.
    m_input.port.forwardTo(m_output.port);
    m_output.port.setOutput(true);
    connect(&m_input.port, &PortControl::dataReceived, &m_log, &ReceiveLog::append);
    // Beside the log, never through it: the sky reads every talker and ignores the poll cycle.
    connect(&m_input.port, &PortControl::dataReceived, this, &Session::readSky);
    m_skyClock.start();
    m_skyAgeing.setSingleShot(true);
    connect(&m_skyAgeing, &QTimer::timeout, this, [this] {
        m_sky.expire(m_skyClock.elapsed());
        skyRead();
    });
    // Text this thread fell too far behind for is missing; the log takes nothing more until it
    // is emptied, so that it never shows a gap as if it were received text.
    connect(&m_input.port, &PortControl::skipped, &m_log, &ReceiveLog::markFull);
    connect(&m_log, &ReceiveLog::filled, this, [this] {
        if (!std::exchange(m_input.told, true))
            emit receiveLogFull();
    });
    followPort(m_input);
    followPort(m_output);
    // A lost device that is back, or a network input's peer, has reopened the port as the user
    // left it set up: the session goes on as after "Port aktivieren".
    connect(&m_input.port, &PortControl::returned, this, [this] {
        if (!m_pollTimer.isActive())
            m_pollTimer.start();
    });
    // The device may be read by another program now; its slowness is news again.
    connect(&m_output.port, &PortControl::returned, this, [this] { m_output.told = false; });
    connect(&m_output.port, &PortControl::dropped, this, [this] {
        // Bytes held for an output that is still reaching its peer are another matter; its
        // indicator says so.
        if (m_output.port.isOpen() && !std::exchange(m_output.told, true))
            emit outputTooSlow();
    });
    connect(&m_output.port, &PortControl::clientsChanged, this, &Session::outputClientsChanged);
}

Session::~Session() = default;

// The indicator follows what the port does by itself: a device that went away, a network peer
// that is gone, reached or back.
void Session::followPort(Side &side) {
    const PortControl &port = side.port;
    connect(&port, &PortControl::lost, this, [this, &side] { showState(side, waitOf(side.port)); });
    connect(&port, &PortControl::tryFailed, this,
            [this, &side](const QString &reason, qint64 nextTryInMs) {
                showState(side, waitOf(side.port, reason,
                                       nextTryInMs < 0 ? std::nullopt
                                                       : std::optional<qint64>(nextTryInMs)));
            });
    connect(&port, &PortControl::opened, this,
            [this, &side] { showState(side, waitOf(side.port)); });
    connect(&port, &PortControl::returned, this,
            [this, &side] { showState(side, waitOf(side.port)); });
}

// The indicator's state is the port's own lifecycle, but for a port never touched yet.
void Session::showState(Side &side, const PortWait &wait) {
    PortState state = PortState::Closed;
    switch (side.port.lifecycle()) {
    case PortControl::Lifecycle::Open:
        state = PortState::Open;
        break;
    case PortControl::Lifecycle::Connecting:
    case PortControl::Lifecycle::Returning:
        state = PortState::Waiting;
        break;
    case PortControl::Lifecycle::Closed:
        break;
    }
    side.touched = true;
    emit portStateChanged(side.which, state, wait);
}

void Session::readSky(const QString &chunk) {
    m_sky.feed(chunk, m_skyClock.elapsed());
    skyRead();
}

// Traces what changed, tells the windows, and wakes for the next ageing.
void Session::skyRead() {
    if (const std::optional<qint64> next = m_sky.nextExpiry()) {
        const qint64 left = std::max<qint64>(*next - m_skyClock.elapsed(), 0);
        // Sooner than the timer's, or none running: a later expiry finds the earlier one done.
        if (!m_skyAgeing.isActive() || left < m_skyAgeing.remainingTime())
            m_skyAgeing.start(int(left));
    } else {
        m_skyAgeing.stop();
    }
    // Telling what changed means comparing every touched system's satellites; with neither a
    // trace nor a window to tell, it waits until one asks, and the changes add up meanwhile.
    if (!lcTrace().isDebugEnabled() &&
        !isSignalConnected(QMetaMethod::fromSignal(&Session::skyChanged)))
        return;
    const QList<GnssSystem> changed = m_sky.takeChangedSystems();
    const bool fixChanged = m_sky.takeFixChanged();
    if (lcTrace().isDebugEnabled()) {
        for (const GnssSystem system : changed)
            trace(skyTraceEvent(system, m_sky.satellites(system)));
        if (fixChanged)
            trace(fixTraceEvent(m_sky.fix()));
    }
    if (!changed.isEmpty() || fixChanged)
        emit skyChanged();
}

void Session::chooseInterval(int option) {
    if (option < 0 || option >= int(kPollIntervals.size()))
        return;
    m_pollTimer.setInterval(kPollIntervals[option]);
}

// Writes the port's settings in the order the control expects and opens it; ends at the first
// list text that is no number.
PortFailure Session::setUpAndOpen(Side &side, const Side &other, const PortSettings &settings) {
    PortControl &port = side.port;
    port.setPortName(portNameOf(settings.port));
    const std::optional<qint32> baudRate = portSettingNumber(settings.baudRate);
    if (!baudRate)
        return notANumberIn(PortSetting::BaudRate, settings.baudRate);
    port.setBaudRate(*baudRate);
    const std::optional<qint32> dataBits = portSettingNumber(settings.dataBits);
    if (!dataBits)
        return notANumberIn(PortSetting::DataBits, settings.dataBits);
    port.setDataBits(*dataBits);
    port.setParity(0);
    const std::optional<qint32> stopBits = portSettingNumber(settings.stopBits);
    if (!stopBits)
        return notANumberIn(PortSetting::StopBits, settings.stopBits);
    port.setStopBits(*stopBits);
    // Both ports on one device would take each other's bytes. The device lock would turn the
    // second one away too, but only as "busy", which hides what to change.
    if (other.port.isOpen() && sameDevice(port.namedDevice(), other.port.device()))
        return {.cause = side.heldByOther, .device = port.namedDevice()};
    port.open();
    return port.lastFailure();
}

PortFailure Session::activate(Side &side, const Side &other, const PortSettings &settings) {
    const PortFailure failure = setUpAndOpen(side, other, settings);
    if (failure.cause == PortFailure::Cause::None) {
        side.told = false;
        showState(side, waitOf(side.port));
    } else if (!side.port.isActive() && side.touched) {
        // Green, or waiting, only while the port still is; a port that never was keeps its
        // indicator as it was.
        showState(side);
    }
    return failure;
}

void Session::deactivate(Side &side) {
    side.port.close();
    showState(side);
}

PortFailure Session::activateInput(const PortSettings &settings) {
    // Enabling a running timer leaves its rhythm alone.
    if (!m_pollTimer.isActive())
        m_pollTimer.start();
    return activate(m_input, m_output, settings);
}

void Session::deactivateInput() {
    // The sky goes first, so that the display's own sequence of events ends as it always has.
    m_sky.clear();
    skyRead();
    m_pollTimer.stop();
    m_module1.ResetDisplay();
    deactivate(m_input);
    m_log.clear();
    m_model.setSentenceTypes(QString());
}

PortFailure Session::activateOutput(const PortSettings &settings) {
    return activate(m_output, m_input, settings);
}

void Session::deactivateOutput() {
    deactivate(m_output);
    emit outputClientsChanged(-1);
}
