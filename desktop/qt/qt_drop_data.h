// QtDropData: what a Qt drop carried, as the logic's opaque DropData.
#pragma once

#include <QList>
#include <QMimeData>
#include <QUrl>
#include <string>
#include <vector>

#include "desktop_services.h"
#include "dib.h"

// The local files a drop or paste carried, and a pasted picture, copied out: the drop's own data
// is gone once the drop is over, and the handler runs after that.
class QtDropData final : public DropData {
public:
    explicit QtDropData(const QMimeData& mime_data)
        : QtDropData(mime_data.hasUrls() ? mime_data.urls() : QList<QUrl>{}) {}
    explicit QtDropData(const QList<QUrl>& urls);

    // The paths of the files among the addresses, in order, as the file system's bytes; a file on
    // another machine as //host/path, which the file reader refuses.
    const std::vector<std::string>& LocalPaths() const { return paths_; }
    // The picture a paste brought along; none for a drop or a chosen file. One over the size limit
    // is kept only to a byte past it.
    const Picture& PastedPicture() const { return picture_; }

    // What the clipboard holds for a paste: its copied files and, when it holds no local file, its
    // picture: the bytes of the first of PNG, GIF and JPEG that it offers, or else its bitmap
    // encoded as PNG.
    static QtDropData FromClipboard(const QMimeData& mime_data);

private:
    std::vector<std::string> paths_;
    Picture picture_;
};

// The raster as a PNG file's bytes, encoded losslessly by Qt's PNG writer at its strongest
// compression. A PNG longer than the size limit is cut off as it is written, at
// kLongestKeptPicture bytes, so a bitmap that does not fit costs only the encoding of its start.
// Raises Failure when Qt cannot encode it.
ByteText EncodePng(const Raster& raster);

// The addresses of the files a file manager put on the clipboard with Copy or Cut: a
// text/uri-list, or GNOME's and MATE's own list ("copy" or "cut", then one address a line),
// which is all that some of them offer. Empty when the clipboard holds no file list.
QList<QUrl> CopiedFileUrls(const QMimeData& mime_data);
