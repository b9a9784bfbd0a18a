// functions: the size limit, the size-limited file reader and LastSegment.
#include "functions.h"

#include "desktop_services.h"

namespace functions {

bool WithinSizeLimit(std::uint64_t size) {
    if (size <= MaxFileBytes) {
        return true;
    }
    DesktopServices& desktop = Desktop();
    desktop.SetLabelColour(ColourFault);
    desktop.SetLabelCaption("The  File > 32kb!");
    return false;
}

ByteText ReadWholeFile(std::string_view path) {
    DesktopServices& desktop = Desktop();
    try {
        const std::uint64_t size = desktop.FileLength(path);
        if (!WithinSizeLimit(size)) {
            return {};
        }
        ByteText content = desktop.ReadFileBytes(path, static_cast<std::size_t>(size));
        // A short read would put a truncated image on the clipboard; treat it as failed.
        if (content.size() != size) {
            throw Failure("the file changed while it was read");
        }
        return content;
    } catch (const Failure&) {
        desktop.ShowWarning("Error: ReadFile");
        return {};
    }
}

std::string LastSegment(std::string_view text, std::string_view delimiter) {
    // Splitting an empty text gives no pieces at all, so there is no last one to return.
    if (text.empty()) {
        throw Failure("LastSegment of an empty text");
    }
    if (delimiter.empty()) {
        throw Failure("LastSegment with an empty delimiter");
    }
    // Pieces are cut left to right, so a delimiter that overlaps itself ("aa" in "aaa") is found
    // where a split finds it, not where a search from the end would.
    std::size_t last_piece = 0;
    for (std::size_t at = text.find(delimiter); at != std::string_view::npos;
         at = text.find(delimiter, last_piece)) {
        last_piece = at + delimiter.size();
    }
    return std::string(text.substr(last_piece));
}

}  // namespace functions
