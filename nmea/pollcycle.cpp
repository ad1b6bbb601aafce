// The poll cycle that drives the decoders, the interval choice and the clipboard copy.
#include "app/form1.h"
#include "app/trace.h"
#include "ui_form1.h"

#include <QButtonGroup>
#include <QClipboard>
#include <QGuiApplication>

#include <array>

namespace {

// Interval of each option button, by index.
constexpr std::array<qint32, 5> kIntervals{200, 500, 800, 1000, 5000};

// The tick that starts with the counter here rebuilds the type list; reaching kCycle empties the
// buffer and starts the cycle again.
constexpr qint16 kListTick = 10;
constexpr qint16 kCycle = 20;

} // namespace

void Form1::connectPollCycle() {
    const std::array options{m_ui->Option1_0, m_ui->Option1_1, m_ui->Option1_2, m_ui->Option1_3,
                             m_ui->Option1_4};
    for (int index = 0; index < int(options.size()); ++index)
        m_ui->Option1->setId(options[index], index);
    connect(m_ui->Option1, &QButtonGroup::idClicked, this,
            [this](int index) { ChooseInterval(qint16(index)); });
    connect(&m_timer1, &QTimer::timeout, this, &Form1::PollTick);
    connect(m_ui->Command4, &QPushButton::clicked, this, &Form1::CopyBuffer);
}

void Form1::PollTick() {
    // RMC before GGA: the local time computed when GGA writes the time sees this tick's date.
    m_module1.DecodeGSA();
    m_module1.DecodeRMC();
    m_module1.DecodeGGA();
    qint16 &count = m_module1.tickCount;
    if (count == kListTick) {
        setSentenceTypes(QString());
        m_module1.ListSentenceTypes();
    }
    // Only ticks with the port open count, so a closed port never has the buffer emptied.
    if (m_commX1.IsOpen()) {
        ++count;
        if (count == kCycle) {
            m_receiveLog.clear();
            count = 0;
        }
    }
    trace({QStringLiteral("tick"), count});
}

void Form1::ChooseInterval(qint16 /*index*/) {
    for (int index = 0; index < int(kIntervals.size()); ++index) {
        if (m_ui->Option1->button(index)->isChecked())
            m_module1.pollInterval = kIntervals[index];
    }
    m_timer1.setInterval(m_module1.pollInterval);
}

void Form1::CopyBuffer() {
    const QString text = m_receiveLog.text().toString();
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
    trace({QStringLiteral("clipboard"), text});
}
