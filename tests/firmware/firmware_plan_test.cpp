#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "firmware/firmware_plan.h"
#include "firmware_test_support.h"
#include "test_dir.h"
#include "test_files.h"

namespace mk {
namespace {

namespace fs = std::filesystem;

class KeepCurrentDir : public ::testing::Test {
protected:
    ~KeepCurrentDir() override { fs::current_path(saved_); }
    fs::path saved_ = fs::current_path();
};

using FirmwarePlanTest = KeepCurrentDir;

TEST_F(FirmwarePlanTest, BaseImageFollowsTheLayoutAndMustBeInMaster) {
    test::TempDir dir;
    const fs::path master = dir.path() / "MASTER";
    fs::create_directories(master);
    test::write_file(master / "RZ41902_15_3.sx", "S9030000FC\r\n");
    RecordingSink sink;

    EXPECT_FALSE(prepare_firmware({master}, dir.path() / "p", 1, sink, true));
    ASSERT_EQ(sink.entries.size(), 1u);
    EXPECT_EQ(sink.texts()[0].substr(0, sink.texts()[0].find('\n')),
              "Error file RZ41902_8_8.sx not found");

    const auto plan = prepare_firmware({master}, dir.path() / "my project", 0, sink, true);
    ASSERT_TRUE(plan);
    EXPECT_EQ(fs::current_path(), master);
    EXPECT_EQ(plan->base_name, "RZ41902_15_3.sx");
    EXPECT_EQ(plan->output_name, "New_RZ41902_15_3.sx");
    EXPECT_EQ(plan->bank_dir, dir.path() / "my project" / "bin");
    EXPECT_EQ(plan->project_path, (dir.path() / "my project").string() + "/");
    // The quoted path, the pilcrow sign and the port index: a path with spaces stays whole.
    EXPECT_EQ(loader_parameters(*plan, 7), "\"" + (dir.path() / "my project").string() +
                                               "/New_RZ41902_15_3.sx\"\xC2\xB6"
                                               "7");
    EXPECT_EQ(base_image_name(2), "RZ41902_8_8.sx");
}

TEST_F(FirmwarePlanTest, BaseImageComesFromTheFirstMasterThatHoldsItOrTheUserIsToldWhere) {
    // An installed program: MASTER beside the program file first, then the user's data folder.
    test::TempDir dir;
    const fs::path beside = dir.path() / "bin" / "MASTER";
    const fs::path data = dir.path() / "data" / "MASTER";
    fs::create_directories(beside);
    fs::create_directories(data);
    test::write_file(beside / "RZ41902_15_3.sx", "S9030000FC\r\n");
    test::write_file(data / "RZ41902_15_3.sx", "S9030000FC\r\n");
    test::write_file(data / "RZ41902_8_8.sx", "S9030000FC\r\n");
    RecordingSink sink;

    const auto first = prepare_firmware({beside, data}, dir.path() / "p", 0, sink, true);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->base_image(), beside / "RZ41902_15_3.sx");
    EXPECT_EQ(fs::current_path(), beside);
    const auto second = prepare_firmware({beside, data}, dir.path() / "p", 1, sink, true);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->base_image(), data / "RZ41902_8_8.sx");
    EXPECT_EQ(fs::current_path(), data); // the loader starts where its image came from
    EXPECT_TRUE(sink.entries.empty());

    // Missing everywhere (a folder of the image's name is no image): the message names every
    // folder looked in and the one to put the image in.
    fs::remove(data / "RZ41902_8_8.sx");
    fs::create_directory(beside / "RZ41902_8_8.sx");
    EXPECT_FALSE(prepare_firmware({beside, data}, dir.path() / "p", 1, sink, true));
    EXPECT_EQ(sink.texts(),
              std::vector<std::string>{
                  "Error file RZ41902_8_8.sx not found\nLooked for in:\n  " + beside.string() +
                  "\n  " + data.string() +
                  "\nCopy RZ41902_8_8.sx, supplied with the device, into:\n  " + data.string() +
                  "\n" + (beside / "RZ41902_8_8.sx").string() + " is a folder, not a file"});
    EXPECT_EQ(sink.entries[0].kind, MessageKind::Error);
}

