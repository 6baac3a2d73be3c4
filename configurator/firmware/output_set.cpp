#include "firmware/output_set.h"

#include "core/atomic_file.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mk {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kPreviousSuffix = ".mk-old";
constexpr std::string_view kNoPreviousSuffix = ".mk-none";
constexpr std::string_view kRecordHeader = "Mosaicor_Kv output set ";

void (*g_rename_observer)(std::size_t) = nullptr;
void (*g_temporary_observer)(std::size_t) = nullptr;

std::string hex16(std::uint64_t v) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out(16, '0');
    for (int i = 15; i >= 0; --i, v >>= 4)
        out[static_cast<std::size_t>(i)] = kHex[v & 0xF];
    return out;
}

std::optional<std::string> read_whole(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return std::move(text).str();
}

// The name of `target` in a commit record kept in `record_folder`.
std::string record_name(const fs::path& target, const fs::path& record_folder) {
    return target.lexically_normal()
        .lexically_relative(record_folder.lexically_normal())
        .generic_string();
}

// The temporary files of the commit in progress, readable from a signal handler: a fixed table
// of paths, each slot written only while the interrupt signals are held back.
struct TemporaryTable {
    static constexpr std::size_t kSlots = 32;
    char path[kSlots][PATH_MAX];
    volatile std::sig_atomic_t used[kSlots];
};
TemporaryTable g_temporaries{};

// Holds SIGINT and SIGTERM back for its lifetime, so that the temporary table and the renames of
// a commit are never seen half done by the interrupt handler.
class InterruptsHeld {
public:
    InterruptsHeld() {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &set, &saved_);
    }
    ~InterruptsHeld() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }
    InterruptsHeld(const InterruptsHeld&) = delete;
    InterruptsHeld& operator=(const InterruptsHeld&) = delete;

private:
    sigset_t saved_;
};

void remember_temporary(const std::string& path) {
    if (path.size() >= PATH_MAX)
        return; // such a file is still removed by the next build of the project
    for (std::size_t i = 0; i < TemporaryTable::kSlots; ++i) {
        if (!g_temporaries.used[i]) {
            std::memcpy(g_temporaries.path[i], path.c_str(), path.size() + 1);
            g_temporaries.used[i] = 1;
            return;
        }
    }
}

void forget_temporary(const std::string& path) {
    for (std::size_t i = 0; i < TemporaryTable::kSlots; ++i)
        if (g_temporaries.used[i] && path == g_temporaries.path[i])
            g_temporaries.used[i] = 0;
}

extern "C" void remove_temporaries_and_end(int sig) {
    for (std::size_t i = 0; i < TemporaryTable::kSlots; ++i)
        if (g_temporaries.used[i])
            ::unlink(g_temporaries.path[i]);
    // The handler was installed to run once: the signal, raised again, ends the program.
    ::raise(sig);
}

[[noreturn]] void fail(const fs::path& target, int err) {
    throw OutputError(target, std::error_code(err, std::generic_category()));
}

void write_all(int fd, std::string_view bytes, const fs::path& target) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(target, errno);
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

fs::path folder_of(const fs::path& target) {
    return target.has_parent_path() ? target.parent_path() : fs::path(".");
}

fs::path beside(const fs::path& target, std::string_view suffix) {
    std::string name = ".";
    name += target.filename().string();
    name += suffix;
    return folder_of(target) / name;
}

int sync_folder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int err = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return err;
}

bool is_temporary_of(const std::string& file, const std::string& name) {
    // ".<name>." followed by the six letters or digits of mkstemp.
    if (file.size() != name.size() + 8 || file[0] != '.' || file.compare(1, name.size(), name) ||
        file[name.size() + 1] != '.')
        return false;
    for (std::size_t i = name.size() + 2; i < file.size(); ++i) {
        const char c = file[i];
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')))
            return false;
    }
    return true;
}

} // namespace

