// RecordingDesktop: the fake desktop's operations.
#include "recording_desktop.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string Hex(Colour colour) {
    char text[11];
    std::snprintf(text, sizeof text, "0x%08X", colour);
    return text;
}

}  // namespace

RecordingDesktop::RecordingDesktop() { InstallDesktopServices(this); }
RecordingDesktop::~RecordingDesktop() { InstallDesktopServices(nullptr); }

void RecordingDesktop::FailOn(const std::string& op, int nth) {
    fail_countdown_[op] = nth == 0 ? kEveryCall : nth;
}

void RecordingDesktop::AddFile(const std::string& path, ByteText content) {
    files_[path] = std::move(content);
}

std::vector<std::string> RecordingDesktop::CallsOf(const std::vector<std::string>& ops) const {
    std::vector<std::string> kept;
    for (const std::string& call : calls) {
        const std::string name = call.substr(0, call.find('('));
        if (std::ranges::find(ops, name) != ops.end()) {
            kept.push_back(call);
        }
    }
    return kept;
}

void RecordingDesktop::Record(const std::string& op, const std::string& arguments) {
    calls.push_back(op + "(" + arguments + ")");
    const auto found = fail_countdown_.find(op);
    if (found == fail_countdown_.end()) {
        return;
    }
    if (found->second != kEveryCall && --found->second > 0) {
        return;
    }
    if (found->second != kEveryCall) {
        fail_countdown_.erase(found);
    }
    throw Failure(op + " failed as the test asked");
}

void RecordingDesktop::ShowMainWindow() { Record("ShowMainWindow"); }
void RecordingDesktop::EndProgram() {
    Record("EndProgram");
    throw ProgramEnded{};
}
void RecordingDesktop::SetCaption(std::string_view text) { Record("SetCaption", std::string(text)); }
Colour RecordingDesktop::GetWindowBackColour() {
    Record("GetWindowBackColour");
    return 0x00F8F8F8;
}
void RecordingDesktop::SetPointer(Pointer shape) {
    Record("SetPointer", shape == Pointer::Busy ? "busy" : "default");
    pointer = shape;
}
void RecordingDesktop::MakeTopmost() { Record("MakeTopmost"); }
void RecordingDesktop::AcceptFileDrops() { Record("AcceptFileDrops"); }
void RecordingDesktop::SetOptionBackColour(OptionButton option, Colour colour) {
    Record("SetOptionBackColour",
           std::string(option == OptionButton::Option1 ? "Option1" : "Option2") + ", " + Hex(colour));
}
void RecordingDesktop::RemoveLabelBorder() { Record("RemoveLabelBorder"); }
void RecordingDesktop::SetLabelColour(Colour colour) {
    Record("SetLabelColour", Hex(colour));
    label_colour = colour;
}
void RecordingDesktop::SetLabelCaption(std::string_view text) {
    Record("SetLabelCaption", std::string(text));
    label_caption = text;
}
bool RecordingDesktop::IsOption1Selected() {
    Record("IsOption1Selected");
    return option1_selected;
}
bool RecordingDesktop::HasFileList(const DropData& data) {
    Record("HasFileList");
    return static_cast<const FakeDropData&>(data).has_file_list;
}
std::string RecordingDesktop::FirstDroppedFile(const DropData& data) {
    Record("FirstDroppedFile");
    const auto& drop = static_cast<const FakeDropData&>(data);
    if (drop.files.empty()) {
        throw Failure("no file in the drop");
    }
    return drop.files.front();
}
Picture RecordingDesktop::PastedPicture(const DropData& data) {
    Record("PastedPicture");
    return static_cast<const FakeDropData&>(data).picture;
}
void RecordingDesktop::ClearClipboard() {
    Record("ClearClipboard");
    clipboard.reset();
}
void RecordingDesktop::SetClipboardText(std::string_view text) {
    Record("SetClipboardText", text.size() > 80 ? "..." : std::string(text));
    clipboard = std::string(text);
}
void RecordingDesktop::ShowWarning(std::string_view text) {
    Record("ShowWarning", std::string(text));
    warnings.emplace_back(text);
}
bool RecordingDesktop::PreviousInstanceRunning() {
    Record("PreviousInstanceRunning");
    return previous_instance;
}
Version RecordingDesktop::VersionNumbers() {
    Record("VersionNumbers");
    return {1, 0, 91};
}
std::uint64_t RecordingDesktop::FileLength(std::string_view path) {
    Record("FileLength", std::string(path));
    if (const auto reported = reported_lengths.find(std::string(path));
        reported != reported_lengths.end()) {
        return reported->second;
    }
    const auto found = files_.find(std::string(path));
    if (found == files_.end()) {
        throw Failure("no such file");
    }
    return found->second.size();
}
ByteText RecordingDesktop::ReadFileBytes(std::string_view path, std::size_t count) {
    Record("ReadFileBytes", std::string(path) + ", " + std::to_string(count));
    const auto found = files_.find(std::string(path));
    if (found == files_.end()) {
        throw Failure("no such file");
    }
    const ByteText& content = found->second;
    return ByteText(content.begin(), content.begin() + std::min(count, content.size()));
}
