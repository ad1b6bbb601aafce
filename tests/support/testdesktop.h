#pragma once

// A desktop for tests: records what the program hands to the URL handler, which programs it
// starts and which addresses the map window loads; nothing leaves the test.
#include "windows/desktop.h"

#include <QStringList>

class TestDesktop {
public:
    QStringList opened;  // texts handed to the URL handler
    QStringList started; // programs started
    QStringList loads;   // addresses loaded into any map window, in order
    bool openSucceeds = true;
    bool startSucceeds = true;

    Desktop services() {
        Desktop desktop;
        desktop.openUrl = [this](const QString &text) {
            opened << text;
            return openSucceeds;
        };
        desktop.startProgram = [this](const QString &program) {
            started << program;
            return startSucceeds;
        };
        desktop.makePageLoader = [this](QWidget *) { return std::make_unique<Loader>(loads); };
        return desktop;
    }

private:
    class Loader : public PageLoader {
    public:
        explicit Loader(QStringList &log)
            : m_log(log) {}
        void load(const MapRequest &map) override { m_log << map.address; }

    private:
        QStringList &m_log;
    };
};
