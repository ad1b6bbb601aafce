#pragma once

#include "windows/pageloader.h"

class QLabel;

// The browser where the web engine cannot run: the browser area shows a notice saying why and
// how to get the map, and loads change nothing. No part of the web engine is created.
class NoticePageLoader : public PageLoader {
public:
    NoticePageLoader(QWidget *browserArea, const QString &noticeHtml);
    void load(const QString &) override {}

private:
    QLabel *m_notice; // owned by the browser area
};
