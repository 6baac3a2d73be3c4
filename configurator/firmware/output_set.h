#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace mk {

// A failure to replace one file of an output set: which file and the system's reason.
class OutputError : public std::runtime_error {
public:
    OutputError(std::filesystem::path target, std::error_code code)
        : std::runtime_error(target.string() + ": " + code.message()), target_(std::move(target)),
          code_(code) {}
    const std::filesystem::path& target() const { return target_; }
    std::error_code code() const { return code_; }

private:
    std::filesystem::path target_;
    std::error_code code_;
};

// The files one build replaces, replaced as one set: the bank files, bankg.c and the merged
// image must never be a mixture of two builds, and none may be cut short.
//
// commit() writes every file to a temporary file beside its target (".<name>.XXXXXX"), starts
// the write-back of all of them at once and waits for each, so the flushes overlap; only then are
// the targets replaced, by renames, and their folders flushed once. While the renames run, each
// previous version is kept as a hard link ".<name>.mk-old" (or an empty ".<name>.mk-none" when
// there was none); they are removed once the folders are flushed. A run cut off in between
// leaves them, and clean_up_interrupted_outputs() then puts the previous set back, so after a
// power cut the folder holds either the previous set or the new one.
//
// On any failure every temporary file is removed, every target keeps its previous contents and
// OutputError names the file that failed, as it was added. A set that is destroyed without
// commit writes nothing.
//
// A target that is a symbolic link stays one: the file it leads to is replaced, with its
// temporary file and its previous version beside that file, and keeps its permissions and group
// (write_file_atomically does the same for one file).
class OutputSet {
public:
    OutputSet() = default;
    ~OutputSet();
    OutputSet(const OutputSet&) = delete;
    OutputSet& operator=(const OutputSet&) = delete;

    void add(std::filesystem::path target, std::string bytes);
    void commit();
    std::size_t size() const { return entries_.size(); }

private:
    struct Entry {
        // The path as added, which failures name, and the file it replaces (through links).
        std::filesystem::path named;
        std::filesystem::path target;
        std::string bytes;
        std::string temp;
        int fd = -1;
        // What the way back holds for this target while the renames run.
        enum class Previous { Kept, None, Unknown } previous = Previous::Unknown;
    };
    void write_temporaries();
    void replace_targets();
    void roll_back(std::size_t replaced);
    void remove_temporaries();

    std::vector<Entry> entries_;
};

// The lock one build holds on its project folder, so that two builds of the same project (the
// window and mosaicor-build) never mix their files or remove each other's temporary files. It
// is released when the object goes.
class ProjectLock {
public:
    // Takes the lock; nothing when another build of the project holds it. A folder that cannot
    // be opened gives a lock that holds nothing: the build then fails on its own files.
    static std::optional<ProjectLock> take(const std::filesystem::path& project_dir);
    ProjectLock(ProjectLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    ProjectLock& operator=(ProjectLock&&) = delete;
    ~ProjectLock();

private:
    explicit ProjectLock(int fd) : fd_(fd) {}
    int fd_;
};

inline constexpr const char* kMsgBuildRunning =
    "Another build of this project is running: wait until it has ended,Abort Procedure";

// Puts back what a run that was cut off left in `folder` for the outputs named in `names`: the
// previous version of a set whose replacement was not finished, and removes the temporary files
// of these outputs (".<name>." and six letters or digits). For an output that is a symbolic link
// the same is done beside the file it leads to. Other files, hidden or not, are never touched.
// Call it while holding the ProjectLock.
void clean_up_interrupted_outputs(const std::filesystem::path& folder,
                                  std::span<const std::string> names);

// For a program that may be interrupted: on SIGINT or SIGTERM the temporary files of a commit
// in progress are removed, then the program ends by that signal as it would have without this.
void remove_temporaries_on_interrupt();

} // namespace mk
