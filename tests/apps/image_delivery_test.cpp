// What reaches the device: a damaged base image, a failing disk or a folder that is not a project
// must end in a true message and leave every earlier output as it was.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "apps/build_command.h"
#include "apps/inspect_command.h"
#include "firmware/firmware_plan.h"
#include "firmware/output_set.h"
#include "firmware/srecord_merge.h"
#include "firmware/update_sequence.h"
#include "firmware_test_support.h"
#include "test_dir.h"
#include "test_files.h"

namespace mk {
namespace {

namespace fs = std::filesystem;
using test::hidden_files;
using test::read_file;
using test::write_file;

const fs::path kAssets = MK_ASSETS_DIR;
const std::string kNotCreate = "File New Sx Not Create,Abort Procedure";

std::string s2(std::uint32_t address, std::uint8_t fill = 0xEE) {
    unsigned sum = 0x06 + (address >> 16) + ((address >> 8) & 0xFF) + (address & 0xFF) + 2 * fill;
    char line[32];
    std::snprintf(line, sizeof line, "S206%06X%02X%02X%02X", address, fill, fill, ~sum & 0xFF);
    return line;
}

// Lines separated by '|', each ended by CR LF.
std::string image(const std::string& lines) {
    std::string out;
    std::size_t at = 0;
    while (true) {
        const std::size_t end = lines.find('|', at);
        out += lines.substr(at, end - at) + "\r\n";
        if (end == std::string::npos)
            return out;
        at = end + 1;
    }
}

int run(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string q(const fs::path& p) {
    return "'" + p.string() + "'";
}

// A copy of the demo project with the outputs of an earlier build, and a MASTER folder.
class Delivery : public ::testing::Test {
protected:
    void SetUp() override { make_project(dir.path()); }
    void make_project(const fs::path& root) {
        project = root / "demo";
        master = root / "MASTER";
        fs::create_directories(master);
        fs::copy(kAssets / "demo", project, fs::copy_options::recursive);
        fs::create_directories(project / "bin");
        write_old_outputs();
        fs::copy_file(kAssets / "RZ41902_15_3.sx", master / "RZ41902_15_3.sx");
    }
    void write_old_outputs() const {
        for (const auto& f : old_outputs())
            write_file(project / f, "old " + f);
    }
    static std::vector<std::string> old_outputs() {
        return {"bin/bank1.bin", "bin/bank2.bin", "bin/bank3.bin",      "bin/bank4.bin",
                "bin/bank5.bin", "bin/bankg.c",   "New_RZ41902_15_3.sx"};
    }
    void expect_old_outputs_kept() const {
        for (const auto& f : old_outputs()) {
            if (fs::is_regular_file(project / f)) {
                EXPECT_TRUE(read_file(project / f) == "old " + f) << f << " was replaced";
            }
        }
        EXPECT_EQ(hidden_files(project), std::vector<std::string>{});
        EXPECT_EQ(hidden_files(project / "bin"), std::vector<std::string>{});
    }
    void set_base(const std::string& text) { write_file(master / "RZ41902_15_3.sx", text); }
    BuildOptions options() const {
        BuildOptions o;
        o.project_dir = project;
        o.master_dir = master;
        o.time = BuildStamp{2024, 3, 5, 14, 37, 9};
        return o;
    }
    // The merge as the firmware window runs it, on bank files of a fresh build; the bank
    // outputs of the earlier build are put back afterwards.
    bool window_merge() {
        Banks banks;
        RecordingSink build_sink;
        EXPECT_TRUE(build_and_write_banks(project, banks, build_sink, FixedClock({2024, 3, 5})));
        const auto plan = prepare_firmware({master}, project, 0, sink, false);
        EXPECT_TRUE(plan);
        NoProgress progress;
        const bool made = plan && image_made(merge_firmware(*plan, sink, progress));
        for (const auto& f : old_outputs())
            if (f.starts_with("bin/"))
                write_file(project / f, "old " + f);
        return made;
    }

    test::TempDir dir;
    fs::path project;
    fs::path master;
    RecordingSink sink;
};

TEST_F(Delivery, APassThatStopsAfterAnS9LineMakesNoImage) {
    // An end record first, then a line that is not an S-record in the middle of the image.
    set_base(image("S9030000FC|" + s2(0x388000) + "|S2!!|" + s2(0x398000) + "|S9030000FC"));
    EXPECT_FALSE(window_merge());
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"File RZ41902_15_3.sx has records after its "
                                                     "S9 end record (line 1),Abort Procedure"});
    EXPECT_TRUE(read_file(project / "New_RZ41902_15_3.sx") == "old New_RZ41902_15_3.sx");

