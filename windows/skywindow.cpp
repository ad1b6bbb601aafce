#include "windows/skywindow.h"

#include "session/session.h"
#include "ui_skywindow.h"
#include "windows/skyviews.h"

#include <QFontDatabase>
#include <QLabel>
#include <QLocale>

#include <utility>

namespace {

const QLocale kGerman(QLocale::German, QLocale::Germany);
const QString kNone = QStringLiteral("\u2013");

QString number(const std::optional<double> &value, int decimals) {
    return value ? kGerman.toString(*value, 'f', decimals) : kNone;
}

QString degrees(const std::optional<double> &value, QChar positive, QChar negative) {
    if (!value)
        return kNone;
    return kGerman.toString(std::abs(*value), 'f', 6) + QStringLiteral("\u00b0 ") +
           (*value < 0 ? negative : positive);
}

QString positionText(const SkyFix &fix) {
    if (fix.talker.isEmpty())
        return QStringLiteral("Noch keine Position empfangen");
    QString text;
    if (fix.quality == kSkyNoFix || !fix.latitude || !fix.longitude)
        text = QStringLiteral("Keine Position\n");
    text += QStringLiteral("Breite %1\nL\u00e4nge %2\nH\u00f6he %3 m\nUTC %4")
                .arg(degrees(fix.latitude, u'N', u'S'), degrees(fix.longitude, u'O', u'W'),
                     number(fix.altitude, 1), fix.utcTime.isEmpty() ? kNone : fix.utcTime);
    return text;
}

// Satellites, not signals: one in view on two signals counts once. Plain text in columns: it
// changes with every satellite that rises or sets, and rich text costs many times as much to lay
// out.
QString countsText(const QList<SystemSatellites> &sky) {
    const auto row = [](const QString &name, const QString &inView, const QString &used) {
        return name.leftJustified(11) + inView.rightJustified(9) + used.rightJustified(9) + u'\n';
    };
    QString text =
        row(QStringLiteral("Satelliten"), QStringLiteral("im Blick"), QStringLiteral("genutzt"));
    int allInView = 0;
    int allUsed = 0;
    for (const SystemSatellites &system : sky) {
        int inView = 0;
        int used = 0;
        for (const SkySatellite &satellite : system.satellites) {
            inView += satellite.snr.isEmpty() ? 0 : 1;
            used += satellite.used ? 1 : 0;
        }
        allInView += inView;
        allUsed += used;
        text += row(systemName(system.system), QString::number(inView), QString::number(used));
    }
    return text +
           row(QStringLiteral("Gesamt"), QString::number(allInView), QString::number(allUsed));
}

// A label laid out again only when its text changes: most refreshes change strengths only.
void setIfChanged(QLabel *label, const QString &text) {
    if (label->text() != text)
        label->setText(text);
}

} // namespace

SkyWindow::SkyWindow(const Session &session, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_session(session)
    , m_ui(std::make_unique<Ui::SkyWindow>()) {
    m_ui->setupUi(this);
    m_ui->countsLabel->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_refresh.setSingleShot(true);
    m_refresh.setInterval(kRefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, [this] {
        if (std::exchange(m_changed, false)) {
            refresh();
            m_refresh.start();
        }
    });
    m_ages.setInterval(1000);
    connect(&m_ages, &QTimer::timeout, this, &SkyWindow::showAges);
    connect(&session, &Session::skyChanged, this, &SkyWindow::skyChanged);
    refresh();
}

SkyWindow::~SkyWindow() = default;

// The first change of a quiet spell shows at once; what follows within the refresh time is shown
// together at its end, so that a stream of changes costs one refresh per refresh time.
void SkyWindow::skyChanged() {
    if (!isVisible())
        return;
    if (m_refresh.isActive()) {
        m_changed = true;
        return;
    }
    refresh();
    m_refresh.start();
}

void SkyWindow::showEvent(QShowEvent *event) {
    refresh();
    m_ages.start();
    QWidget::showEvent(event);
}

void SkyWindow::hideEvent(QHideEvent *event) {
    m_ages.stop();
    m_refresh.stop();
    m_changed = false;
    QWidget::hideEvent(event);
}

void SkyWindow::refresh() {
    const SkyDecoder &sky = m_session.sky();
    QList<SystemSatellites> shown;
    for (const GnssSystem system : kGnssSystems) {
        QList<SkySatellite> satellites = sky.satellites(system);
        if (!satellites.isEmpty())
            shown.append({system, std::move(satellites)});
    }
    m_ui->skyPlot->setSatellites(shown);
    m_ui->signalBars->setSatellites(shown);
    setIfChanged(m_ui->countsLabel, countsText(shown));

    const SkyFix &fix = sky.fix();
    setIfChanged(m_ui->fixLabel,
                 fix.talker.isEmpty()
                     ? QStringLiteral("Fix: %1").arg(kNone)
                     : QStringLiteral("Fix: %1 ($%2)").arg(fix.quality, fix.talker));
    setIfChanged(m_ui->positionLabel, positionText(fix));
    setIfChanged(m_ui->dopLabel,
                 QStringLiteral("PDOP %1   HDOP %2   VDOP %3")
                     .arg(number(fix.pdop, 1), number(fix.hdop, 1), number(fix.vdop, 1)));
    showAges();
}

void SkyWindow::showAges() {
    const SkyDecoder &sky = m_session.sky();
    const qint64 now = m_session.skyClockMs();
    QStringList ages;
    for (const QString &kind : {QStringLiteral("GGA"), QStringLiteral("RMC"), QStringLiteral("GNS"),
                                QStringLiteral("GSA"), QStringLiteral("GSV")}) {
        const std::optional<qint64> seen = sky.lastSeen(kind);
        ages << (seen ? QStringLiteral("%1 vor %2 s").arg(kind).arg((now - *seen) / 1000)
                      : QStringLiteral("%1 %2").arg(kind, kNone));
    }
    setIfChanged(m_ui->agesLabel, QStringLiteral("Zuletzt empfangen:\n") + ages.join(u'\n'));
}
