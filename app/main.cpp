#include "app/form1.h"
#include "map/webpageloader.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[]) {
    // The web engine behind the map window shares its graphics context with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    Form1 form;
    form.show();
    // Starting the web engine takes tens of milliseconds; done now, while no port is active
    // yet, the first position change does not have to wait for it.
    QTimer::singleShot(0, &form, &warmUpWebEngine);
    return app.exec();
}
