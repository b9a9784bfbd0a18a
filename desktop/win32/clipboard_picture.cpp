// CopyPicture and ToPicture: the clipboard's picture formats, in order, and the bitmap's PNG.
#include "clipboard_picture.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <limits>

#include "dib.h"
#include "functions.h"
#include "png_encoder.h"
#include "win32_handles.h"

namespace {

// A picture of one byte more than may be converted is refused as too large whatever its length,
// so no more of one is copied or encoded: a full-screen bitmap's PNG stops there.
constexpr std::size_t kLongestKeptPicture = functions::MaxFileBytes + 1;

struct EncodedFormat {
    const wchar_t* name;
    const char* subtype;
};

// PNG first: it holds any picture without loss, and a browser that copies an image offers it.
// GIF next, which keeps an animation that a PNG of its first frame would lose; JPEG last.
// Browsers and most Windows programs register the first name of each; programs ported from
// other systems, and Wine's bridge to the X clipboard, the MIME type.
constexpr EncodedFormat kEncodedFormats[] = {
    {L"PNG", "png"},       {L"image/png", "png"}, {L"GIF", "gif"},
    {L"image/gif", "gif"}, {L"JFIF", "jpeg"},     {L"image/jpeg", "jpeg"},
};

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

}  // namespace

CopiedPicture CopyPicture(const OpenedClipboard& /*open*/) {
    CopiedPicture copied;
    for (const EncodedFormat& format : kEncodedFormats) {
        copied.encoded.bytes =
            CopyBlock(::RegisterClipboardFormatW(format.name), kLongestKeptPicture);
        if (!copied.encoded.bytes.empty()) {
            copied.encoded.subtype = format.subtype;
            return copied;
        }
    }
    copied.bitmap = CopyBlock(OriginalBitmapFormat(), std::numeric_limits<std::size_t>::max());
    return copied;
}

Picture ToPicture(const CopiedPicture& copied) {
    if (!copied.encoded.bytes.empty() || copied.bitmap.empty()) {
        return copied.encoded;
    }
    return {EncodePng(ReadDib(copied.bitmap), kLongestKeptPicture), "png"};
}
