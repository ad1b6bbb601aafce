// The map window with the real web view, offscreen. The remote map service is the one part that
// cannot run here: a request interceptor records what the view asks for and blocks it.
#include "ui_form3.h"
#include "windows/form1.h"
#include "windows/form3.h"

#include <QTest>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

using namespace Qt::StringLiterals;

namespace {

class RecordingInterceptor : public QWebEngineUrlRequestInterceptor {
public:
    QList<QUrl> requests;
    void interceptRequest(QWebEngineUrlRequestInfo &info) override {
        requests << info.requestUrl();
        info.block(true);
    }
};

} // namespace

class tst_WebMap : public QObject {
    Q_OBJECT
public:
    // The web engine shares its graphics context with the widgets; this must precede the
    // application object.
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private slots:
    void initTestCase();
    void cleanupTestCase();
    void positionLoadsIntoTheRealView();

private:
    RecordingInterceptor m_interceptor;
};

void tst_WebMap::initTestCase() {
    QWebEngineProfile::defaultProfile()->setUrlRequestInterceptor(&m_interceptor);
}

void tst_WebMap::cleanupTestCase() {
    QWebEngineProfile::defaultProfile()->setUrlRequestInterceptor(nullptr);
}

void tst_WebMap::positionLoadsIntoTheRealView() {
    Desktop desktop; // the real page loader; nothing else is used here
    desktop.openUrl = [](const QString &) {
        QTest::qFail("no URL handler in this test", __FILE__, __LINE__);
        return false;
    };
    desktop.startProgram = [](const QString &) { return false; };
    Form1 form(desktop);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    int beats = 0;
    QTimer heartbeat;
    connect(&heartbeat, &QTimer::timeout, [&] { ++beats; });
    heartbeat.start(10);

    form.receiveLog().append(
        u"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n"_s);
    form.module1().DecodeGGA();

    QVERIFY(form.hasMapWindow());
    Form3 *map = form.mapWindow();
    QVERIFY(!map->isVisible());
    auto *view = map->findChild<QWebEngineView *>();
    QVERIFY(view);
    QCOMPARE(view->parentWidget(), map->ui().WebBrowser1);

    // The URL class percent-encodes the degree sign; the engine then also encodes the apostrophe.
    const QString address = u"http://maps.google.com/maps?q=48\u00B007.038'N,011\u00B031.000'E"
                            "&output=embed&z=12"_s;
    QCOMPARE(QUrl(address, QUrl::TolerantMode).toEncoded(),
             "http://maps.google.com/maps?q=48%C2%B007.038'N,011%C2%B031.000'E&output=embed&z=12");
    QTRY_VERIFY_WITH_TIMEOUT(!m_interceptor.requests.isEmpty(), 20000);
    QCOMPARE(QUrl::fromPercentEncoding(m_interceptor.requests.last().toEncoded()), address);
    // Still serving timers while the engine works.
    const int beatsBefore = beats;
    QTRY_VERIFY(beats >= beatsBefore + 5);
}

QTEST_MAIN(tst_WebMap)
#include "tst_webmap.moc"
