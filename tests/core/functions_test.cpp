// Tests of the size-limited file reader and LastSegment.
#include "functions.h"

#include <gtest/gtest.h>

#include "recording_desktop.h"

using functions::LastSegment;
using functions::ReadWholeFile;

TEST(LastSegment, GivesThePieceAfterTheLastDelimiter) {
    const struct {
        std::string text;
        std::string delimiter;
        std::string expected;
    } cases[] = {
        {"archive.tar.gz", ".", "gz"},
        {"name", ".", "name"},
        {"name.", ".", ""},
        {".", ".", ""},
        {".hidden", ".", "hidden"},
        {"C:\\a.b\\photo.PNG", ".", "PNG"},
        {"C:\\my.pics\\photo", ".", "pics\\photo"},
        {"/home/ana/Bilder/über.png", ".", "png"},
        {"a::b::c", "::", "c"},
        {"a:::b", "::", ":b"},
        {"aaa", "aa", "a"},
        {"xaaaaay", "aa", "ay"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LastSegment(c.text, c.delimiter), c.expected) << c.text << " at " << c.delimiter;
    }
}

TEST(LastSegment, FailsWhenThereIsNoPieceToGive) {
    EXPECT_THROW(LastSegment("", "."), Failure);
    EXPECT_THROW(LastSegment("a.png", ""), Failure);
}

TEST(ReadWholeFile, ReadsUpToTheLimitAndRefusesLargerFiles) {
    const struct {
        std::size_t size;
        std::size_t expected_size;
        std::string expected_caption;
        Colour expected_colour;
        std::vector<std::string> expected_calls;
    } cases[] = {
        {0, 0, "", ColourDone, {"FileLength(f.png)", "ReadFileBytes(f.png, 0)"}},
        {1, 1, "", ColourDone, {"FileLength(f.png)", "ReadFileBytes(f.png, 1)"}},
        {32000, 32000, "", ColourDone, {"FileLength(f.png)", "ReadFileBytes(f.png, 32000)"}},
        {32001, 0, "The  File > 32kb!", ColourFault,
         {"FileLength(f.png)", "SetLabelColour(0x000000FF)", "SetLabelCaption(The  File > 32kb!)"}},
    };
    for (const auto& c : cases) {
        RecordingDesktop desktop;
        desktop.AddFile("f.png", ByteText(c.size, 0x5A));
        EXPECT_EQ(ReadWholeFile("f.png"), ByteText(c.expected_size, 0x5A)) << c.size;
        EXPECT_EQ(desktop.calls, c.expected_calls) << c.size;
        EXPECT_EQ(desktop.label_caption, c.expected_caption) << c.size;
        EXPECT_EQ(desktop.label_colour, c.expected_colour) << c.size;
        EXPECT_TRUE(desktop.warnings.empty()) << c.size;
    }
}

TEST(ReadWholeFile, ShowsTheBoxAndLeavesTheStatusLineOnAnyOtherFailure) {
    const struct {
        const char* what;
        void (*arrange)(RecordingDesktop&);
    } cases[] = {
        {"missing file", [](RecordingDesktop&) {}},
        {"length fails", [](RecordingDesktop& d) { d.AddFile("f.png", ByteText(10));
                                                   d.FailOn("FileLength"); }},
        {"read fails", [](RecordingDesktop& d) { d.AddFile("f.png", ByteText(10));
                                                 d.FailOn("ReadFileBytes"); }},
        {"file shrank", [](RecordingDesktop& d) { d.AddFile("f.png", ByteText(10));
                                                  d.reported_lengths["f.png"] = 20; }},
        {"refusal cannot be shown", [](RecordingDesktop& d) { d.AddFile("f.png", ByteText(40000));
                                                              d.FailOn("SetLabelColour"); }},
    };
    for (const auto& c : cases) {
        RecordingDesktop desktop;
        desktop.label_caption = "earlier";
        c.arrange(desktop);
        EXPECT_TRUE(ReadWholeFile("f.png").empty()) << c.what;
        EXPECT_EQ(desktop.warnings, std::vector<std::string>{"Error: ReadFile"}) << c.what;
        EXPECT_EQ(desktop.label_caption, "earlier") << c.what;
        EXPECT_EQ(desktop.calls.back(), "ShowWarning(Error: ReadFile)") << c.what;
    }
}
