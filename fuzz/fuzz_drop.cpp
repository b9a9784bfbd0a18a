// Fuzzes the drop handler and the conversion on the recording fake desktop: fuzzed paths,
// contents, sizes and failing operations. Nothing may crash or escape, every busy pointer is
// restored, and the clipboard holds either what it held, nothing, or exactly the expected snippet.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "form1_handlers.h"
#include "fuzz_require.h"
#include "recording_desktop.h"
#include "reference_base64.h"

namespace {

const char* const kOperations[] = {"HasFileList",     "FirstDroppedFile", "FileLength",
                                   "ReadFileBytes",   "SetPointer",       "IsOption1Selected",
                                   "ClearClipboard",  "SetClipboardText", "SetLabelColour",
                                   "SetLabelCaption", "ShowWarning"};

const char* const kNames[] = {"a.png",      "b.PNG",         "c.jpg", "d.JpEg", "e.gif", "f.bmp",
                              "g.jpeg.txt", "my.pics/photo", "",      ".",      "x.",    "ü.png"};

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider fuzz(data, size);
    RecordingDesktop desktop;
    FakeDropData drop;
    drop.has_file_list = fuzz.ConsumeBool();
    desktop.option1_selected = fuzz.ConsumeBool();

    const int file_count = fuzz.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < file_count; ++i) {
        drop.files.push_back(fuzz.ConsumeBool() ? fuzz.PickValueInArray(kNames)
                                                : fuzz.ConsumeRandomLengthString(40));
    }
    const int failures = fuzz.ConsumeIntegralInRange(0, 2);
    for (int i = 0; i < failures; ++i) {
        desktop.FailOn(fuzz.PickValueInArray(kOperations), fuzz.ConsumeIntegralInRange(0, 3));
    }
    // The first file exists unless the fuzzer says otherwise; it may lie about its length.
    ByteText content;
    const bool exists = !drop.files.empty() && fuzz.ConsumeBool();
    if (exists) {
        const std::size_t length = fuzz.ConsumeBool()
                                       ? fuzz.ConsumeIntegralInRange<std::size_t>(31990, 32010)
                                       : fuzz.ConsumeIntegralInRange<std::size_t>(0, 64);
        content = fuzz.ConsumeBytes<std::uint8_t>(length);
        content.resize(length, 0x5A);
        desktop.AddFile(drop.files.front(), content);
        if (fuzz.ConsumeBool()) {
            // The file grows (the reader takes the first bytes) or shrinks (the read fails).
            const std::size_t reported = fuzz.ConsumeIntegral<std::uint16_t>();
            desktop.reported_lengths[drop.files.front()] = reported;
            content.resize(std::min(reported, content.size()));
        }
    }

    HandleFileDrop(drop);

    // A busy pointer is restored, or at least its restoring was the last thing tried (the fake
    // may refuse that too).
    const auto last_pointer_call =
        std::find_if(desktop.calls.rbegin(), desktop.calls.rend(),
                     [](const std::string& call) { return call.starts_with("SetPointer("); });
    REQUIRE(desktop.pointer == Pointer::Default || *last_pointer_call == "SetPointer(default)");
    if (desktop.clipboard.has_value() && *desktop.clipboard != "before") {
        REQUIRE(exists && !content.empty() && content.size() <= 32000);
        const std::string& path = drop.files.front();
        const std::string subtype = Lower(path.substr(path.rfind('.') + 1));
        const std::string encoded = reference::Encode(content);
        const std::string expected =
            desktop.option1_selected
                ? "background-image:url('data:image/" + subtype + ";base64," + encoded + "');"
                : "<img src = 'data:image/" + subtype + ";base64," + encoded + "'/>";
        if (*desktop.clipboard != expected) {
            std::fprintf(stderr, "path [%s]\nexpected %.120s\nactual   %.120s\n", path.c_str(),
                         expected.c_str(), desktop.clipboard->c_str());
        }
        REQUIRE(*desktop.clipboard == expected);
    }
    return 0;
}
