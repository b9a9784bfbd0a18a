// ConvertImageFile and ConvertPicture: read or take the bytes, encode, wrap, copy, report.
#include "convert_image_file.h"

#include <cstdint>
#include <string>

#include "desktop_services.h"
#include "functions.h"
#include "mod_base64.h"
#include "picture_rules.h"
#include "scope_guard.h"
#include "text.h"

void ConvertImageFile(std::string_view path) {
    const ByteText content = functions::ReadWholeFile(path);
    if (content.empty()) {
        return;
    }
    ConvertImageBytes(content, AsciiLower(functions::LastSegment(path, ".")));
}

void ConvertPicture(const Picture& picture) {
    const std::uint64_t size = picture.too_large ? kLongestKeptPicture : picture.bytes.size();
    if (size == 0 || !functions::WithinSizeLimit(size)) {
        return;
    }
    ConvertImageBytes(picture.bytes, picture.subtype);
}

void ConvertImageBytes(const ByteText& content, std::string_view subtype) {
    DesktopServices& desktop = Desktop();
    desktop.SetPointer(Pointer::Busy);
    // A failure below must not leave the busy pointer behind; the failure itself travels on.
    ScopeGuard restore_pointer([&desktop]() noexcept {
        try {
            desktop.SetPointer(Pointer::Default);
        } catch (const Failure&) {
        }
    });

    const std::string data = modBase64::StripWhitespace(modBase64::EncodeBase64Text(content));
    const std::string_view form = desktop.IsOption1Selected() ? CssTemplate : HtmlTemplate;
    const std::string snippet = ReplaceAll(ReplaceAll(form, "xxx", subtype), "zzz", data);

    desktop.ClearClipboard();
    desktop.SetClipboardText(snippet);

    // Should this fail, the guard tries once more before the failure travels on.
    desktop.SetPointer(Pointer::Default);
    restore_pointer.Dismiss();
    desktop.SetLabelColour(ColourDone);
    desktop.SetLabelCaption("Clipboard! Size " + std::to_string(snippet.size()) + " b");
}
