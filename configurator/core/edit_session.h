#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/message_sink.h"
#include "core/table_file.h"

namespace mk {

// What an editor window says before it writes its table file or throws edits away.
inline constexpr std::string_view kMsgIncompleteFile =
    " could not be read completely, and saving now would lose what could not be read. Correct "
    "the file, or close the window with Cancel.";
inline constexpr std::string_view kMsgChangedElsewhere =
    " was changed elsewhere (by another window or program) after this window read it. Replace it "
    "with what this window shows?";
inline constexpr std::string_view kMsgBuildWouldStop = "\"Up date Device\" would stop with:";
inline constexpr std::string_view kMsgSaveAnyway = "Save anyway?";
inline constexpr std::string_view kMsgDiscardChanges =
    "The changes made in this window have not been saved. Discard them?";

// "<file> could not be read completely, ...": saving is refused.
std::string incomplete_file_text(std::string_view file_name);
// "<file> was changed elsewhere ...": asked before the file is replaced.
std::string changed_elsewhere_question(std::string_view file_name);
// The build's own reason for stopping, and whether to save all the same.
std::string save_anyway_question(std::string_view build_reason);

// How a file stood on disk: whether it existed, and its size and content.
struct FileStamp {
    bool exists = false;
    std::uintmax_t size = 0;
    std::size_t content_hash = 0;
    bool operator==(const FileStamp&) const = default;
};
// Reads at most kMaxTableFileSize + 1 bytes: a larger file cannot be read as a table anyway.
FileStamp stamp_file(const std::filesystem::path& path);

// The table file an editor window writes, from one opening to "OK" or "Cancel": how the file
// stood on disk when the window read it, and which files the opening could not read to their
// end. Every editor asks it the same questions, so every editor refuses, asks and warns alike.
class EditSession {
public:
    // The words every refusal starts with, in the voice of the window's own messages.
    void set_voice(std::string_view voice) { voice_ = voice; }

    // Opening: forgets the earlier opening and notes how `file` stands now. Called before the
    // file is read, so a change made while it is read counts as a change made elsewhere.
    void open(std::filesystem::path file);
    const std::filesystem::path& file() const { return file_; }
    // Where the readers of this opening note the files they could not read to their end.
    IncompleteFiles* incomplete() { return &incomplete_; }

    // "OK", before anything else: false, after saying why, when a file of this opening was not
    // read to its end; writing would lose what could not be read.
    bool may_save(MessageSink& sink) const;
    // "OK", just before writing: false when the file changed on disk since the opening (also when
    // it was created since) and the user does not want it replaced.
    bool may_replace(MessageSink& sink) const;
    // "Cancel", Escape or the close button: whether the window may close, asking first when
    // something was `changed` since the opening.
    static bool may_discard(bool changed, MessageSink& sink);

private:
    std::string_view voice_;
    std::filesystem::path file_;
    FileStamp stamp_;
    IncompleteFiles incomplete_;
};

} // namespace mk
