// Saving never turns a link into a plain file nor opens up a private file: the single-file writer
// (table files, CSV, settings) and the output set (bank files, bankg.c, merged image) alike.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "core/atomic_file.h"
#include "firmware/bank_outputs.h"
#include "firmware/output_set.h"
#include "firmware_test_support.h"
#include "test_dir.h"
#include "test_files.h"

namespace mk {
namespace {

namespace fs = std::filesystem;
using test::mode_of;
using test::read_file;
using test::write_file;

struct Writer {
    const char* name;
    void (*write)(const fs::path& path, const std::string& bytes);
};

// Test listings show the writer's name rather than its bytes.
void PrintTo(const Writer& w, std::ostream* os) {
    *os << w.name;
}

const Writer kWriters[] = {
    {"OneFile", [](const fs::path& p, const std::string& b) { write_file_atomically(p, b); }},
    {"OutputSet", [](const fs::path& p, const std::string& b) {
         OutputSet set;
         set.add(p, b);
         set.add(p.parent_path() / "bankg.c", "beside it");
         set.commit();
     }}};

// The hidden files of a folder: temporary files and kept previous versions.
std::size_t hidden_in(const fs::path& dir) {
    return std::count_if(fs::directory_iterator(dir), fs::directory_iterator(),
                         [](const auto& e) { return e.path().filename().string()[0] == '.'; });
}

class LinkedOutputs : public ::testing::Test {
protected:
    LinkedOutputs() {
        fs::create_directories(bin);
        fs::create_directories(shared);
    }
    ~LinkedOutputs() override { ::umask(umask_); }
    test::TempDir dir;
    const fs::path bin = dir.path() / "bin", shared = dir.path() / "shared";
    const mode_t umask_ = ::umask(002);
};

class LinkAndMode : public LinkedOutputs, public ::testing::WithParamInterface<Writer> {
protected:
    void write(const std::string& bytes) { GetParam().write(bin / "bank1.bin", bytes); }
};

// A link that leads nowhere yet makes its file, with the umask's mode; once the file is there and
// private, it is replaced through the chain of links and stays private.
TEST_P(LinkAndMode, AChainOfLinksStaysAndItsFileIsMadeOrReplacedWithItsMode) {
    fs::create_symlink("../shared/middle", bin / "bank1.bin");
    fs::create_symlink(shared / "bank1.bin", shared / "middle");
    write("first");
    EXPECT_EQ(mode_of(shared / "bank1.bin"), 0664u);
    ::chmod((shared / "bank1.bin").c_str(), 0600);
    write("second");
    EXPECT_EQ(fs::read_symlink(bin / "bank1.bin"), "../shared/middle");
    EXPECT_EQ(read_file(shared / "bank1.bin"), "second");
    EXPECT_EQ(mode_of(shared / "bank1.bin"), 0600u);
    EXPECT_EQ(hidden_in(shared) + hidden_in(bin), 0u);
}

TEST_P(LinkAndMode, APlainFileKeepsItsModeEvenReadOnly) {
    for (const unsigned mode : {0600u, 0444u}) {
        write_file(bin / "bank1.bin", "old");
        ::chmod((bin / "bank1.bin").c_str(), mode);
        write("new");
        EXPECT_EQ(read_file(bin / "bank1.bin"), "new");
        EXPECT_EQ(mode_of(bin / "bank1.bin"), mode);
    }
}

TEST_P(LinkAndMode, ALoopOfLinksIsRefusedAndNothingIsWritten) {
    fs::create_symlink("b", bin / "bank1.bin");
    fs::create_symlink("bank1.bin", bin / "b");
    EXPECT_ANY_THROW(write("new"));
    EXPECT_EQ(fs::read_symlink(bin / "bank1.bin"), "b");
    EXPECT_EQ(hidden_in(bin), 0u);
    EXPECT_FALSE(fs::exists(bin / "bankg.c"));
}

// A link may lead to a device or a pipe (/dev/null): such a file is never replaced by a plain one.
TEST_P(LinkAndMode, OnlyARegularFileIsReplaced) {
    ASSERT_EQ(::mkfifo((shared / "pipe").c_str(), 0600), 0);
    fs::create_symlink(shared / "pipe", bin / "bank1.bin");
    EXPECT_ANY_THROW(write("new"));
    EXPECT_TRUE(fs::is_fifo(shared / "pipe"));
    EXPECT_EQ(hidden_in(shared) + hidden_in(bin), 0u);
}

// Saved by root (sudo), a private file of its user stays that user's and readable by them.
TEST_P(LinkAndMode, AFileOfAnotherUserStaysTheirs) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root writes another user's file";
    write_file(bin / "bank1.bin", "old");
    ASSERT_EQ(::chown((bin / "bank1.bin").c_str(), 65534, 65534), 0);
    ::chmod((bin / "bank1.bin").c_str(), 0600);
    write("new");
    struct stat st {};
    ASSERT_EQ(::stat((bin / "bank1.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

INSTANTIATE_TEST_SUITE_P(Writers, LinkAndMode, ::testing::ValuesIn(kWriters),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LinkedOutputs, ASetCutOffWhileReplacingALinkedFileIsPutBackBesideThatFile) {
    fs::create_symlink(shared / "bank1.bin", bin / "bank1.bin");
    // The linked file was replaced, its previous version kept beside it, and a temporary is left.
    write_file(shared / ".bank1.bin.mk-old", "old");
    write_file(shared / "bank1.bin", "new");
    write_file(shared / ".bank1.bin.Ab12Cd", "temporary");
    const std::string names[] = {"bank1.bin"};
    clean_up_interrupted_outputs(bin, names);
    EXPECT_EQ(read_file(shared / "bank1.bin"), "old");
    EXPECT_TRUE(fs::is_symlink(bin / "bank1.bin"));
    EXPECT_EQ(hidden_in(shared), 0u);
}

TEST_F(LinkedOutputs, AFailureThroughALinkNamesTheFileItLeadsTo) {
    const fs::path target = dir.path() / "missing" / "sdo.xml";
    fs::create_symlink(target, dir.path() / "sdo.xml");
    const auto no_such = std::make_error_code(std::errc::no_such_file_or_directory);
    EXPECT_EQ(write_failure_reason(dir.path() / "sdo.xml", no_such),
              "No such file or directory (a link to \"" + target.string() + "\")");
    EXPECT_EQ(write_failure_reason(dir.path() / "plain.xml", no_such), "No such file or directory");
    // The bank files say it the same way.
    EXPECT_EQ(
        std::string(output_error_message(OutputError(dir.path() / "sdo.xml", no_such)).what()),
        "Cannot create file \"" + (dir.path() / "sdo.xml").string() +
            "\". No such file or directory (a link to \"" + target.string() + "\")");
}

} // namespace
} // namespace mk
