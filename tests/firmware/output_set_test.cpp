// The output set is all or nothing: a rename that fails puts every replaced file back, committed
// files are as open as the umask makes them, and one build of a project runs at a time.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "firmware/output_set.h"
#include "firmware/update_sequence.h"
#include "test_dir.h"
#include "test_files.h"

namespace mk {
namespace {

namespace fs = std::filesystem;
using test::hidden_files;
using test::mode_of;
using test::read_file;
using test::write_file;

// The rename that is made to fail: before it, its temporary file is taken away.
fs::path g_folder;
std::size_t g_fail_rename = 0;
std::string g_failing_name;

void take_temporary_away(std::size_t renamed) {
    if (renamed + 1 != g_fail_rename)
        return;
    const std::string prefix = "." + g_failing_name + ".";
    for (const auto& e : fs::directory_iterator(g_folder)) {
        const std::string name = e.path().filename().string();
        // Six letters or digits; the previous version kept beside it is ".<name>.mk-old".
        if (name.starts_with(prefix) && name.size() == prefix.size() + 6 &&
            name.find('-') == std::string::npos)
            fs::remove(e.path());
    }
}

class OutputSetCommit : public ::testing::Test {
protected:
    ~OutputSetCommit() override {
        set_rename_observer(nullptr);
        ::umask(umask_);
    }
    test::TempDir dir;
    const mode_t umask_ = ::umask(022);
};

TEST_F(OutputSetCommit, AFailedRenamePutsBackEveryReplacedFile) {
    struct Row {
        const char* name;
        std::size_t fail_rename; // 0: none fails
        const char* failing;     // the file whose rename fails
        bool record;             // the set has a commit record, renamed last
        bool first_existed;      // bank1.bin was there before
    };
    const std::vector<Row> rows = {
        {"second of two files", 2, "bank2.bin", false, true},
        {"record after two files", 3, "outputs.set", true, true},
        {"second of two files, the record after", 2, "bank2.bin", true, true},
        {"second of two, the first new", 2, "bank2.bin", false, false},
        {"none fails", 0, "", true, false},
    };
    const fs::path a = dir.path() / "bank1.bin", b = dir.path() / "bank2.bin";
    const fs::path record = dir.path() / "outputs.set";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (const auto& e : fs::directory_iterator(dir.path()))
            fs::remove(e.path());
        if (row.first_existed)
            write_file(a, "old a");
        write_file(b, "old b");
        write_file(record, "old record");
        g_folder = dir.path();
        g_fail_rename = row.fail_rename;
        g_failing_name = row.failing;
        set_rename_observer(take_temporary_away);

        OutputSet set;
        set.add(a, "new a");
        set.add(b, "new b");
        if (row.record)
            set.record_in(record);
        if (row.fail_rename == 0) {
            set.commit();
            EXPECT_EQ(read_file(a), "new a");
            EXPECT_EQ(read_file(b), "new b");
            EXPECT_NE(read_file(record), "old record");
            // Neither private nor open to all: the mode the umask gives a new file.
            for (const fs::path& f : {a, b, record})
                EXPECT_EQ(mode_of(f), 0644u) << f;
        } else {
            try {
                set.commit();
                ADD_FAILURE() << "the set was committed";
            } catch (const OutputError& e) {
                EXPECT_EQ(e.target(), dir.path() / row.failing);
            }
            if (row.first_existed)
                EXPECT_EQ(read_file(a), "old a");
            else
                EXPECT_FALSE(fs::exists(a));
            EXPECT_EQ(read_file(b), "old b");
            EXPECT_EQ(read_file(record), "old record");
        }
        EXPECT_EQ(hidden_files(dir.path()), std::vector<std::string>{});
    }
}

TEST_F(OutputSetCommit, ABuildWhileTheProjectIsLockedSaysAnotherIsRunning) {
    const fs::path project = dir.path() / "p";
    fs::create_directories(project / "bin");
    RecordingSink sink;
    {
        const auto held = ProjectLock::take(project);
        ASSERT_TRUE(held);
        EXPECT_FALSE(ProjectLock::take(project));
        EXPECT_FALSE(begin_project_build(project, sink));
        Banks banks;
        EXPECT_FALSE(build_and_write_banks(project, banks, sink, FixedClock({2024, 3, 5})));
        EXPECT_EQ(sink.texts(), std::vector<std::string>(2, kMsgBuildRunning));
        EXPECT_FALSE(fs::exists(project / "bin" / "bank1.bin"));
    }
    // Released with its holder.
    EXPECT_TRUE(begin_project_build(project, sink));
}

} // namespace
} // namespace mk
