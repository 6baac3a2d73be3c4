// Read-back of merged images by srecord, a program no one here wrote.

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/wait.h>

#include "firmware/srecord_merge.h"
#include "firmware/update_sequence.h"
#include "firmware_test_support.h"
#include "test_dir.h"
#include "test_files.h"

namespace mk {
namespace {

namespace fs = std::filesystem;

int run(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool have(const char* program) {
    return run(std::string("command -v ") + program + " >/dev/null 2>&1") == 0;
}

std::string q(const fs::path& p) {
    return "'" + p.string() + "'";
}

TEST(SrecordPeer, MergedImageReadsBackAsBanksOneAndTwoOverTheBaseImage) {
    if (!have("srec_cat") || !have("srec_cmp"))
        GTEST_SKIP() << "srecord (srec_cat, srec_cmp) is not installed";
    test::TempDir dir;
    const fs::path project = dir.path() / "plant 3";
    fs::create_directories(project / "bin");
    fs::copy(fs::path(MK_ASSETS_DIR) / "demo", project, fs::copy_options::recursive);
    test::write_file(project / "rpdodef.xml",
                     "<rpdodef><row cobid=\"0x181\" id_dev_orig=\"1\" dimension=\"8\" "
                     "posind=\"0\" n_tpdo=\"0\"/></rpdodef>");
    Banks banks;
    RecordingSink sink;
    ASSERT_TRUE(build_and_write_banks(project, banks, sink, FixedClock({2024, 3, 5, 14, 37, 9})));
    const fs::path base = fs::path(MK_ASSETS_DIR) / "RZ41902_15_3.sx";
    NoProgress progress;
    ASSERT_EQ(merge_all(base, project / "bin", project, "New_RZ41902_15_3.sx", sink, progress),
              MergeOutcome::Merged);
    const fs::path merged = project / "New_RZ41902_15_3.sx";

    EXPECT_EQ(run("srec_cat " + q(merged) + " -o /dev/null 2>" + q(dir.path() / "err.txt")), 0)
        << test::read_file(dir.path() / "err.txt");
    for (int bank : {1, 2}) {
        const fs::path out = dir.path() / ("page" + std::to_string(bank) + ".bin");
        const std::uint32_t first = bank_first_address(bank);
        ASSERT_EQ(run("srec_cat " + q(merged) + " -crop " + std::to_string(first) + " " +
                      std::to_string(first + kBankSize) + " -offset -" + std::to_string(first) +
                      " -o " + q(out) + " -binary"),
                  0);
        EXPECT_EQ(test::read_file(out),
                  test::read_file(project / "bin" / ("bank" + std::to_string(bank) + ".bin")))
            << "bank " << bank;
    }
    // Everything outside the two bank pages is the base image's, record for record.
    const std::string outside = " -exclude " + std::to_string(bank_first_address(1)) + " " +
                                std::to_string(bank_first_address(1) + kBankSize) + " -exclude " +
                                std::to_string(bank_first_address(2)) + " " +
                                std::to_string(bank_first_address(2) + kBankSize);
    EXPECT_EQ(run("srec_cmp " + q(merged) + outside + " " + q(base) + outside), 0);
    EXPECT_NE(run("srec_cmp " + q(merged) + " " + q(base) + " >/dev/null 2>&1"), 0);
}

TEST(SrecordPeer, TheImageOfTheBuildCommandHoldsTheBankFilesItWroteBesideIt) {
    // mosaicor-build merges from the banks in memory and writes the bank files and the image as
    // one set: srecord must find in the image exactly the bank files beside it.
    if (!have("srec_cat") || !have("srec_info"))
        GTEST_SKIP() << "srecord (srec_cat, srec_info) is not installed";
    test::TempDir dir;
    const fs::path project = dir.path() / "line 2";
    fs::copy(fs::path(MK_ASSETS_DIR) / "demo", project, fs::copy_options::recursive);
    fs::create_directories(project / "bin");
    ASSERT_EQ(run(std::string(MK_BUILD_COMMAND) + " --master " + q(MK_ASSETS_DIR) +
                  " --time 2024-03-05T14:37:09 " + q(project) + " 2>/dev/null"),
              0);
    const fs::path merged = project / "New_RZ41902_15_3.sx";
    EXPECT_EQ(run("srec_info " + q(merged) + " >/dev/null"), 0);
    for (int bank : {1, 2}) {
        const fs::path out = dir.path() / ("page" + std::to_string(bank) + ".bin");
        const std::uint32_t first = bank_first_address(bank);
        ASSERT_EQ(run("srec_cat " + q(merged) + " -crop " + std::to_string(first) + " " +
                      std::to_string(first + kBankSize) + " -offset -" + std::to_string(first) +
                      " -o " + q(out) + " -binary"),
                  0);
        EXPECT_EQ(test::read_file(out),
                  test::read_file(project / "bin" / ("bank" + std::to_string(bank) + ".bin")))
            << "bank " << bank;
    }
}

} // namespace
} // namespace mk