// A loader of the test's own: a script that writes its arguments and current folder to a file.
void install_recording_loader(const fs::path& program_dir, const fs::path& record) {
    const fs::path loader = program_dir / "Progmule.exe";
    test::write_file(loader, "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$1\" \"$(pwd)\" > '" +
                                 record.string() + ".tmp'\nmv '" + record.string() + ".tmp' '" +
                                 record.string() + "'\n");
    fs::permissions(loader, fs::perms::owner_all);
}

// Bank files of zeros and a base image holding one record in each bank page.
void make_project_and_master(const fs::path& project, const fs::path& master) {
    fs::create_directories(master);
    fs::create_directories(project / "bin");
    for (int n = 1; n <= 5; ++n)
        test::write_file(project / "bin" / ("bank" + std::to_string(n) + ".bin"),
                         std::string(16384, '\0'));
    test::write_file(master / "RZ41902_15_3.sx", "S0030000FC\r\nS224388000" + std::string(64, '0') +
                                                     "23\r\nS224398000" + std::string(64, '0') +
                                                     "22\r\nS9030000FC\r\n");
}

std::string wait_for(const fs::path& file) {
    for (int i = 0; i < 100 && !fs::exists(file); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return test::read_file(file);
}

TEST_F(FirmwarePlanTest, ExecuteMergesAndStartsTheLoaderDetachedWithItsParameterString) {
    test::TempDir dir;
    const fs::path master = dir.path() / "MASTER", project = dir.path() / "demo";
    make_project_and_master(project, master);
    RecordingSink sink;
    NoProgress progress;
    DetachedProgramStarter starter;
    const auto plan = prepare_firmware({master}, project, 0, sink, true);
    ASSERT_TRUE(plan);

    // Without the loader the merged image is still made, and the message follows.
    execute_update(*plan, 2, dir.path(), sink, progress, starter);
    EXPECT_TRUE(fs::exists(project / "New_RZ41902_15_3.sx"));
    EXPECT_EQ(sink.texts(), std::vector<std::string>{
                                "Progmule.exe Not Found, Procedure Aborted\nLooked for in:\n  " +
                                dir.path().string()});

    sink.entries.clear();
    const fs::path record = dir.path() / "loader-args.txt";
    install_recording_loader(dir.path(), record);
    execute_update(*plan, 2, dir.path(), sink, progress, starter);
    EXPECT_TRUE(sink.entries.empty());
    EXPECT_EQ(wait_for(record), "1\n\"" + project.string() +
                                    "/New_RZ41902_15_3.sx\"\xC2\xB6"
                                    "2\n" +
                                    master.string() + "\n");

    // A merge that fails does not hand the previous image to the loader, and says only why.
    fs::remove(record);
    fs::remove(project / "bin" / "bank2.bin");
    execute_update(*plan, 0, dir.path(), sink, progress, starter);
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"File bank2.bin Not Found,Abort Procedure"});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(fs::exists(record));
}

