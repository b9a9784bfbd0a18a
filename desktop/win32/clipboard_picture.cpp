// CopyPicture and ToPicture: the clipboard's picture formats, in order, and the bitmap's PNG.
#include "clipboard_picture.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "dib.h"
#include "failure.h"
#include "picture_rules.h"
#include "png_encoder.h"
#include "win32_handles.h"

namespace {

// The clipboard format that name registers: Windows programs register a picture format by its
// Windows name, programs ported from other systems and Wine's bridge to the X clipboard by its
// MIME type.
UINT RegisteredFormat(std::string_view name) {
    const std::wstring wide(name.begin(), name.end());
    return ::RegisterClipboardFormatW(wide.c_str());
}

// A copy of the clipboard's block in format, cut at most bytes, or nothing when it offers none
// or an empty one.
ByteText CopyBlock(UINT format, std::size_t most) {
    if (format == 0 || !::IsClipboardFormatAvailable(format)) {
        return {};
    }
    const HANDLE data = ::GetClipboardData(format);
    // GlobalSize answers 0 for a handle that is no block of this process.
    const std::size_t bytes = data != nullptr ? std::min<std::size_t>(::GlobalSize(data), most) : 0;
    if (bytes == 0) {
        return {};
    }
    const LockedGlobal locked(data);
    const auto* from = static_cast<const std::uint8_t*>(locked.Data());
    return ByteText(from, from + bytes);
}

// The bitmap format that the source put there: Windows makes CF_DIB and CF_DIBV5 from each
// other, and lists what it makes after what it was given.
UINT OriginalBitmapFormat() {
    for (UINT format = ::EnumClipboardFormats(0); format != 0;
         format = ::EnumClipboardFormats(format)) {
        if (format == CF_DIBV5 || format == CF_DIB) {
            return format;
        }
    }
    return 0;
}

// The bitmap in the block, read in place: a full-screen bitmap is tens of megabytes, and a copy
// would hold it twice while every other program waits for the clipboard.
CopiedPicture ReadBitmap(UINT format) {
    const HANDLE data = format != 0 ? ::GetClipboardData(format) : nullptr;
    const std::size_t bytes = data != nullptr ? ::GlobalSize(data) : 0;
    if (bytes == 0) {
        return {};
    }
    const LockedGlobal locked(data);
    const std::span block(static_cast<const std::uint8_t*>(locked.Data()), bytes);
    try {
        const BitmapShape shape = ReadDibShape(block);
        if (!PngCannotFit(shape.width, shape.height, shape.png_bits)) {
            return {{}, ReadDib(block)};
        }
        if (!CouldHoldPixels(shape, bytes)) {
            return {};
        }
        return {{{}, "png", true}, {}};
    } catch (const Failure&) {
        return {};  // a bitmap that its header does not describe is no picture
    }
}

}  // namespace

CopiedPicture CopyPicture(const OpenedClipboard& /*open*/) {
    CopiedPicture copied;
    for (const PictureFormat& format : kPictureFormats) {
        for (const std::string_view name : {format.windows_name, format.mime_type}) {
            copied.encoded.bytes = CopyBlock(RegisteredFormat(name), kLongestKeptPicture);
            if (!copied.encoded.bytes.empty()) {
                copied.encoded.subtype = format.subtype;
                return copied;
            }
        }
    }
    return ReadBitmap(OriginalBitmapFormat());
}

Picture ToPicture(const CopiedPicture& copied) {
    if (!copied.bitmap) {
        return copied.encoded;
    }
    return {EncodePng(*copied.bitmap, kLongestKeptPicture), "png"};
}
