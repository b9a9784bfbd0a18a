// QtDropData: local file paths taken byte for byte from the dropped addresses, and a pasted
// picture's bytes.
#include "qt_drop_data.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QSysInfo>
#include <algorithm>
#include <chrono>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "clipboard_reader.h"
#include "picture_rules.h"
#include "qt_desktop_services.h"

// LeakSanitizer's switches, present only in the sanitizer build, under the sanitizer's names.
// NOLINTNEXTLINE(bugprone-reserved-identifier,readability-identifier-naming)
extern "C" void __lsan_disable() __attribute__((weak));
// NOLINTNEXTLINE(bugprone-reserved-identifier,readability-identifier-naming)
extern "C" void __lsan_enable() __attribute__((weak));

namespace {

// How long the owner of the clipboard may take to send a picture: Qt 6.4's own clipboard waits
// as long for an answer.
constexpr std::chrono::milliseconds kOwnerBound{5000};

// The names a bitmap is offered under, each read as a BMP file and never as whatever its bytes
// look like: image/bmp, the older names some programs still give it, and Qt's own image format,
// which Qt's Wayland bridge serves as a BMP.
constexpr const char* kBitmapFormats[] = {"image/bmp", "image/x-bmp", "image/x-MS-bmp",
                                          "image/x-win-bitmap", "application/x-qt-image"};

// The one format of the clipboard that a paste reads, as its source names it.
struct Offer {
    QString format;
    // cppcheck-suppress unusedStructMember ; read through the optional in CopiedPicture
    std::string subtype;  // of the picture it gives; "png" for a bitmap
    bool bitmap = false;
};

// The first of the picture formats that the source offers, else a bitmap; the source's own
// name for it, matched regardless of case as MIME types are.
std::optional<Offer> ChooseOffer(const QStringList& formats) {
    std::vector<Offer> offered;
    const auto add = [&](std::string_view name, std::string_view subtype, bool bitmap) {
        const QLatin1String wanted(name.data(), static_cast<qsizetype>(name.size()));
        const auto format = std::ranges::find_if(formats, [&](const QString& format) {
            return format.compare(wanted, Qt::CaseInsensitive) == 0;
        });
        if (format != formats.end()) {
            offered.push_back({*format, std::string(subtype), bitmap});
        }
    };
    for (const PictureFormat& picture : kPictureFormats) {
        add(picture.mime_type, picture.subtype, false);
    }
    for (const char* name : kBitmapFormats) {
        add(name, "png", true);
    }
    return offered.empty() ? std::nullopt : std::optional<Offer>(offered.front());
}

// A buffer that takes up to kLongestKeptPicture bytes and fails any write beyond them, which
// stops Qt's PNG writer at once instead of after the whole bitmap.
class CappedBuffer final : public QBuffer {
public:
    using QBuffer::QBuffer;
    bool Overflowed() const { return overflowed_; }

protected:
    qint64 writeData(const char* data, qint64 length) override {
        const qint64 room = static_cast<qint64>(kLongestKeptPicture) - pos();
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

// Keeps LeakSanitizer from counting what is allocated meanwhile; nothing outside the sanitizer
// build, where its interface is missing.
class LeakCheckPause {
public:
    LeakCheckPause() {
        if (__lsan_disable != nullptr) {
            __lsan_disable();
        }
    }
    ~LeakCheckPause() {
        if (__lsan_enable != nullptr) {
            __lsan_enable();
        }
    }
    LeakCheckPause(const LeakCheckPause&) = delete;
    LeakCheckPause& operator=(const LeakCheckPause&) = delete;
};

// The picture of the bytes, cut at kLongestKeptPicture.
Picture KeptPicture(const QByteArray& bytes, const std::string& subtype) {
    const qsizetype kept = std::min<qsizetype>(bytes.size(), kLongestKeptPicture);
    return {ByteText(bytes.begin(), bytes.begin() + kept), subtype};
}

// The raster as a QImage over its own pixels, which must outlive it; a 4-bit one, which Qt has
// no format for, is spread into `spread` as 8-bit.
QImage ImageOf(const Raster& raster, std::vector<std::uint8_t>& spread) {
    const auto width = static_cast<int>(raster.width);
    const auto height = static_cast<int>(raster.height);
    if (raster.layout == Raster::Layout::Bgr) {
        return {raster.pixels.data(), width, height, raster.stride, QImage::Format_BGR888};
    }
    if (raster.layout == Raster::Layout::Bgra) {
        return {raster.pixels.data(), width, height, raster.stride, QImage::Format_ARGB32};
    }
    const std::uint8_t* pixels = raster.pixels.data();
    qsizetype stride = raster.stride;
    if (raster.bits_per_pixel == 4) {
        spread.resize(std::size_t{raster.width} * raster.height);
        for (std::size_t i = 0; i < spread.size(); ++i) {
            const std::size_t y = i / raster.width;
            const std::size_t x = i % raster.width;
            const std::uint8_t packed = pixels[y * raster.stride + x / 2];
            spread[i] = x % 2 == 0 ? packed >> 4 : packed & 0x0F;
        }
        pixels = spread.data();
        stride = width;
    }
    QImage image(pixels, width, height, stride,
                 raster.bits_per_pixel == 1 ? QImage::Format_Mono : QImage::Format_Indexed8);
    image.setColorTable(QList<QRgb>(raster.palette.begin(), raster.palette.end()));
    return image;
}

// The picture that a BMP file's bytes give; none when they are no bitmap read here, and too
// large when its PNG could never fit. The bytes are let go once read.
template <typename Bytes>
Picture BitmapPicture(Bytes bytes) {
    const std::span<const std::uint8_t> file(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                             static_cast<std::size_t>(bytes.size()));
    try {
        const BitmapShape shape = ReadBmpFileShape(file);
        if (PngCannotFit(shape.width, shape.height, shape.png_bits)) {
            return {{}, "png", true};
        }
        const Raster raster = ReadBmpFile(file);
        Bytes().swap(bytes);
        return {EncodePng(raster), "png"};
    } catch (const Failure&) {
        return {};
    }
}

// Whether the data is another program's X11 clipboard, which ReadClipboardFormat reads: Qt 6.4's
// QXcbClipboard fetches a format whole (an INCR transfer too, with no cap) before anything can
// look at its length, and holds the window meanwhile.
bool IsAnotherProgramsX11Clipboard(const QMimeData& mime_data) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    return QGuiApplication::platformName() == QLatin1String("xcb") && !clipboard->ownsClipboard() &&
           clipboard->mimeData(QClipboard::Clipboard) == &mime_data;
}

// The clipboard's picture: the bytes of the first accepted format it offers, else its bitmap
// encoded as PNG; none when it holds no image. Only the one format chosen is asked for (each is
// a round trip to the source), and empty data is no picture. A bitmap is read by the one BMP
// reader and never by Qt's: QImage::fromData guesses a decoder from the content (any format an
// installed plugin reads), and QImageReader refuses a picture over 128 MB decoded, which ended
// such a paste in nothing at all.
Picture CopiedPicture(const QMimeData& mime_data, const QStringList& formats) {
    const std::optional<Offer> offer = ChooseOffer(formats);
    if (!offer) {
        return {};
    }
    if (!IsAnotherProgramsX11Clipboard(mime_data)) {
        QByteArray bytes = mime_data.data(offer->format);
        return offer->bitmap ? BitmapPicture(std::move(bytes)) : KeptPicture(bytes, offer->subtype);
    }
    try {
        ClipboardFormatBytes read = ReadClipboardFormat(
            X11DisplayName(), offer->format.toStdString(),
            offer->bitmap ? ClipboardFormatKind::BmpFile : ClipboardFormatKind::Encoded,
            kOwnerBound);
        if (read.too_large) {
            return {{}, offer->subtype, true};
        }
        return offer->bitmap ? BitmapPicture(std::move(read.bytes))
                             : Picture{std::move(read.bytes), offer->subtype};
    } catch (const Failure&) {
        return {};
    }
}

bool IsThisMachine(const QString& host) {
    return host.isEmpty() || host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0 ||
           host.compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) == 0;
}

}  // namespace

ByteText EncodePng(const Raster& raster) {
    std::vector<std::uint8_t> spread;
    const QImage image = ImageOf(raster, spread);
    QByteArray png;
    CappedBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    // Quality 0 is zlib's strongest compression in Qt's PNG writer: pictures come out up to a
    // quarter smaller than at the default, which matters under the size limit.
    writer.setQuality(0);
    // When the cap stops it, Qt 6.4's QPNGImageWriter::writeImage leaves through libpng's
    // longjmp past the delete[] of its row pointers: 8 bytes a row stay allocated, which
    // LeakSanitizer would report in every run of the sanitizer build.
    const LeakCheckPause pause;
    if (!writer.write(image) && !buffer.Overflowed()) {
        throw Failure("the bitmap could not be encoded as PNG");
    }
    return {png.begin(), png.end()};
}

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
