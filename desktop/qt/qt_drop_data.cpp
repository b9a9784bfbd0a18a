// QtDropData: local file paths taken byte for byte from the dropped addresses, and a pasted
// picture's bytes.
#include "qt_drop_data.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QSysInfo>
#include <algorithm>
#include <utility>

#include "functions.h"

namespace {

// The most of a picture that is kept. A longer one is refused whatever its length, and one byte
// past the size limit is all its refusal needs; megabytes that a source offers are not held.
constexpr qint64 kLongestKeptPicture = functions::MaxFileBytes + 1;

// The formats whose bytes are taken as they are, in order of preference: the lossless PNG that
// screenshot tools, image viewers and browsers offer first, then GIF, which keeps a GIF's own
// palette and frames, then JPEG, which a source that also offers another format usually made
// from its bitmap with loss.
constexpr std::pair<const char*, const char*> kPictureFormats[] = {
    {"image/png", "png"}, {"image/gif", "gif"}, {"image/jpeg", "jpeg"}};

// A buffer that takes up to kLongestKeptPicture bytes and fails any write beyond them, which
// stops Qt's PNG writer at once instead of after the whole bitmap.
class CappedBuffer final : public QBuffer {
public:
    using QBuffer::QBuffer;
    bool Overflowed() const { return overflowed_; }

protected:
    qint64 writeData(const char* data, qint64 length) override {
        const qint64 room = kLongestKeptPicture - pos();
        if (length > room) {
            overflowed_ = true;
            QBuffer::writeData(data, room);
            return -1;
        }
        return QBuffer::writeData(data, length);
    }

private:
    bool overflowed_ = false;
};

// The picture of the bytes, cut at kLongestKeptPicture.
Picture KeptPicture(const QByteArray& bytes, const char* subtype) {
    const qsizetype kept = std::min<qsizetype>(bytes.size(), kLongestKeptPicture);
    return {ByteText(bytes.begin(), bytes.begin() + kept), subtype};
}

// Whether every pixel of the image is fully opaque.
bool IsOpaque(const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        if (!std::all_of(line, line + argb.width(),
                         [](QRgb pixel) { return qAlpha(pixel) == 255; })) {
            return false;
        }
    }
    return true;
}

// The clipboard's bitmap as a PNG file's bytes, or none: the first of its formats that holds an
// image Qt reads (a BMP, or Qt's own format, which Qt programs offer as a BMP on Wayland).
Picture EncodedBitmap(const QMimeData& mime_data, const QStringList& formats) {
    const QList<QByteArray> readable = QImageReader::supportedMimeTypes();
    const auto format = std::ranges::find_if(formats, [&](const QString& name) {
        return name == QLatin1String("application/x-qt-image") ||
               readable.contains(name.toLatin1());
    });
    if (format == formats.end()) {
        return {};
    }
    // Asked for alone: QMimeData::imageData asks for every image format in turn.
    QImage image = QImage::fromData(mime_data.data(*format));
    if (image.isNull()) {
        return {};
    }
    // Without an alpha channel that is opaque anyway (a 32-bit BMP's often is), the PNG is about
    // a tenth smaller.
    if (image.hasAlphaChannel() && IsOpaque(image)) {
        image = image.convertToFormat(QImage::Format_RGB32);
    }
    QByteArray png;
    CappedBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    // Quality 0 is zlib's strongest compression in Qt's PNG writer: pictures come out up to a
    // quarter smaller than at the default, which matters under the size limit.
    writer.setQuality(0);
    if (!writer.write(image) && !buffer.Overflowed()) {
        return {};
    }
    return KeptPicture(png, "png");
}

// The clipboard's picture: the bytes of the first accepted format it offers, else its bitmap
// encoded as PNG; none when it holds no image. Each format asked for is a round trip to the
// source, so only one is, and empty data is no picture.
Picture CopiedPicture(const QMimeData& mime_data, const QStringList& formats) {
    for (const auto& [format, subtype] : kPictureFormats) {
        if (formats.contains(QLatin1String(format))) {
            return KeptPicture(mime_data.data(QLatin1String(format)), subtype);
        }
    }
    return EncodedBitmap(mime_data, formats);
}

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
    // Qt 6.4's X11 clipboard asks the source for its formats again on every question while it has
    // none, and each question a source leaves unanswered waits out Qt's 5 s timeout: a source
    // that does not answer would hold the window for most of a minute.
    const QStringList formats = mime_data.formats();
    if (formats.isEmpty()) {
        return QtDropData(QList<QUrl>{});
    }
    QtDropData data(CopiedFileUrls(mime_data));
    // A copied file is what was meant even when a picture comes along (a file manager offers the
    // file's icon); a browser's web address is no file and leaves the picture to be taken.
    if (data.paths_.empty()) {
        data.picture_ = CopiedPicture(mime_data, formats);
    }
    return data;
}
