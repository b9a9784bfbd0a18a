// Tests of the conversion from a file path to the snippet on the clipboard.
#include "convert_image_file.h"

#include <gtest/gtest.h>

#include "recording_desktop.h"

namespace {

const std::vector<std::string> kEffects = {"SetPointer", "ClearClipboard", "SetClipboardText",
                                           "SetLabelColour", "SetLabelCaption", "ShowWarning"};

}  // namespace

TEST(ConvertImageFile, PutsTheSnippetOfTheChosenFormOnTheClipboard) {
    const struct {
        std::string path;
        ByteText content;
        bool css;
        std::string snippet;
    } cases[] = {
        {"a.png", {0}, true, "background-image:url('data:image/png;base64,AA==');"},
        {"a.png", {0}, false, "<img src = 'data:image/png;base64,AA=='/>"},
        {"/x/PHOTO.JPG", {'M', 'a', 'n'}, false, "<img src = 'data:image/jpg;base64,TWFu'/>"},
        {"/x/y.Gif", {'M', 'a'}, true, "background-image:url('data:image/gif;base64,TWE=');"},
        {"/x/notes.png", {'h', 'i', '\n'}, true,
         "background-image:url('data:image/png;base64,aGkK');"},
        {"/x/z.jpeg", ByteText(48, 0), false,
         "<img src = 'data:image/jpeg;base64," + std::string(64, 'A') + "'/>"},
    };
    for (const auto& c : cases) {
        RecordingDesktop desktop;
        desktop.AddFile(c.path, c.content);
        desktop.option1_selected = c.css;
        ConvertImageFile(c.path);
        EXPECT_EQ(desktop.clipboard, c.snippet);
        EXPECT_EQ(desktop.label_caption, "Clipboard! Size " + std::to_string(c.snippet.size()) + " b");
        EXPECT_EQ(desktop.label_colour, ColourDone);
        EXPECT_EQ(desktop.pointer, Pointer::Default);
    }
}

TEST(ConvertImageFile, LargestFileGivesTheLongestSnippetInOrder) {
    RecordingDesktop desktop;
    desktop.AddFile("x.jpeg", ByteText(32000, 0xA7));
    ConvertImageFile("x.jpeg");
    ASSERT_TRUE(desktop.clipboard.has_value());
    EXPECT_EQ(desktop.clipboard->size(), 42716u);
    EXPECT_EQ(desktop.clipboard->find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(desktop.CallsOf(kEffects),
              (std::vector<std::string>{"SetPointer(busy)", "ClearClipboard()",
                                        "SetClipboardText(...)", "SetPointer(default)",
                                        "SetLabelColour(0x00CB9956)",
                                        "SetLabelCaption(Clipboard! Size 42716 b)"}));
}

TEST(ConvertImageFile, FileThatGivesNothingTouchesNeitherPointerNorClipboard) {
    const struct {
        const char* what;
        ByteText content;
        std::vector<std::string> expected_effects;
    } cases[] = {
        {"empty", {}, {}},
        {"too large", ByteText(32001),
         {"SetLabelColour(0x000000FF)", "SetLabelCaption(The  File > 32kb!)"}},
    };
    for (const auto& c : cases) {
        RecordingDesktop desktop;
        desktop.AddFile("f.gif", c.content);
        ConvertImageFile("f.gif");
        EXPECT_EQ(desktop.CallsOf(kEffects), c.expected_effects) << c.what;
        EXPECT_EQ(desktop.clipboard, "before") << c.what;
    }
}

TEST(ConvertImageFile, FailureAfterBusyPointerRestoresItAndTravelsOn) {
    const std::pair<const char*, int> failures[] = {
        {"IsOption1Selected", 0}, {"ClearClipboard", 0}, {"SetClipboardText", 0},
        {"SetPointer", 2},  // the first try to restore the pointer
    };
    for (const auto& [failing, nth] : failures) {
        RecordingDesktop desktop;
        desktop.AddFile("f.png", ByteText(10, 1));
        desktop.label_caption = "earlier";
        desktop.FailOn(failing, nth);
        EXPECT_THROW(ConvertImageFile("f.png"), Failure) << failing;
        EXPECT_EQ(desktop.pointer, Pointer::Default) << failing;
        EXPECT_EQ(desktop.calls.back(), "SetPointer(default)") << failing;
        EXPECT_EQ(desktop.label_caption, "earlier") << failing;
        EXPECT_TRUE(desktop.warnings.empty()) << failing;
    }
}