std::uint64_t content_hash(std::string_view bytes) {
    std::uint64_t h = 0x9E3779B97F4A7C15ull ^ bytes.size();
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + i, 8);
        h = (h ^ word) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 32;
    }
    std::uint64_t tail = 0;
    std::memcpy(&tail, bytes.data() + i, bytes.size() - i);
    h = (h ^ tail) * 0xC4CEB9FE1A85EC53ull;
    return h ^ (h >> 29);
}

std::optional<CommitRecord> CommitRecord::read(const fs::path& file) {
    const auto text = read_whole(file);
    if (!text || !text->starts_with(kRecordHeader))
        return std::nullopt;
    CommitRecord r;
    std::istringstream lines(*text);
    std::string line;
    std::getline(lines, line);
    r.set = line.substr(kRecordHeader.size());
    while (std::getline(lines, line)) {
        // "<hash> <size> <name>": the name last, so that it may hold spaces.
        const std::size_t a = line.find(' ');
        const std::size_t b = a == std::string::npos ? a : line.find(' ', a + 1);
        if (b == std::string::npos || a != 16)
            return std::nullopt;
        Entry e;
        try {
            e.hash = std::stoull(line.substr(0, a), nullptr, 16);
            e.size = std::stoull(line.substr(a + 1, b - a - 1));
        } catch (const std::exception&) {
            return std::nullopt;
        }
        e.name = line.substr(b + 1);
        r.entries.push_back(std::move(e));
    }
    return r;
}

std::string CommitRecord::text() const {
    std::string body;
    for (const Entry& e : entries)
        body += hex16(e.hash) + " " + std::to_string(e.size) + " " + e.name + "\n";
    return std::string(kRecordHeader) + hex16(content_hash(body)) + "\n" + body;
}

const CommitRecord::Entry* CommitRecord::find(std::string_view name) const {
    for (const Entry& e : entries)
        if (e.name == name)
            return &e;
    return nullptr;
}

void CommitRecord::put(const std::string& name, std::string_view bytes) {
    Entry* e = const_cast<Entry*>(find(name));
    if (!e) {
        entries.push_back({name, 0, 0});
        e = &entries.back();
    }
    e->size = bytes.size();
    e->hash = content_hash(bytes);
}

bool holds(const fs::path& file, const CommitRecord::Entry& entry) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec) || fs::file_size(file, ec) != entry.size || ec)
        return false;
    const auto bytes = read_whole(file);
    return bytes && bytes->size() == entry.size && content_hash(*bytes) == entry.hash;
}

void set_rename_observer(void (*observer)(std::size_t renamed)) {
    g_rename_observer = observer;
}

void set_temporary_observer(void (*observer)(std::size_t written)) {
    g_temporary_observer = observer;
}

OutputSet::~OutputSet() {
    remove_temporaries();
}

void OutputSet::add(fs::path target, std::string bytes) {
    Entry e;
    e.named = target;
    e.target = std::move(target);
    e.bytes = std::move(bytes);
    entries_.push_back(std::move(e));
}

void OutputSet::record_in(fs::path record) {
    record_ = std::move(record);
}

void OutputSet::add_record() {
    // The files of this set replace their entries; the others keep theirs.
    CommitRecord r = CommitRecord::read(record_).value_or(CommitRecord{});
    const fs::path folder = folder_of(record_);
    for (const Entry& e : entries_)
        r.put(record_name(e.named, folder), e.bytes);
    Entry e;
    e.named = record_;
    e.target = record_;
    e.bytes = r.text();
    entries_.push_back(std::move(e));
}

void OutputSet::remove_temporaries() {
    for (Entry& e : entries_) {
        if (e.fd >= 0)
            ::close(e.fd);
        e.fd = -1;
        if (!e.temp.empty()) {
            ::unlink(e.temp.c_str());
            const InterruptsHeld held;
            forget_temporary(e.temp);
            e.temp.clear();
        }
    }
}

