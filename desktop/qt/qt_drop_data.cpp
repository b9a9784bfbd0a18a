// QtDropData: local file paths taken byte for byte from the dropped addresses.
#include "qt_drop_data.h"

#include <QSysInfo>

namespace {

bool IsThisMachine(const QString& host) {
    return host.isEmpty() || host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0 ||
           host.compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) == 0;
}

}  // namespace

QtDropData::QtDropData(const QList<QUrl>& urls) {
    for (const QUrl& url : urls) {
        if (!url.isLocalFile()) {
            continue;
        }
        // Linux file names are bytes, not text: QUrl::toLocalFile decodes them as UTF-8 and turns
        // a name written in another encoding (café.png in Latin-1) into one that does not exist.
        // Undoing the percent-encoding by hand gives back the very bytes the file system holds.
        std::string path =
            QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
        if (path.empty()) {
            continue;
        }
        // file://localhost/... names a local file too; another host's path is kept as
        // toLocalFile gives it, so that reading it fails with the usual box.
        if (!IsThisMachine(url.host())) {
            path = "//" + url.host().toStdString() + path;
        }
        paths_.push_back(std::move(path));
    }
}
