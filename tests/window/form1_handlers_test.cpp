// Tests of Form1's start-up and drop handlers against the recording fake desktop.
#include "form1_handlers.h"

#include <gtest/gtest.h>

#include "form1.h"
#include "recording_desktop.h"

TEST(HandleWindowLoad, FinishesTheWindowInOrder) {
    RecordingDesktop desktop;
    HandleWindowLoad();
    EXPECT_EQ(desktop.calls,
              (std::vector<std::string>{
                  "PreviousInstanceRunning()", "GetWindowBackColour()",
                  "SetOptionBackColour(Option1, 0x00F8F8F8)",
                  "SetOptionBackColour(Option2, 0x00F8F8F8)", "RemoveLabelBorder()",
                  "VersionNumbers()", "SetCaption(Vellumine  v1.0.91)", "AcceptFileDrops()",
                  "MakeTopmost()"}));
}

TEST(HandleWindowLoad, SecondCopyEndsBeforeAnythingElse) {
    RecordingDesktop desktop;
    desktop.previous_instance = true;
    EXPECT_THROW(HandleWindowLoad(), ProgramEnded);
    EXPECT_EQ(desktop.calls, (std::vector<std::string>{"PreviousInstanceRunning()", "EndProgram()"}));
}

TEST(Form1Caption, JoinsTheVersionNumbersWithoutLeadingZeros) {
    EXPECT_EQ(Form1Caption({1, 0, 91}), "Vellumine  v1.0.91");
    EXPECT_EQ(Form1Caption({12, 3, 0}), "Vellumine  v12.3.0");
}

TEST(Form1, ChooserListsTheAcceptedImagesAndNamesEachKindsPatterns) {
    std::string images;
    for (std::string_view extension : kAcceptedExtensions) {
        images.append(images.empty() ? "*." : " *.").append(extension);
    }
    EXPECT_EQ(Form1.chooser_filters[0].patterns, images);
    for (const FileFilterSpec& kind : Form1.chooser_filters) {  // Qt reads them from the name
        EXPECT_TRUE(kind.name.ends_with(std::string("(").append(kind.patterns).append(")")))
            << kind.name;
    }
}

TEST(HandleFileDrop, ConvertsAcceptedFilesAndRefusesOthers) {
    const std::string done = "Clipboard! Size 41 b";
    const struct {
        const char* what;
        std::vector<std::string> files;
        bool has_file_list;
        const char* failing;  // an operation made to fail
        int failing_call;     // on which call (0: every call)
        std::string caption;
        Colour colour;
        std::optional<std::string> clipboard;
    } cases[] = {
        {"lower case png", {"/d/logo.png"}, true, nullptr, 0, done, ColourDone,
         "<img src = 'data:image/png;base64,AA=='/>"},
        {"upper case PNG", {"/d/logo.PNG"}, true, nullptr, 0, done, ColourDone,
         "<img src = 'data:image/png;base64,AA=='/>"},
        {"mixed case gif", {"/d/a.GiF"}, true, nullptr, 0, done, ColourDone,
         "<img src = 'data:image/gif;base64,AA=='/>"},
        {"jpeg", {"/d/b.JPEG"}, true, nullptr, 0, "Clipboard! Size 42 b", ColourDone,
         "<img src = 'data:image/jpeg;base64,AA=='/>"},
        {"jpg", {"/d/c.Jpg"}, true, nullptr, 0, done, ColourDone,
         "<img src = 'data:image/jpg;base64,AA=='/>"},
        {"only the first of three", {"/d/a.GiF", "/d/logo.png", "/d/x.txt"}, true, nullptr, 0,
         done, ColourDone, "<img src = 'data:image/gif;base64,AA=='/>"},
        {"not a file list", {"/d/logo.png"}, false, nullptr, 0, "earlier", ColourDone, "before"},
        {"drop data unreadable", {"/d/logo.png"}, true, "HasFileList", 0, "earlier", ColourDone,
         "before"},
        {"double extension", {"/d/photo.jpeg.txt"}, true, nullptr, 0, "Not format!",
         ColourFault, "before"},
        {"dot only in a folder", {"/my.pics/photo"}, true, nullptr, 0, "Not format!",
         ColourFault, "before"},
        {"not accepted", {"/d/a.bmp"}, true, nullptr, 0, "Not format!", ColourFault, "before"},
        {"empty path", {""}, true, nullptr, 0, "Not format!", ColourFault, "before"},
        {"first path fails", {"/d/logo.png"}, true, "FirstDroppedFile", 1, "Not format!",
         ColourFault, "before"},
        {"second path read fails", {"/d/logo.png"}, true, "FirstDroppedFile", 2, "earlier",
         ColourDone, "before"},
        {"refusal colour fails", {"/d/a.bmp"}, true, "SetLabelColour", 0, "Not format!",
         ColourDone, "before"},
        {"clipboard refuses", {"/d/logo.png"}, true, "SetClipboardText", 0, "earlier",
         ColourDone, std::nullopt},
        {"missing file", {"/d/gone.png"}, true, nullptr, 0, "earlier", ColourDone, "before"},
    };
    for (const auto& c : cases) {
        RecordingDesktop desktop;
        desktop.option1_selected = false;
        desktop.label_caption = "earlier";
        for (const char* name : {"/d/logo.png", "/d/logo.PNG", "/d/a.GiF", "/d/b.JPEG", "/d/c.Jpg"}) {
            desktop.AddFile(name, {0});
        }
        if (c.failing != nullptr) {
            desktop.FailOn(c.failing, c.failing_call);
        }
        FakeDropData drop;
        drop.has_file_list = c.has_file_list;
        drop.files = c.files;
        EXPECT_NO_THROW(HandleFileDrop(drop)) << c.what;
        EXPECT_EQ(desktop.label_caption, c.caption) << c.what;
        EXPECT_EQ(desktop.label_colour, c.colour) << c.what;
        EXPECT_EQ(desktop.clipboard, c.clipboard) << c.what;
        EXPECT_EQ(desktop.pointer, Pointer::Default) << c.what;
    }
}

