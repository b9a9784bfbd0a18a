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
        // file://localhost/... names a local file too. Another host's file keeps its host, as
        // toLocalFile writes it (//host/path): the file reader refuses such a path, so the drop
        // ends in the usual box, where Linux would have read it as the local /path.
        if (!IsThisMachine(url.host())) {
            path.insert(0, "//" + url.host().toStdString());
        }
        paths_.push_back(std::move(path));
    }
}

QList<QUrl> CopiedFileUrls(const QMimeData& mime_data) {
    if (mime_data.hasUrls()) {
        return mime_data.urls();
    }
    for (const char* format : {"x-special/gnome-copied-files", "x-special/mate-copied-files"}) {
        const QList<QByteArray> lines = mime_data.data(QString::fromLatin1(format)).split('\n');
        // Whether the files were cut does not matter: they are only ever read.
        if (lines.size() < 2 ||
            (lines.front().trimmed() != "copy" && lines.front().trimmed() != "cut")) {
            continue;
        }
        QList<QUrl> urls;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            // Parsed from the encoded bytes, so that the percent-encoding of a name that is not
            // UTF-8 survives until QtDropData decodes it.
            const QByteArray line = lines[i].trimmed();
            if (!line.isEmpty()) {
                urls.append(QUrl::fromEncoded(line));
            }
        }
        return urls;
    }
    return {};
}

QtDropData QtDropData::FromClipboard(const QMimeData& mime_data) {
    return QtDropData(CopiedFileUrls(mime_data));
}