    EXPECT_EQ(run_build_command(options(), {"/nowhere"}, sink), kExitFailed);
    expect_old_outputs_kept();

    // A line that is not an S-record, after the bank pages and before the end record.
    set_base(image(s2(0x388000) + "|" + s2(0x398000) + "|S2!!|S9030000FC"));
    sink.entries.clear();
    EXPECT_EQ(run_build_command(options(), {"/nowhere"}, sink), kExitFailed);
    EXPECT_EQ(sink.texts(), std::vector<std::string>{kNotCreate + "\nRZ41902_15_3.sx, line 3: a "
                                                                  "character that is not a "
                                                                  "hexadecimal digit at column 3"});
    expect_old_outputs_kept();

    // Binary data that happens to hold an S9 line and a line starting with S2.
    std::string binary = "S9030000FC\n";
    for (int i = 0; i < 4096; ++i)
        binary += static_cast<char>((i * 7919) % 251);
    binary += "\nS2\x01\x02\x03\x04\x05\x06\x07\n";
    set_base(binary);
    EXPECT_EQ(run_build_command(options(), {"/nowhere"}, sink), kExitFailed);
    expect_old_outputs_kept();
}

TEST_F(Delivery, RecordsAfterAnEndRecordMakeNoImage) {
    // A loader stops at the first end record: whatever follows it never reaches the device, so
    // the image would be cut short, or empty when the end record comes first.
    const std::string body = "S0030000FC|" + s2(0x388000) + "|" + s2(0x398000) + "|" + s2(0x208000);
    const std::string expected =
        "File RZ41902_15_3.sx has records after its S9 end record (line 1),Abort Procedure";
    set_base(image("S9030000FC|" + body + "|S9030000FC"));
    EXPECT_FALSE(window_merge());
    EXPECT_EQ(sink.texts(), std::vector<std::string>{expected});
    EXPECT_TRUE(read_file(project / "New_RZ41902_15_3.sx") == "old New_RZ41902_15_3.sx");
    sink.entries.clear();
    EXPECT_EQ(run_build_command(options(), {"/nowhere"}, sink), kExitFailed);
    EXPECT_EQ(sink.texts(), std::vector<std::string>{expected});
    expect_old_outputs_kept();

    // An end record in the middle, before the bank pages.
    set_base(image("S0030000FC|S9030000FC|" + s2(0x388000) + "|" + s2(0x398000) + "|S9030000FC"));
    sink.entries.clear();
    EXPECT_EQ(run_build_command(options(), {"/nowhere"}, sink), kExitFailed);
    EXPECT_EQ(sink.texts(),
              std::vector<std::string>{"File RZ41902_15_3.sx has records after its S9 end record "
                                       "(line 2),Abort Procedure"});
    expect_old_outputs_kept();

    // Lines after the end record that carry no data (a repeated end record, an empty last line)
    // are harmless.
    set_base(image(body + "|S9030000FC|S9030000FC|"));
    EXPECT_EQ(run_build_command(options(), {"/nowhere"}, sink), kExitCompleted);
}

TEST_F(Delivery, ABaseImageWithoutRecordsInTheBankPagesSaysSoAndMakesNoImage) {
    // Records outside the bank pages only: neither bank has a place in this image.
    set_base(image("S0030000FC|" + s2(0x208000) + "|" + s2(0x3A8000) + "|S9030000FC"));
    EXPECT_FALSE(window_merge());
    EXPECT_EQ(sink.texts(),
              (std::vector<std::string>{
                  "Bank 1 was not inserted: RZ41902_15_3.sx has no S2 records in its page "
                  "(0x388000 to 0x38BFFF)",
                  "Bank 2 was not inserted: RZ41902_15_3.sx has no S2 records in its page "
                  "(0x398000 to 0x39BFFF)",
                  "No bank was inserted: no new image was made,Abort Procedure"}));
    sink.entries.clear();
    EXPECT_EQ(run_build_command(options(), {"/nowhere"}, sink), kExitNoBankInserted);
    EXPECT_EQ(sink.texts().back(), "No bank was inserted: no new image was made,Abort Procedure");
    expect_old_outputs_kept();

    // Only bank 2 has its page: the image is made without bank 1, and the build says so.
    set_base(image("S0030000FC|" + s2(0x398000) + "|S9030000FC"));
    sink.entries.clear();
    EXPECT_EQ(run_build_command(options(), {"/nowhere"}, sink), kExitBankMissing);
    EXPECT_EQ(sink.texts().back(),
              "Bank 1 was not inserted: RZ41902_15_3.sx has no S2 records in its page (0x388000 "
              "to 0x38BFFF)");
    EXPECT_NE(read_file(project / "New_RZ41902_15_3.sx"), "old New_RZ41902_15_3.sx");
}

TEST_F(Delivery, ABaseImageWithoutAnS9LineIsNamedAsSuch) {
    // An S3-format image ends with S7; CR-only line ends leave the S9 inside one long line.
    for (const std::string& base :
         {image("S0030000FC|S30900388000EEEEEEEE86|S70500000000FA"),
          std::string("S0030000FC\r") + s2(0x388000) + "\rS9030000FC\r"}) {
        set_base(base);
        sink.entries.clear();
        EXPECT_FALSE(window_merge());
        ASSERT_EQ(sink.texts().size(), 1u);
        EXPECT_TRUE(sink.texts()[0].starts_with("File RZ41902_15_3.sx has no S9 end record"))
            << sink.texts()[0];
        EXPECT_TRUE(read_file(project / "New_RZ41902_15_3.sx") == "old New_RZ41902_15_3.sx");
    }
}

TEST_F(Delivery, ABankSourceThatCannotBeReplacedKeepsEveryOldOutput) {
    fs::remove(project / "bin" / "bankg.c");
    fs::create_directory(project / "bin" / "bankg.c");
    Banks banks;
    EXPECT_FALSE(build_and_write_banks(project, banks, sink, FixedClock({2024, 3, 5})));
    EXPECT_TRUE(sink.texts().back().starts_with("Cannot create file \"" +
                                                (project / "bin" / "bankg.c").string() + "\"."))
        << sink.texts().back();
    expect_old_outputs_kept();
    EXPECT_EQ(run_build_command(options(), {"/nowhere"}, sink), kExitFailed);
    expect_old_outputs_kept();
}

// A write that fails part-way, as on a full disk: the process may write no file beyond 100 KB,
// so bankg.c (235 KB) fails after the bank files were written.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }

private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

TEST_F(Delivery, AWriteThatFailsPartWayKeepsEveryOldOutput) {
    Banks banks;
    {
        const FileSizeLimit limit(100 * 1024);
        EXPECT_FALSE(build_and_write_banks(project, banks, sink, FixedClock({2024, 3, 5})));
    }
    EXPECT_EQ(sink.texts().back(), "Cannot create file \"" +
                                       (project / "bin" / "bankg.c").string() +
                                       "\". File too large");
    expect_old_outputs_kept();

    // The merged image alone fails: its own message, not "Not Found".
    ASSERT_TRUE(build_and_write_banks(project, banks, sink, FixedClock({2024, 3, 5})));
    sink.entries.clear();
    const auto plan = prepare_firmware({master}, project, 0, sink, false);
    ASSERT_TRUE(plan);
    NoProgress progress;
    {
        const FileSizeLimit limit(200 * 1024);
        EXPECT_EQ(merge_firmware(*plan, sink, progress), MergeOutcome::Failed);
    }
    EXPECT_EQ(sink.texts(), std::vector<std::string>{kNotCreate + "\n" +
                                                     (project / "New_RZ41902_15_3.sx").string() +
                                                     ": File too large"});
    EXPECT_TRUE(read_file(project / "New_RZ41902_15_3.sx") == "old New_RZ41902_15_3.sx");
    EXPECT_EQ(hidden_files(project), std::vector<std::string>{});
}

// A small file system of its own, where the test may mount one.
class SmallDisk {
public:
    explicit SmallDisk(const fs::path& at, const char* size) : at_(at) {
        fs::create_directories(at);
        mounted_ = ::mount("tmpfs", at.c_str(), "tmpfs", 0, size) == 0;
    }
    ~SmallDisk() {
        if (mounted_)
            ::umount2(at_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }

private:
    fs::path at_;
    bool mounted_ = false;
};

TEST_F(Delivery, AFullDiskKeepsEveryOldOutput) {
    const SmallDisk disk(dir.path() / "disk", "size=400k");
    if (!disk.mounted())
        GTEST_SKIP() << "this test may not mount a file system";
    make_project(dir.path() / "disk");
    fs::remove_all(master); // the base image is not needed here and would take half the disk
    // An old set as large as a real one: the new set cannot be written beside it.
    const std::string big_old(230 * 1024, 'o');
    write_file(project / "bin" / "bankg.c", big_old);
    Banks banks;
    EXPECT_FALSE(build_and_write_banks(project, banks, sink, FixedClock({2024, 3, 5})));
    EXPECT_TRUE(sink.texts().back().ends_with("No space left on device")) << sink.texts().back();
    EXPECT_TRUE(read_file(project / "bin" / "bankg.c") == big_old);
    for (int n = 1; n <= 5; ++n)
        EXPECT_TRUE(read_file(project / "bin" / ("bank" + std::to_string(n) + ".bin")) ==
                    "old bin/bank" + std::to_string(n) + ".bin")
            << n;
    EXPECT_EQ(hidden_files(project / "bin"), std::vector<std::string>{});
}

TEST_F(Delivery, AFolderThatHoldsNoTableFileIsNoProject) {
    const fs::path folder = dir.path() / "home";
    fs::create_directories(folder / "bin");
    write_file(folder / "bin" / "Bin.sx", "a user's own file");
    BuildOptions o = options();
    o.project_dir = folder;
    EXPECT_EQ(run_build_command(o, {"/nowhere"}, sink), kExitNotAProject);
    EXPECT_TRUE(sink.texts().back().find("is not a project folder") != std::string::npos)
        << sink.texts().back();
    EXPECT_EQ(read_file(folder / "bin" / "Bin.sx"), "a user's own file");
    EXPECT_FALSE(fs::exists(folder / "bin" / "bank1.bin"));
    EXPECT_FALSE(fs::exists(folder / "New_RZ41902_15_3.sx"));
}

TEST_F(Delivery, FilesThisRunDidNotCreateAreNeverDeleted) {
    write_file(project / "bin" / "Bin.sx", "kept");
    const std::string stage = "\xC2\xB0"
                              "B1\xC2\xB0.sx";
    write_file(project / stage, "kept");
    EXPECT_EQ(run_build_command(options(), {"/nowhere"}, sink), kExitCompleted);
    EXPECT_EQ(read_file(project / "bin" / "Bin.sx"), "kept");
    EXPECT_EQ(read_file(project / stage), "kept");
}

TEST_F(Delivery, TemporariesOfAnInterruptedBuildAreRemovedByTheNextOne) {
    write_file(project / ".New_RZ41902_15_3.sx.a1B2c3", std::string(1000, 'x'));
    write_file(project / ".New_RZ41902_8_8.sx.Q9w8E7", "x");
    write_file(project / "bin" / ".bank3.bin.Zz9Yy8", "x");
    write_file(project / "bin" / ".bankg.c.000000", "x");
    // Hidden temporaries of the record and stage files earlier versions of the merge used.
    write_file(project / "bin" / ".Bin.sx.Ab3dE5", "x");
    write_file(project / ".\xC2\xB0"
                         "B2\xC2\xB0.sx.KjaT0U",
               std::string(1000, 'x'));
    write_file(project / ".notes.txt.a1B2c3", "a user's own hidden file");
    write_file(project / "bin" / ".bank3.bin.keep", "not a temporary of this program");
    EXPECT_EQ(run_build_command(options(), {"/nowhere"}, sink), kExitCompleted);
    EXPECT_EQ(hidden_files(project), std::vector<std::string>{".notes.txt.a1B2c3"});
    EXPECT_EQ(hidden_files(project / "bin"), std::vector<std::string>{".bank3.bin.keep"});
}

TEST_F(Delivery, ASetWhoseReplacementWasCutOffIsPutBackByTheNextBuild) {
    // What a power cut in the middle of the renames leaves: bank1.bin already replaced (its
    // previous version kept as a link), bank2.bin not yet (the link is the file itself, the new
    // one still a temporary), bankg.c new where there was none before.
    const fs::path bin = project / "bin";
    fs::rename(bin / "bank1.bin", bin / ".bank1.bin.mk-old");
    write_file(bin / "bank1.bin", "new bank1");
    fs::create_hard_link(bin / "bank2.bin", bin / ".bank2.bin.mk-old");
    write_file(bin / ".bank2.bin.Xy12Ab", "new bank2");
    fs::remove(bin / "bankg.c");
    write_file(bin / "bankg.c", "new bankg.c");
    write_file(bin / ".bankg.c.mk-none", "");
    {
        const auto lock = begin_project_build(project, sink);
        ASSERT_TRUE(lock);
        // While one build holds the project, another is refused.
        EXPECT_FALSE(begin_project_build(project, sink));
        EXPECT_EQ(sink.texts().back(), kMsgBuildRunning);
    }
    EXPECT_EQ(read_file(bin / "bank1.bin"), "old bin/bank1.bin");
    EXPECT_EQ(read_file(bin / "bank2.bin"), "old bin/bank2.bin");
    EXPECT_FALSE(fs::exists(bin / "bankg.c"));
    EXPECT_EQ(hidden_files(bin), std::vector<std::string>{});
    EXPECT_TRUE(begin_project_build(project, sink));
}

std::size_t g_stop_after = 0;
void stop_here(std::size_t renamed) {
    if (renamed == g_stop_after)
        ::raise(SIGKILL);
}

// A build stopped right after any of its renames, as by a power cut or a kill: until the next
// build its folder is refused as a mixture, never called equal to either set, and the next start
// of a build leaves the whole earlier set (commit record not yet in place) or the whole new one.
TEST_F(Delivery, ABuildStoppedBetweenItsRenamesLeavesOneWholeSet) {
    const std::vector<std::string> outputs = {
        "bin/bank1.bin", "bin/bank2.bin", "bin/bank3.bin",       "bin/bank4.bin",
        "bin/bank5.bin", "bin/bankg.c",   "New_RZ41902_15_3.sx", "bin/outputs.set"};
    const auto snapshot = [&](const fs::path& root) {
        std::vector<std::string> files;
        for (const auto& f : outputs)
            files.push_back(read_file(root / f));
        return files;
    };
    ASSERT_EQ(run_build_command(options(), {"/nowhere"}, sink), kExitCompleted);
    const auto earlier = snapshot(project);
    // The new set: one SDO row changed and a later build time, built whole in a copy.
    write_file(project / "sdo.xml", "<sdo>" + test::sdo_row("148", "0x4242") + "</sdo>");
    BuildOptions later = options();
    later.time = BuildStamp{2024, 3, 5, 15, 0, 0};
    const fs::path whole = dir.path() / "whole";
    fs::copy(project, whole, fs::copy_options::recursive);
    later.project_dir = whole;
    ASSERT_EQ(run_build_command(later, {"/nowhere"}, sink), kExitCompleted);
    const auto renewed = snapshot(whole);
    later.project_dir = project;

    for (std::size_t stop = 1; stop <= outputs.size(); ++stop) {
        SCOPED_TRACE("stopped after rename " + std::to_string(stop));
        for (std::size_t i = 0; i < outputs.size(); ++i)
            write_file(project / outputs[i], earlier[i]);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            g_stop_after = stop;
            set_rename_observer(stop_here);
            RecordingSink quiet;
            run_build_command(later, {"/nowhere"}, quiet);
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

        InspectOptions diff;
        diff.diff = true;
        diff.sources = {whole, project};
        std::ostringstream out, err;
        const bool committed = stop == outputs.size();
        EXPECT_EQ(run_inspect_command(diff, out, err), committed ? kInspectEqual : kInspectError)
            << out.str() << err.str();

        ASSERT_TRUE(begin_project_build(project, sink));
        EXPECT_TRUE(snapshot(project) == (committed ? renewed : earlier));
        EXPECT_EQ(hidden_files(project), std::vector<std::string>{});
        EXPECT_EQ(hidden_files(project / "bin"), std::vector<std::string>{});
    }

    // Only the commit record's way back is left: stopped after the last rename while the ways
    // back were being removed in the order of the set (the new set is whole and stays), or while
    // a roll-back that had put every file back was about to put the record back (the earlier set
    // is whole once the record is back too).
    struct Row {
        const char* name;
        const std::vector<std::string>& files; // with the new record
        const char* way_back;
        std::string bytes;
        const std::vector<std::string>& expected;
    };
    const std::vector<Row> rows = {
        {"ways back being removed", renewed, ".outputs.set.mk-old", earlier.back(), renewed},
        {"ways back being removed, first build", renewed, ".outputs.set.mk-none", "", renewed},
        {"roll-back before the record", earlier, ".outputs.set.mk-old", earlier.back(), earlier},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (std::size_t i = 0; i < outputs.size(); ++i)
            write_file(project / outputs[i], row.files[i]);
        write_file(project / "bin/outputs.set", renewed.back());
        write_file(project / "bin" / row.way_back, row.bytes);
        ASSERT_TRUE(begin_project_build(project, sink));
        EXPECT_TRUE(snapshot(project) == row.expected);
        EXPECT_EQ(hidden_files(project / "bin"), std::vector<std::string>{});
    }
}

std::size_t g_interrupt_after = 0;
void interrupt_here(std::size_t written) {
    if (written == g_interrupt_after)
        ::raise(SIGTERM);
}

// A build interrupted while its temporary files are on disk (the session ends, the line's
// controller stops it) removes them and ends by that signal; every earlier output stays as it
// was. The build is stopped after each of its eight temporaries in turn.
TEST_F(Delivery, AKilledBuildLeavesNoTemporaries) {
    for (std::size_t stop = 1; stop <= 8; ++stop) {
        SCOPED_TRACE("interrupted after temporary " + std::to_string(stop) + " of 8");
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            remove_temporaries_on_interrupt();
            g_interrupt_after = stop;
            set_temporary_observer(interrupt_here);
            RecordingSink quiet;
            run_build_command(options(), {"/nowhere"}, quiet);
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "status " << status;
        expect_old_outputs_kept();
    }
}

// Runs `f` as a user without privileges, as a user who meets file permissions would (the tests
// may run as root, whom permissions do not stop); returns what `f` returns.
std::string as_unprivileged(const std::function<std::string()>& f) {
    if (::geteuid() != 0)
        return f();
    int out[2];
    if (::pipe(out) != 0)
        return "no pipe";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(out[0]);
        std::string text = ::setgid(65534) == 0 && ::setuid(65534) == 0 ? f() : "no setuid";
        for (std::size_t done = 0; done < text.size();) {
            const ssize_t n = ::write(out[1], text.data() + done, text.size() - done);
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(out[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    ::waitpid(pid, nullptr, 0);
    return text;
}

// Every message that stops an update says what the file in the way really is, beside the
// designed text.
TEST_F(Delivery, TheTrueReasonStandsBesideTheDesignedMessage) {
    const fs::path base = master / "RZ41902_15_3.sx", sdo = project / "sdo.xml";
    const fs::path pargen = project / "pargen.xml", image = project / "New_RZ41902_15_3.sx";
    const auto build = [&] {
        RecordingSink run;
        run_build_command(options(), {"/nowhere"}, run);
        std::string all = "|";
        for (const auto& t : run.texts())
            all += t + "|";
        return all;
    };
    const auto inspect = [&](const fs::path& source) {
        InspectOptions o;
        o.sources = {source};
        std::ostringstream out, err;
        run_inspect_command(o, out, err);
        return err.str();
    };
    const fs::perms read_only = fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec;
    struct Row {
        const char* name;
        std::function<void()> make;
        std::function<std::string()> run;
        std::string expected; // a part of what `run` gives
    };
    const std::vector<Row> rows = {
        {"sdo.xml a dangling link",
         [&] {
             fs::remove(sdo);
             fs::create_symlink("/nowhere/sdo.xml", sdo);
         },
         build,
         "|File SDO xml not found\n" + sdo.string() +
             " is a symbolic link to /nowhere/sdo.xml, which does not exist|"},
        {"pargen.xml a loop of links",
         [&] {
             fs::remove(pargen);
             fs::create_symlink("pargen.xml", pargen);
         },
         build,
         "File Parametres xml not found\n" + pargen.string() + " is a loop of symbolic links|"},
        {"base image a folder",
         [&] {
             fs::remove(base);
             fs::create_directory(base);
         },
         build, "\n" + base.string() + " is a folder, not a file|"},
        {"base image a FIFO",
         [&] {
             fs::remove(base);
             ::mkfifo(base.c_str(), 0644);
         },
         build, "\n" + base.string() + " is a FIFO (named pipe), not a file|"},
        {"base image a device",
         [&] {
             fs::remove(base);
             fs::create_symlink("/dev/null", base);
         },
         build, "\n" + base.string() + " is a device, not a file|"},
        {"read-only project folder",
         [&] {
             // Run as another user, the project folder is not the user's own; bin is.
             for (const auto& e : fs::recursive_directory_iterator(dir.path()))
                 ::lchown(e.path().c_str(), 65534, 65534);
             ::lchown(project.c_str(), 0, 0);
             fs::permissions(dir.path(), fs::perms::owner_all | read_only);
             fs::permissions(project, read_only | fs::perms::owner_read | fs::perms::owner_exec);
         },
         [&] { return as_unprivileged(build); },
         "|File New Sx Not Create,Abort Procedure\n" + image.string() +
             ": Permission denied (no permission to write in " + project.string() + ")|"},
        {"inspect an unreadable image",
         [&] {
             fs::copy_file(kAssets / "RZ41902_15_3.sx", image,
                           fs::copy_options::overwrite_existing);
             fs::permissions(dir.path(), fs::perms::owner_all | read_only);
             fs::permissions(image, fs::perms::none);
         },
         [&] { return as_unprivileged([&] { return inspect(image); }); },
         "mosaicor-inspect: Cannot read " + image.string() + ": Permission denied\n"},
        {"inspect a folder with an unreadable bank file",
         [&] {
             ASSERT_EQ(run_build_command(options(), {"/nowhere"}, sink), kExitCompleted);
             fs::permissions(dir.path(), fs::perms::owner_all | read_only);
             fs::permissions(project / "bin" / "bank1.bin", fs::perms::none);
         },
         [&] { return as_unprivileged([&] { return inspect(project); }); },
         "mosaicor-inspect: Cannot read " + (project / "bin" / "bank1.bin").string() +
             ": Permission denied\n"},
        {"inspect a FIFO",
         [&] {
             fs::remove(image);
             ::mkfifo(image.c_str(), 0644);
         },
         [&] { return inspect(image); },
         "mosaicor-inspect: " + image.string() + " is a FIFO (named pipe), not a file\n"},
    };
    for (const Row& row : rows) {
        std::error_code ec;
        fs::permissions(project, fs::perms::owner_all, ec);
        fs::remove_all(dir.path() / "demo");
        fs::remove_all(master);
        make_project(dir.path());
        row.make();
        const std::string got = row.run();
        EXPECT_NE(got.find(row.expected), std::string::npos)
            << row.name << ": " << got << "\nexpected: " << row.expected;
    }
    std::error_code ec;
    fs::permissions(project, fs::perms::owner_all, ec);
}

TEST_F(Delivery, TheProgramDocumentsAndGivesADistinctStatusForEachOutcome) {
    const std::string program = MK_BUILD_COMMAND;
    const std::string args = " --master " + q(master) + " --time 2024-03-05T14:37:09 ";
    const std::string quiet = " 2>/dev/null";
    EXPECT_EQ(run(program + args + q(project) + quiet), kExitCompleted);
    EXPECT_EQ(run(program + args + q(dir.path()) + quiet), kExitNotAProject);
    set_base(image(s2(0x398000) + "|S9030000FC"));
    EXPECT_EQ(run(program + args + q(project) + quiet), kExitBankMissing);
    set_base(image(s2(0x208000) + "|S9030000FC"));
    EXPECT_EQ(run(program + args + q(project) + quiet), kExitNoBankInserted);
    set_base(image("S9030000FC|S2!!"));
    EXPECT_EQ(run(program + args + q(project) + quiet), kExitFailed);

    const std::string help = build_command_usage();
    for (int status : {kExitCompleted, kExitFailed, kExitUsage, kExitNoBankInserted,
                       kExitBankMissing, kExitNotAProject, 128 + SIGINT, 128 + SIGTERM})
        EXPECT_NE(help.find("  " + std::to_string(status) + "  "), std::string::npos) << status;
}

} // namespace
} // namespace mk