TEST(HandleFileDrop, UnreadableFileShowsOnlyTheReadersBox) {
    RecordingDesktop desktop;
    FakeDropData drop;
    drop.files = {"/d/locked.png"};
    desktop.AddFile("/d/locked.png", {1, 2, 3});
    desktop.FailOn("ReadFileBytes");
    HandleFileDrop(drop);
    EXPECT_EQ(desktop.warnings, std::vector<std::string>{"Error: ReadFile"});
    EXPECT_EQ(desktop.clipboard, "before");
    EXPECT_EQ(desktop.label_caption, "");
}

TEST(HandlePaste, TakesTheFileFirstThenAPictureAsAFileOfTheSameBytes) {
    const std::string png = "<img src = 'data:image/png;base64,AA=='/>";
    const struct {
        const char* what;
        bool has_file_list;
        std::vector<std::string> files;
        Picture picture;
        const char* failing;  // an operation made to fail, on every call
        std::string caption;
        Colour colour;
        std::optional<std::string> clipboard;
    } cases[] = {
        {"png picture", false, {}, {{0}, "png"}, nullptr, "Clipboard! Size 41 b", ColourDone, png},
        {"jpeg picture", false, {}, {{'M', 'a', 'n'}, "jpeg"}, nullptr, "Clipboard! Size 42 b",
         ColourDone, "<img src = 'data:image/jpeg;base64,TWFu'/>"},
        {"largest picture", false, {}, {ByteText(32000, 7), "gif"}, nullptr,
         "Clipboard! Size 42705 b", ColourDone, std::nullopt},
        {"picture too large", false, {}, {ByteText(32001, 7), "png"}, nullptr,
         "The  File > 32kb!", ColourFault, "before"},
        {"picture known too large unread", false, {}, {{}, "png", true}, nullptr,
         "The  File > 32kb!", ColourFault, "before"},
        {"file wins over its icon", true, {"/d/a.GiF"}, {{1, 2}, "png"}, nullptr,
         "Clipboard! Size 41 b", ColourDone, "<img src = 'data:image/gif;base64,AA=='/>"},
        {"copied text file", true, {"/d/x.txt"}, {{1, 2}, "png"}, nullptr, "Not format!",
         ColourFault, "before"},
        {"neither file nor picture", false, {}, {}, nullptr, "earlier", ColourDone, "before"},
        {"picture unreadable", false, {}, {{0}, "png"}, "PastedPicture", "earlier", ColourDone,
         "before"},
        {"clipboard refuses", false, {}, {{0}, "png"}, "SetClipboardText", "earlier",
         ColourDone, std::nullopt},
    };
    for (const auto& c : cases) {
        RecordingDesktop desktop;
        desktop.option1_selected = false;
        desktop.label_caption = "earlier";
        desktop.AddFile("/d/a.GiF", {0});
        if (c.failing != nullptr) {
            desktop.FailOn(c.failing);
        }
        FakeDropData paste;
        paste.has_file_list = c.has_file_list;
        paste.files = c.files;
        paste.picture = c.picture;
        EXPECT_NO_THROW(HandlePaste(paste)) << c.what;
        EXPECT_EQ(desktop.label_caption, c.caption) << c.what;
        EXPECT_EQ(desktop.label_colour, c.colour) << c.what;
        if (c.clipboard || c.failing != nullptr) {
            EXPECT_EQ(desktop.clipboard, c.clipboard) << c.what;
        }
        EXPECT_EQ(desktop.pointer, Pointer::Default) << c.what;
    }
}
