// Takes the place of the web browser for http, https and every other scheme a test hands out.
#pragma once

#include <QObject>
#include <QStringList>
#include <QUrl>

namespace testing_support {

class UrlRecorder : public QObject {
    Q_OBJECT
public:
    UrlRecorder();
    ~UrlRecorder() override;

    QStringList opened;

public slots:
    void Open(const QUrl& url);
};

} // namespace testing_support
