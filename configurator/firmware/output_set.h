#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
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

// The commit record of an output set: one file, written last and put in place by a rename like
// the others, that names the set and gives the size and content hash of each file in it (named
// relative to the record's folder). Once it is in place the set is complete; before, the files
// that were already replaced do not match it, and the next build puts their earlier versions
// back. Entries of files that a later, smaller set did not replace are kept.
inline constexpr const char* kCommitRecordName = "outputs.set";

struct CommitRecord {
    struct Entry {
        std::string name;
        std::uintmax_t size = 0;
        std::uint64_t hash = 0;
    };
    std::string set; // 16 hexadecimal digits, derived from the entries
    std::vector<Entry> entries;

    // Nothing when the file is absent or is not a commit record.
    static std::optional<CommitRecord> read(const std::filesystem::path& file);
    std::string text() const;
    const Entry* find(std::string_view name) const;
    void put(const std::string& name, std::string_view bytes);
};

// A 64-bit hash of file contents, for telling the files of two builds apart.
std::uint64_t content_hash(std::string_view bytes);

// Whether `file` holds what `entry` says: same size, same hash.
bool holds(const std::filesystem::path& file, const CommitRecord::Entry& entry);

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
    // commit() also writes this commit record, after every other file of the set.
    void record_in(std::filesystem::path record);
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

    void add_record();

    std::vector<Entry> entries_;
    std::filesystem::path record_;
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

// Puts in order what a run that was cut off left in `folder` for the outputs named in `names`:
// a set whose replacement was not finished gets its previous versions back, unless `committed`
// (its commit record was already in place), when the new versions stay; and the temporary files
// of these outputs (".<name>." and six letters or digits) are removed. For an output that is a
// symbolic link the same is done beside the file it leads to. Other files, hidden or not, are
// never touched. Call it while holding the ProjectLock.
void clean_up_interrupted_outputs(const std::filesystem::path& folder,
                                  std::span<const std::string> names, bool committed = false);

// The outputs of one project: each folder with the names of the outputs in it.
struct OutputFolder {
    std::filesystem::path folder;
    std::vector<std::string> names;
};

// Whether an output (or the file it leads to, for a link) still has beside it the previous
// version that a replacement keeps until the set is in place: a run was cut off there.
bool has_way_back(const std::filesystem::path& output);

// What a run that was cut off left among the outputs, put in order as one set: when every output
// that still has its previous version beside it holds what the commit record `record` names, the
// set was committed and stays; otherwise every output gets its previous version back. When only
// the record has its previous version beside it, the set stays when every output holds what the
// record names.
void recover_interrupted_outputs(const std::filesystem::path& record,
                                 std::span<const OutputFolder> folders);

// For tests: called after each file of a commit has been renamed into place, with the number
// renamed so far, so that a test can stop the program exactly there.
void set_rename_observer(void (*observer)(std::size_t renamed));

// For tests: called after each temporary file of a commit has been written, with the number
// written so far, so that a test can interrupt the program exactly while they are on disk.
void set_temporary_observer(void (*observer)(std::size_t written));

// For a program that may be interrupted: on SIGINT or SIGTERM the temporary files of a commit
// in progress are removed, then the program ends by that signal as it would have without this.
void remove_temporaries_on_interrupt();

} // namespace mk