void OutputSet::write_temporaries() {
    std::size_t written = 0;
    for (Entry& e : entries_) {
        try {
            e.target = replaced_file(e.named);
        } catch (const std::system_error& err) {
            fail(e.named, err.code().value());
        }
        {
            // Fails for a folder (or device, or pipe) of the output's name before anything is
            // replaced.
            const InterruptsHeld held;
            e.fd = create_temporary_beside(e.target, e.temp);
            if (e.fd < 0)
                fail(e.named, errno);
            remember_temporary(e.temp);
        }
        write_all(e.fd, e.bytes, e.named);
        if (g_temporary_observer)
            g_temporary_observer(++written);
    }
    // Every file is handed to the disk before the first wait, and all of them are on it before
    // the first flush, so one flush of the file system's journal covers the whole set instead of
    // one round per file.
    for (Entry& e : entries_)
        ::sync_file_range(e.fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    for (Entry& e : entries_)
        ::sync_file_range(e.fd, 0, 0,
                          SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                              SYNC_FILE_RANGE_WAIT_AFTER);
    for (Entry& e : entries_) {
        if (::fdatasync(e.fd) != 0)
            fail(e.named, errno);
        const int fd = e.fd;
        e.fd = -1;
        if (::close(fd) != 0)
            fail(e.named, errno);
    }
}

void OutputSet::roll_back(std::size_t replaced) {
    for (std::size_t i = 0; i < replaced; ++i) {
        Entry& e = entries_[i];
        if (e.previous == Entry::Previous::Kept)
            ::rename(beside(e.target, kPreviousSuffix).c_str(), e.target.c_str());
        else if (e.previous == Entry::Previous::None)
            ::unlink(e.target.c_str());
    }
    for (Entry& e : entries_) {
        ::unlink(beside(e.target, kPreviousSuffix).c_str());
        ::unlink(beside(e.target, kNoPreviousSuffix).c_str());
    }
}

void OutputSet::replace_targets() {
    // An interrupt waits until the set is replaced or rolled back.
    const InterruptsHeld held;
    for (Entry& e : entries_) {
        const fs::path previous = beside(e.target, kPreviousSuffix);
        const fs::path none = beside(e.target, kNoPreviousSuffix);
        ::unlink(previous.c_str());
        ::unlink(none.c_str());
        // Where hard links are not possible (some removable media) the previous version
        // stays unknown: the folder check above still keeps the set whole in the usual cases,
        // but there is no way back after a power cut.
        e.previous = Entry::Previous::Unknown;
        if (::link(e.target.c_str(), previous.c_str()) == 0) {
            e.previous = Entry::Previous::Kept;
        } else if (errno == ENOENT) {
            const int fd = ::open(none.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (fd >= 0) {
                ::close(fd);
                e.previous = Entry::Previous::None;
            }
        }
    }
    std::size_t done = 0;
    int err = 0;
    for (; done < entries_.size(); ++done) {
        Entry& e = entries_[done];
        if (::rename(e.temp.c_str(), e.target.c_str()) != 0) {
            err = errno;
            break;
        }
        forget_temporary(e.temp);
        e.temp.clear();
        if (g_rename_observer)
            g_rename_observer(done + 1);
    }
    std::set<fs::path> folders;
    for (const Entry& e : entries_)
        folders.insert(folder_of(e.target));
    if (err == 0) {
        for (const fs::path& f : folders)
            if (const int e = sync_folder(f); e != 0 && err == 0)
                err = e;
    }
    if (err != 0) {
        const fs::path target = entries_[std::min(done, entries_.size() - 1)].named;
        roll_back(done);
        fail(target, err);
    }
    for (Entry& e : entries_) {
        ::unlink(beside(e.target, kPreviousSuffix).c_str());
        ::unlink(beside(e.target, kNoPreviousSuffix).c_str());
    }
}

void OutputSet::commit() {
    try {
        if (!record_.empty())
            add_record();
        write_temporaries();
        replace_targets();
    } catch (...) {
        remove_temporaries();
        throw;
    }
    entries_.clear();
}

std::optional<ProjectLock> ProjectLock::take(const fs::path& project_dir) {
    const int fd = ::open(project_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return ProjectLock(-1);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK)
            return std::nullopt;
        return ProjectLock(-1);
    }
    return ProjectLock(fd);
}

ProjectLock::~ProjectLock() {
    if (fd_ >= 0)
        ::close(fd_);
}

void clean_up_interrupted_outputs(const fs::path& folder, std::span<const std::string> names,
                                  bool committed) {
    std::error_code ec;
    // The folders to look for temporaries in, with the names looked for in each.
    std::map<fs::path, std::set<std::string>> temporaries;
    for (const std::string& name : names) {
        fs::path target = folder / name;
        try {
            target = replaced_file(target);
        } catch (const std::system_error&) {
            // A loop of links: no build wrote through it.
        }
        temporaries[folder].insert(name);
        temporaries[folder_of(target)].insert(target.filename().string());
        const fs::path previous = beside(target, kPreviousSuffix);
        const fs::path none = beside(target, kNoPreviousSuffix);
        if (fs::exists(fs::symlink_status(previous, ec))) {
            // When the rename never happened, the link and the target are the same file and the
            // rename leaves both: the link then simply goes.
            if (!committed)
                ::rename(previous.c_str(), target.c_str());
            ::unlink(previous.c_str());
        } else if (fs::exists(fs::symlink_status(none, ec))) {
            if (!committed)
                ::unlink(target.c_str());
            ::unlink(none.c_str());
        }
    }
    for (const auto& [where, names_there] : temporaries) {
        ec.clear();
        for (fs::directory_iterator it(where, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string file = it->path().filename().string();
            for (const std::string& name : names_there)
                if (is_temporary_of(file, name))
                    ::unlink(it->path().c_str());
        }
    }
}

bool has_way_back(const fs::path& output) {
    fs::path replaced = output;
    try {
        replaced = replaced_file(output);
    } catch (const std::system_error&) {
    }
    std::error_code ec;
    return fs::exists(fs::symlink_status(beside(replaced, kPreviousSuffix), ec)) ||
           fs::exists(fs::symlink_status(beside(replaced, kNoPreviousSuffix), ec));
}

void recover_interrupted_outputs(const fs::path& record, std::span<const OutputFolder> folders) {
    const auto committed_record = CommitRecord::read(record);
    const fs::path record_folder = folder_of(record);
    std::error_code ec;
    struct Output {
        fs::path target;
        std::string entry;
        bool interrupted;
    };
    std::vector<Output> outputs; // the files of the set, the record not among them
    bool interrupted = false;
    for (const OutputFolder& f : folders)
        for (const std::string& name : f.names) {
            const fs::path target = f.folder / name;
            const std::string entry = record_name(target, record_folder);
            if (entry == record_name(record, record_folder))
                continue;
            outputs.push_back({target, entry, has_way_back(target)});
            interrupted = interrupted || outputs.back().interrupted;
        }
    // With files of the set still holding their ways back, the set was committed when each of
    // them holds what the record names. With only the record's way back left, either every
    // rename was done and the ways back were being removed in the order of the set (the record's
    // is the last), or a roll-back had put every file back but not yet the record: the files
    // tell which, by holding what the record names or not.
    const bool record_only = !interrupted && has_way_back(record);
    bool committed = committed_record.has_value();
    for (const Output& o : outputs) {
        if (!committed || !(o.interrupted || record_only))
            continue;
        const CommitRecord::Entry* e = committed_record->find(o.entry);
        if (o.interrupted ? !e || !holds(o.target, *e)
                          : e && fs::exists(o.target, ec) && !holds(o.target, *e))
            committed = false;
    }
    for (const OutputFolder& f : folders)
        clean_up_interrupted_outputs(f.folder, f.names, committed);
}

void remove_temporaries_on_interrupt() {
    struct sigaction action {};
    action.sa_handler = remove_temporaries_and_end;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

} // namespace mk
