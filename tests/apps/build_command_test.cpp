#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/wait.h>

#include "apps/build_command.h"
#include "firmware_test_support.h"
#include "test_dir.h"
#include "test_files.h"

namespace mk {
namespace {

namespace fs = std::filesystem;

const fs::path kAssets = MK_ASSETS_DIR;

ParsedCommand parse(std::vector<const char*> args) {
    args.insert(args.begin(), "mosaicor-build");
    return parse_build_command(static_cast<int>(args.size()), args.data());
}

TEST(BuildCommandLine, OptionsAndUsageErrors) {
    const auto full = parse({"--master", "/m", "--time", "2024-03-05T14:37:09", "--no-merge", "p"});
    ASSERT_TRUE(std::holds_alternative<BuildOptions>(full));
    const auto& o = std::get<BuildOptions>(full);
    EXPECT_EQ(o.project_dir, "p");
    EXPECT_EQ(o.master_dir, fs::path("/m"));
    EXPECT_FALSE(o.merge);
    ASSERT_TRUE(o.time);
    EXPECT_EQ(build_date_word(*o.time), 10648);
    EXPECT_EQ(build_time_word(*o.time), 9390);

    EXPECT_TRUE(std::holds_alternative<HelpRequest>(parse({"p", "--help"})));
    EXPECT_TRUE(
        std::holds_alternative<BuildOptions>(parse({"--time", "2024-02-29T00:00:00", "p"})));
    for (const auto& bad :
         std::vector<std::vector<const char*>>{{},
                                               {"a", "b"},
                                               {"--master"},
                                               {"--bogus", "p"},
                                               {"--time", "2024-03-05", "p"},
                                               {"--time", "2024-13-05T14:37:09", "p"},
                                               {"--time", "2024-03-05T24:00:00", "p"},
                                               {"--time", "2024-02-30T14:37:09", "p"},
                                               {"--time", "2023-02-29T14:37:09", "p"},
                                               {"--time", "2024-04-31T14:37:09", "p"}})
        EXPECT_TRUE(std::holds_alternative<UsageError>(parse(bad))) << bad.size();
}

class BuildCommand : public ::testing::Test {
protected:
    void SetUp() override {
        fs::copy(kAssets / "demo", project, fs::copy_options::recursive);
        fs::create_directory(project / "bin");
    }
    BuildOptions options() const {
        BuildOptions o;
        o.project_dir = project;
        o.master_dir = kAssets;
        o.time = BuildStamp{2024, 3, 5, 14, 37, 9};
        return o;
    }

    test::TempDir dir;
    fs::path project = dir.path() / "demo";
    RecordingSink sink;
};

TEST_F(BuildCommand, DemoBuildsAndMergesWithTheImageOfItsLayout) {
    EXPECT_EQ(run_build_command(options(), {"/nowhere"}, sink), kExitCompleted);
    // The demo has every table, so no file is reported missing.
    EXPECT_EQ(sink.texts(), std::vector<std::string>{});
    EXPECT_TRUE(fs::exists(project / "New_RZ41902_15_3.sx"));
    EXPECT_EQ(fs::file_size(project / "bin" / "bankg.c"), 235593u);

    // Layout 1 picks the other base image.
    std::string pargen = test::read_file(project / "pargen.xml");
    pargen.replace(pargen.find("type_PDO=\"0\""), 12, "type_PDO=\"1\"");
    test::write_file(project / "pargen.xml", pargen);
    EXPECT_EQ(run_build_command(options(), {"/nowhere"}, sink), kExitCompleted);
    EXPECT_TRUE(fs::exists(project / "New_RZ41902_8_8.sx"));
}

TEST_F(BuildCommand, StoppedBuildMissingImageAndNoMergeGiveTheirStatus) {
    BuildOptions o = options();
    o.master_dir = dir.path() / "empty";
    EXPECT_EQ(run_build_command(o, {"/nowhere"}, sink), kExitFailed);
    EXPECT_EQ(sink.texts().back(),
              "Error file RZ41902_15_3.sx not found\nLooked for in:\n  " + o.master_dir->string() +
                  "\nCopy RZ41902_15_3.sx, supplied with the device, into:\n  " +
                  o.master_dir->string());

    o.merge = false;
    EXPECT_EQ(run_build_command(o, {"/nowhere"}, sink), kExitCompleted);

    test::write_file(project / "sdo.xml", "<sdo><row conf=\"1\"/></sdo>");
    EXPECT_EQ(run_build_command(o, {"/nowhere"}, sink), kExitFailed);
    EXPECT_EQ(sink.texts().back(), "Error in reading file XML (sdo.xml)");
}

TEST_F(BuildCommand, WithoutMasterOptionTheFirstFolderHoldingTheImageServes) {
    BuildOptions o = options();
    o.master_dir.reset();
    const fs::path beside = dir.path() / "bin" / "MASTER", data = dir.path() / "data" / "MASTER";
    EXPECT_EQ(run_build_command(o, {beside, kAssets}, sink), kExitCompleted);
    EXPECT_TRUE(fs::exists(project / "New_RZ41902_15_3.sx"));

    sink.entries.clear();
    EXPECT_EQ(run_build_command(o, {beside, data}, sink), kExitFailed);
    EXPECT_EQ(sink.texts().back(),
              "Error file RZ41902_15_3.sx not found\nLooked for in:\n  " + beside.string() +
                  "\n  " + data.string() +
                  "\nCopy RZ41902_15_3.sx, supplied with the device, into:\n  " + data.string());
}

int run(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(BuildCommand, TwoRunsOfTheProgramWithAFixedTimeAreByteIdentical) {
    const std::string program = MK_BUILD_COMMAND;
    const std::string args = " --master '" + kAssets.string() + "' --time 2024-03-05T14:37:09 '" +
                             project.string() + "'";
    const fs::path log = dir.path() / "stderr.txt";
    ASSERT_EQ(run(program + args + " 2>'" + log.string() + "'"), 0);
    EXPECT_EQ(test::read_file(log), "");
    const std::vector<fs::path> outputs = {"bin/bank1.bin", "bin/bank2.bin", "bin/bankg.c",
                                           "New_RZ41902_15_3.sx"};
    std::vector<std::string> first;
    for (const auto& f : outputs)
        first.push_back(test::read_file(project / f));
    ASSERT_EQ(run(program + args + " 2>/dev/null"), 0);
    for (std::size_t i = 0; i < outputs.size(); ++i)
        EXPECT_EQ(test::read_file(project / outputs[i]), first[i]) << outputs[i];

    EXPECT_EQ(run(program + " --help >/dev/null"), 0);
    EXPECT_EQ(run(program + " --time yesterday x 2>/dev/null"), 2);
    EXPECT_EQ(run(program + " '" + (dir.path() / "missing").string() + "' 2>/dev/null"), 1);
}

} // namespace
} // namespace mk
