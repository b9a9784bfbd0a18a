// RecordingDesktop: a fake desktop that logs every call, serves files from memory and fails on demand.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "desktop_services.h"

// What a test drops on the fake window.
struct FakeDropData : DropData {
    bool has_file_list = true;
    std::vector<std::string> files;
    Picture picture;  // what PastedPicture answers
};

// Raised by the fake's EndProgram, which must not return.
struct ProgramEnded {};

// Installs itself as the process's desktop for its lifetime. Each call is logged as
// "Name(arguments)"; window state is kept so that tests can read what a user would see.
class RecordingDesktop : public DesktopServices {
public:
    RecordingDesktop();
    ~RecordingDesktop() override;

    // Makes the operation named op fail on its nth call from now (1 = the next), or on every
    // call when nth is 0.
    void FailOn(const std::string& op, int nth = 0);
    // Serves content as the regular file at path.
    void AddFile(const std::string& path, ByteText content);
    // The log with only the calls whose names are among ops, in order.
    std::vector<std::string> CallsOf(const std::vector<std::string>& ops) const;

    std::vector<std::string> calls;
    bool option1_selected = true;
    bool previous_instance = false;
    std::optional<std::string> clipboard = "before";
    Colour label_colour = ColourDone;
    std::string label_caption;
    Pointer pointer = Pointer::Default;
    std::vector<std::string> warnings;
    // Lengths FileLength reports instead of the served file's, as for a file that changes.
    std::map<std::string, std::uint64_t> reported_lengths;

    void ShowMainWindow() override;
    [[noreturn]] void EndProgram() override;
    void SetCaption(std::string_view text) override;
    Colour GetWindowBackColour() override;
    void SetPointer(Pointer pointer) override;
    void MakeTopmost() override;
    void AcceptFileDrops() override;
    void SetOptionBackColour(OptionButton option, Colour colour) override;
    void RemoveLabelBorder() override;
    void SetLabelColour(Colour colour) override;
    void SetLabelCaption(std::string_view text) override;
    bool IsOption1Selected() override;
    bool HasFileList(const DropData& data) override;
    std::string FirstDroppedFile(const DropData& data) override;
    Picture PastedPicture(const DropData& data) override;
    void ClearClipboard() override;
    void SetClipboardText(std::string_view text) override;
    void ShowWarning(std::string_view text) override;
    bool PreviousInstanceRunning() override;
    Version VersionNumbers() override;
    std::uint64_t FileLength(std::string_view path) override;
    ByteText ReadFileBytes(std::string_view path, std::size_t count) override;

private:
    // Logs the call and raises Failure when the test asked for it.
    void Record(const std::string& op, const std::string& arguments = "");

    static constexpr int kEveryCall = -1;

    std::map<std::string, ByteText> files_;
    std::map<std::string, int> fail_countdown_;
};