// A loader that is there but cannot run, or is not there at all, is reported with where it was
// looked for and why; the merged image is made all the same.
TEST_F(FirmwarePlanTest, ALoaderThatCannotBeStartedIsNamedWithTheReason) {
    test::TempDir dir;
    const fs::path master = dir.path() / "MASTER", project = dir.path() / "demo";
    const fs::path loader = dir.path() / "Progmule.exe";
    fs::create_directories(master);
    fs::create_directories(project / "bin");
    for (int n = 1; n <= 5; ++n)
        test::write_file(project / "bin" / ("bank" + std::to_string(n) + ".bin"),
                         std::string(16384, '\0'));
    test::write_file(master / "RZ41902_15_3.sx", "S224388000" + std::string(64, '0') +
                                                     "23\r\nS224398000" + std::string(64, '0') +
                                                     "22\r\nS9030000FC\r\n");
    struct Row {
        const char* name;
        std::function<void()> make;
        std::string message;
    };
    const std::string not_started = "Progmule.exe Not Started, Procedure Aborted\n";
    const std::vector<Row> rows = {
        {"a folder", [&] { fs::create_directory(loader); },
         not_started + loader.string() + " is a folder, not a file"},
        {"not executable",
         [&] {
             test::write_file(loader, "#!/bin/sh\n");
             fs::permissions(loader, fs::perms::owner_read | fs::perms::owner_write);
         },
         not_started + loader.string() + ": Permission denied (the file is not executable)"},
        {"a Windows program",
         [&] {
             test::write_file(loader, "MZ\x90");
             fs::permissions(loader, fs::perms::owner_all);
         },
         not_started + loader.string() + ": Exec format error"},
        {"a script for a missing interpreter",
         [&] {
             test::write_file(loader, "#! /nowhere/sh -e\n");
             fs::permissions(loader, fs::perms::owner_all);
         },
         not_started + loader.string() +
             ": No such file or directory (the program its first line names, /nowhere/sh, does "
             "not exist)"},
        {"a dangling link", [&] { fs::create_symlink("/nowhere/Progmule.exe", loader); },
         "Progmule.exe Not Found, Procedure Aborted\nLooked for in:\n  " + dir.path().string() +
             "\n" + loader.string() +
             " is a symbolic link to /nowhere/Progmule.exe, which does not exist"},
    };
    RecordingSink sink;
    NoProgress progress;
    DetachedProgramStarter starter;
    const auto plan = prepare_firmware({master}, project, 0, sink, true);
    ASSERT_TRUE(plan);
    for (const Row& row : rows) {
        fs::remove_all(loader);
        fs::remove(project / "New_RZ41902_15_3.sx");
        row.make();
        sink.entries.clear();
        execute_update(*plan, 0, dir.path(), sink, progress, starter);
        EXPECT_EQ(sink.texts(), std::vector<std::string>{row.message}) << row.name;
        EXPECT_TRUE(fs::exists(project / "New_RZ41902_15_3.sx")) << row.name;
    }
}

// Counts the loader starts instead of starting anything.
struct CountingStarter : ProgramStarter {
    std::error_code start(const fs::path&, const std::string&) override {
        ++started;
        return {};
    }
    int started = 0;
};

// The path goes between double quotes and is followed by ¶: either sign in it would let the
// loader read another file or port (a folder x"¶7 made it read port 7).
TEST_F(FirmwarePlanTest, TheLoaderIsNeverStartedWithAPathHoldingAQuoteOrAPilcrow) {
    for (const char* name : {"x\"7", "x\xC2\xB6"
                                     "7"}) {
        SCOPED_TRACE(name);
        test::TempDir dir;
        const fs::path project = dir.path() / name;
        make_project_and_master(project, dir.path() / "MASTER");
        test::write_file(dir.path() / "Progmule.exe", "");
        RecordingSink sink;
        NoProgress progress;
        CountingStarter starter;
        const auto plan = prepare_firmware({dir.path() / "MASTER"}, project, 0, sink, false);
        ASSERT_TRUE(plan);
        execute_update(*plan, 6, dir.path(), sink, progress, starter);
        EXPECT_EQ(starter.started, 0);
        EXPECT_EQ(sink.texts(),
                  std::vector<std::string>{
                      "Progmule.exe not started: the path of the new image holds a double quote "
                      "(\") or \xC2\xB6, which would cut the loader's command line at the wrong "
                      "place. Rename the folder and update again.\n" +
                      (project / "New_RZ41902_15_3.sx").string()});
    }
}

} // namespace
} // namespace mk
