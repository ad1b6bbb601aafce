#include "windows/noticepageloader.h"

#include <QLabel>
#include <QVBoxLayout>

NoticePageLoader::NoticePageLoader(QWidget *browserArea, const QString &noticeHtml)
    : m_notice(new QLabel(noticeHtml, browserArea)) {
    m_notice->setObjectName(QStringLiteral("notice"));
    m_notice->setTextFormat(Qt::RichText);
    m_notice->setWordWrap(true);
    m_notice->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // The command line in it can be copied.
    m_notice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *layout = new QVBoxLayout(browserArea);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->addWidget(m_notice);
}
