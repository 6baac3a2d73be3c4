#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <system_error>

#include "shell/directories.h"
#include "shell/project_ops.h"
#include "shell/settings_file.h"
#include "tables/pargen_table.h"
#include "tables/tpdo_schema.h"
#include "test_dir.h"
#include "test_files.h"

using mk::test::read_file;
using mk::test::write_file;

namespace {

namespace fs = std::filesystem;
using mk::ProjectState;
using mk::test::TempDir;

// A pargen.xml whose 22nd child carries the given type_PDO text.
std::string pargen_with_type_pdo(const std::string& type_pdo, int children = 22) {
    std::string xml = "<ParametriGenerali>";
    for (int i = 0; i < children; ++i)
        xml += i == 21 ? "<type_PDO type_PDO=\"" + type_pdo + "\"/>" : "<p v=\"0\"/>";
    return xml + "</ParametriGenerali>";
}

TEST(StartUp, EmptyProgramFolderGetsItsFoldersAndTheBaseCaption) {
    TempDir dir;
    ProjectState state;
    EXPECT_EQ(mk::start_up(state, dir.path()),
              "Veltrisa Mosaicor RQ41902 Translate CAN TO MODBUS :");
    EXPECT_TRUE(fs::is_directory(dir.path() / "MASTER"));
    EXPECT_TRUE(fs::is_directory(dir.path() / "PROJECTS"));
    EXPECT_EQ(state.master_dirs, std::vector<fs::path>{dir.path() / "MASTER"});
    EXPECT_EQ(state.project_dir, dir.path() / "PROJECTS");
    EXPECT_EQ(state.project_name, "");
    EXPECT_EQ(state.table_path(mk::tpdo_file::schema),
              dir.path() / "PROJECTS" / "Transmit_Pdo.xml");
    EXPECT_EQ(state.device_address, "0.0.0.0");
}

TEST(StartUp, RemembersTheLastProjectWhileItsFolderExists) {
    TempDir dir;
    fs::create_directories(dir.path() / "PROJECTS" / "plant3");
    write_file(dir.path() / "Mosaicor_Kv.ini", "[lastproj]\r\nprojectname=plant3\r\n");
    ProjectState state;
    EXPECT_EQ(mk::start_up(state, dir.path()),
              "Veltrisa Mosaicor RQ41902 Translate CAN TO MODBUS :plant3");
    EXPECT_EQ(state.project_dir, dir.path() / "PROJECTS" / "plant3");

    // Deleted since: the base caption and PROJECTS, but the name is kept to be written back.
    fs::remove(dir.path() / "PROJECTS" / "plant3");
    ProjectState again;
    EXPECT_EQ(mk::start_up(again, dir.path()), mk::caption_for(""));
    EXPECT_EQ(again.project_dir, dir.path() / "PROJECTS");
    EXPECT_EQ(again.project_name, "plant3");
}

TEST(StartUp, RemembersNoFolderOutsideProjects) {
    TempDir dir;
    fs::create_directories(dir.path() / "elsewhere");
    for (const char* name : {"../elsewhere", "/tmp"}) {
        write_file(dir.path() / "Mosaicor_Kv.ini", std::string("[lastproj]\nprojectname=") + name);
        ProjectState state;
        mk::start_up(state, dir.path());
        EXPECT_EQ(state.project_dir, dir.path() / "PROJECTS") << name;
    }
}

TEST(StartUp, TheRememberedNameIsTheFolderItMakes) {
    TempDir dir;
    fs::create_directories(dir.path() / "PROJECTS" / "line1" / "cell2");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"line1/", "line1"},
        {"./line1", "line1"},
        {"line1/./cell2", "line1/cell2"},
        {"line1//cell2/", "line1/cell2"},
        {"./line1/cell2/.", "line1/cell2"}};
    for (const auto& [written, name] : cases) {
        SCOPED_TRACE("written as \"" + std::string(written) + "\"");
        write_file(dir.path() / "Mosaicor_Kv.ini", "[lastproj]\nprojectname=" + written + "\n");
        ProjectState state;
        EXPECT_EQ(mk::start_up(state, dir.path()), mk::caption_for(name)) << written;
        EXPECT_EQ(state.project_name, name);
        EXPECT_EQ(state.project_dir, dir.path() / "PROJECTS" / name);
        EXPECT_EQ(state.project_dir.string().back(), name.back());
    }
    // A name that makes the PROJECTS folder itself is no project.
    write_file(dir.path() / "Mosaicor_Kv.ini", "[lastproj]\nprojectname=./\n");
    ProjectState state;
    EXPECT_EQ(mk::start_up(state, dir.path()), mk::caption_for(""));
    EXPECT_EQ(state.project_dir, dir.path() / "PROJECTS");
}

TEST(SettingsFile, ReadsTheNameWhateverTheFileHolds) {
    TempDir dir;
    const fs::path ini = dir.path() / "Mosaicor_Kv.ini";
    EXPECT_EQ(mk::read_last_project(ini), "");
    write_file(ini, "[other]\nprojectname=no\n[LastProj]\nProjectName=a b\n");
    EXPECT_EQ(mk::read_last_project(ini), "a b");
    write_file(ini, "[lastproj]\n");
    EXPECT_EQ(mk::read_last_project(ini), "");
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 131 + 7) % 256);
    write_file(ini, garbage);
    EXPECT_EQ(mk::read_last_project(ini), "");
    write_file(ini, std::string("[lastproj]\nprojectname=a\0b\n", 26));
    EXPECT_EQ(mk::read_last_project(ini), "");
}

TEST(SettingsFile, WritesTheSectionAndAnEmptyName) {
    TempDir dir;
    const fs::path ini = dir.path() / "Mosaicor_Kv.ini";
    mk::write_last_project(ini, "");
    EXPECT_EQ(read_file(ini), "[lastproj]\r\nprojectname=\r\n");
    mk::write_last_project(ini, "plant3");
    EXPECT_EQ(read_file(ini), "[lastproj]\r\nprojectname=plant3\r\n");
    // Blanks at either end of a name survive the trimming of values by quotes.
    for (const char* name : {" spaced/nested", "tail ", "\"quoted\"", "in \"side"}) {
        mk::write_last_project(ini, name);
        EXPECT_EQ(mk::read_last_project(ini), name);
    }
}

// A line break never gets into the value: such a name is stored as no project. Bytes that are
// not UTF-8 are kept, and the next start finds their folder.
TEST(SettingsFile, ANameWithALineBreakIsNotWrittenAndOddBytesRoundTrip) {
    TempDir dir;
    const fs::path ini = dir.path() / "Mosaicor_Kv.ini";
    for (const char* name : {"a\nb", "a\r\n[x]\r\nprojectname=evil", "trail\r"}) {
        write_file(ini, "[lastproj]\r\nprojectname=old\r\n[other]\r\n");
        mk::write_last_project(ini, name);
        EXPECT_EQ(read_file(ini), "[lastproj]\r\nprojectname=\r\n[other]\r\n");
    }
    const std::string odd = "caf\xE9 \x85";
    fs::create_directories(dir.path() / "PROJECTS" / odd);
    mk::write_last_project(ini, odd);
    ProjectState state;
    mk::start_up(state, dir.path());
    EXPECT_EQ(state.project_dir, dir.path() / "PROJECTS" / odd);
}

TEST(SettingsFile, ReadsAsIniFilesAreRead) {
    TempDir dir;
    const fs::path ini = dir.path() / "Mosaicor_Kv.ini";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"[lastproj]\r\nprojectname = plant3\r\n", "plant3"},
        {"\xEF\xBB\xBF[lastproj]\nprojectname=plant3\n", "plant3"},
        {"[ LASTPROJ ]\n\tPROJECTNAME\t=\tplant3 \t\n", "plant3"},
        {"[lastproj]\nprojectname=\"  two  \"\n", "  two  "},
        {"[lastproj]\nprojectname=a b\nprojectname=second\n", "a b"},
        {"[lastproj]\n; projectname=commented\nprojectnames=other\n", ""},
    };
    for (const auto& [text, name] : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::string(text)));
        write_file(ini, text);
        EXPECT_EQ(mk::read_last_project(ini), name) << text;
    }
}

TEST(SettingsFile, WritingChangesOnlyTheProjectName) {
    TempDir dir;
    const fs::path ini = dir.path() / "Mosaicor_Kv.ini";
    const std::string head = "\xEF\xBB\xBF; kept by hand\r\n[window]\r\nx = 10\r\n\r\n";
    const std::string tail = "[other]\r\nprojectname=not ours\r\n";
    write_file(ini, head + "[LastProj]\r\nkeep=1\r\nProjectName = old\r\nafter=2\r\n" + tail);
    mk::write_last_project(ini, "new");
    EXPECT_EQ(read_file(ini),
              head + "[LastProj]\r\nkeep=1\r\nprojectname=new\r\nafter=2\r\n" + tail);

    // A section without the key gets it at its end, before the blank lines that part it from
    // the next section; a file without the section gets both, with its own line ends.
    write_file(ini, "[lastproj]\nkeep=1\n\n[other]\na=b");
    mk::write_last_project(ini, "p");
    EXPECT_EQ(read_file(ini), "[lastproj]\nkeep=1\nprojectname=p\n\n[other]\na=b");
    write_file(ini, "[other]\na=b");
    mk::write_last_project(ini, "p");
    EXPECT_EQ(read_file(ini), "[other]\na=b\n[lastproj]\nprojectname=p\n");
    EXPECT_EQ(mk::read_last_project(ini), "p");

    // Lines that are neither sections nor keys are kept as they are.
    write_file(ini, "\x01\x02garbage\r\n");
    mk::write_last_project(ini, "");
    EXPECT_EQ(read_file(ini), "\x01\x02garbage\r\n[lastproj]\r\nprojectname=\r\n");
}

// Files as people and other programs leave them: the name written goes where the next start reads
// it, and every line around it keeps its line end.
TEST(SettingsFile, TheWrittenNameIsTheOneReadBack) {
    TempDir dir;
    const fs::path ini = dir.path() / "Mosaicor_Kv.ini";
    struct Row {
        const char* name;
        std::string before;
        std::string after; // once "p" is written
    };
    const std::vector<Row> rows = {
        {"section without a final line end", "[lastproj]", "[lastproj]\r\nprojectname=p\r\n"},
        {"two sections of the name", "[lastproj]\na=1\n[lastproj]\nb=2\n",
         "[lastproj]\na=1\nprojectname=p\n[lastproj]\nb=2\n"},
        {"replaced last line with LF in a CR LF file", "[lastproj]\r\nprojectname=old\n",
         "[lastproj]\r\nprojectname=p\n"},
        {"replaced last line with CR LF in an LF file", "[lastproj]\nprojectname=old\r\n",
         "[lastproj]\nprojectname=p\r\n"},
        {"replaced last line without a line end", "[lastproj]\nprojectname=old",
         "[lastproj]\nprojectname=p\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        write_file(ini, row.before);
        mk::write_last_project(ini, "p");
        EXPECT_EQ(read_file(ini), row.after);
        EXPECT_EQ(mk::read_last_project(ini), "p");
    }

    // A lone quote is the name itself, not half a pair.
    write_file(ini, "[lastproj]\nprojectname=\"\n");
    EXPECT_EQ(mk::read_last_project(ini), "\"");

    // A file over the size limit is not ours: it names no project and is left as it is.
    const std::string big = "[lastproj]\r\nprojectname=big\r\n" + std::string(1024 * 1024, ';');
    write_file(ini, big);
    EXPECT_EQ(mk::read_last_project(ini), "");
    EXPECT_THROW(mk::write_last_project(ini, "p"), std::system_error);
    EXPECT_TRUE(read_file(ini) == big);
}

TEST(PdoLayout, ComesFromTheTwentySecondChildOrIsZero) {
    TempDir dir;
    const fs::path pargen = dir.path() / "pargen.xml";
    EXPECT_EQ(mk::load_pdo_layout(dir.path()), 0);
    write_file(pargen, pargen_with_type_pdo("1"));
    EXPECT_EQ(mk::load_pdo_layout(dir.path()), 1);
    write_file(pargen, pargen_with_type_pdo("2"));
    EXPECT_EQ(mk::load_pdo_layout(dir.path()), 2);
    write_file(pargen, pargen_with_type_pdo("abc"));
    EXPECT_EQ(mk::load_pdo_layout(dir.path()), 0);
    write_file(pargen, pargen_with_type_pdo("1", 16));
    EXPECT_EQ(mk::load_pdo_layout(dir.path()), 0);
    write_file(pargen, "this is not xml");
    EXPECT_EQ(mk::load_pdo_layout(dir.path()), 0);
}

class ProjectOps : public ::testing::Test {
protected:
    void SetUp() override { mk::start_up(state, dir.path()); }
    fs::path projects() const { return dir.path() / "PROJECTS"; }
    TempDir dir;
    ProjectState state;
    mk::RecordingSink sink;
};

TEST_F(ProjectOps, OpeningNamesTheProjectByItsPathBelowProjects) {
    fs::create_directories(projects() / "line1" / "cell2");
    write_file(projects() / "line1" / "cell2" / "pargen.xml", pargen_with_type_pdo("1"));
    EXPECT_EQ(mk::apply_opened_project(state, projects() / "line1" / "cell2"),
              "Veltrisa Mosaicor RQ41902 Translate CAN TO MODBUS :line1/cell2");
    EXPECT_EQ(state.project_name, "line1/cell2");
    EXPECT_EQ(state.pdo_layout, 1);

    EXPECT_EQ(mk::apply_opened_project(state, projects()), mk::caption_for(""));
    EXPECT_EQ(state.project_name, "");
    EXPECT_EQ(state.pdo_layout, 0);
}

TEST_F(ProjectOps, CancelAfterTheFolderVanishedLeavesNoProject) {
    fs::create_directories(projects() / "gone");
    mk::apply_opened_project(state, projects() / "gone");
    fs::remove(projects() / "gone");
    mk::forget_vanished_project_dir(state);
    mk::apply_opened_project(state, std::nullopt);
    EXPECT_FALSE(state.has_project_dir());
    EXPECT_EQ(state.project_name, "");

    // A cancel while the folder is still there changes nothing.
    fs::create_directories(projects() / "kept");
    mk::apply_opened_project(state, projects() / "kept");
    mk::forget_vanished_project_dir(state);
    mk::apply_opened_project(state, std::nullopt);
    EXPECT_EQ(state.project_dir, projects() / "kept");
    EXPECT_EQ(state.project_name, "kept");
}

TEST_F(ProjectOps, NewProjectNeedsADestinationAndAName) {
    EXPECT_FALSE(mk::create_project(state, "", "", sink));
    EXPECT_EQ(sink.texts(), (std::vector<std::string>{"directory destination not valid",
                                                      "Name project not valid"}));
    sink.entries.clear();
    EXPECT_FALSE(mk::create_project(state, projects(), "", sink));
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"Name project not valid"});
}

TEST_F(ProjectOps, NewProjectCreatesItsFolderWithBinAndBecomesCurrent) {
    ASSERT_TRUE(mk::create_project(state, projects(), " plant 4", sink));
    EXPECT_TRUE(sink.entries.empty());
    EXPECT_TRUE(fs::is_directory(projects() / " plant 4" / "bin"));
    EXPECT_EQ(state.project_name, " plant 4");
    EXPECT_EQ(state.project_dir, projects() / " plant 4");
    EXPECT_TRUE(fs::is_empty(projects() / " plant 4" / "bin"));

    EXPECT_FALSE(mk::create_project(state, projects(), " plant 4", sink));
    EXPECT_EQ(sink.texts(),
              std::vector<std::string>{"Name project not valid because directory already exists"});
}

TEST_F(ProjectOps, NestedNamesNeedTheirParentFolder) {
    fs::create_directories(projects() / "line1");
    ASSERT_TRUE(mk::create_project(state, projects(), "line1/cell2", sink));
    EXPECT_EQ(state.project_name, "line1/cell2");
    EXPECT_TRUE(fs::is_directory(projects() / "line1" / "cell2" / "bin"));

    const fs::path before = state.project_dir;
    EXPECT_FALSE(mk::create_project(state, projects(), "nowhere/cell", sink));
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"Project not created: the folder \"" +
                                                     (projects() / "nowhere/cell").string() +
                                                     "\" cannot be made (No such file or "
                                                     "directory)."});
    EXPECT_EQ(state.project_dir, before);

    // With nothing writable start-up could not make PROJECTS; it is made when it can be, and
    // the message says why when it cannot.
    sink.entries.clear();
    write_file(dir.path() / "file", "");
    EXPECT_FALSE(mk::create_project(state, dir.path() / "file" / "PROJECTS", "p", sink));
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"Project not created: the folder of the "
                                                     "projects, \"" +
                                                     (dir.path() / "file/PROJECTS").string() +
                                                     "\", does not exist and cannot be made (Not "
                                                     "a directory)."});
    EXPECT_TRUE(mk::create_project(state, dir.path() / "gone" / "PROJECTS", "p", sink));
}

// A line break would split the settings file's line; a quote or ¶ the loader's command line.
TEST_F(ProjectOps, NewProjectRefusesNamesThatWouldBreakTheSettingsOrTheLoader) {
    using namespace std::string_literals;
    for (const std::string& name : {"a\nb"s, "a\rb"s, "a\tb"s, "a\x7f"s, "a\xC2\x85z"s, "x\"7"s,
                                    "x\xC2\xB6"s + "7", "a\0b"s}) {
        SCOPED_TRACE(::testing::PrintToString(name));
        sink.entries.clear();
        EXPECT_FALSE(mk::create_project(state, projects(), name, sink));
        EXPECT_EQ(sink.texts(), std::vector<std::string>{"Name project not valid because it holds "
                                                         "a control character, a double quote "
                                                         "(\") or \xC2\xB6"});
    }
    EXPECT_TRUE(fs::is_empty(projects()));
    EXPECT_TRUE(mk::create_project(state, projects(), "caf\xC3\xA9 \xC3\xB6 'x' #1", sink));
}

TEST_F(ProjectOps, NewProjectNamesTheFolderItMakes) {
    ASSERT_TRUE(mk::create_project(state, projects(), "trail/", sink));
    EXPECT_EQ(state.project_name, "trail");
    EXPECT_EQ(state.project_dir, projects() / "trail");
    EXPECT_TRUE(fs::is_directory(projects() / "trail" / "bin"));
    ASSERT_TRUE(mk::create_project(state, projects(), "./trail/./inner//", sink));
    EXPECT_EQ(state.project_name, "trail/inner");
    EXPECT_EQ(state.project_dir, projects() / "trail" / "inner");
    EXPECT_TRUE(sink.entries.empty());

    // "./" makes the PROJECTS folder, which exists already.
    EXPECT_FALSE(mk::create_project(state, projects(), "./", sink));
    EXPECT_EQ(sink.texts(),
              std::vector<std::string>{"Name project not valid because directory already exists"});
    EXPECT_EQ(state.project_name, "trail/inner");
}

TEST_F(ProjectOps, NamesThatWouldLeaveTheDestinationAreRefused) {
    for (const std::string& name : std::vector<std::string>{"../escaped", "/tmp/abs"}) {
        EXPECT_FALSE(mk::create_project(state, projects(), name, sink)) << name;
    }
    EXPECT_EQ(sink.texts(),
              std::vector<std::string>(2, "Name project not valid because it names a folder "
                                          "outside the folder of the projects"));
    EXPECT_FALSE(fs::exists(dir.path() / "escaped"));
    EXPECT_FALSE(fs::exists(projects() / "a"));
    EXPECT_EQ(state.project_dir, projects());
}

TEST(ProgramDir, FallsBackToTheUserDataFolderWhenNotWritable) {
    TempDir dir;
    EXPECT_EQ(mk::choose_program_dir(dir.path(), nullptr, "/nonexistent"), dir.path());
    // A folder that cannot be written even by an administrator: one that is not there.
    const fs::path unwritable = dir.path() / "no-such-folder";
    EXPECT_EQ(mk::choose_program_dir(unwritable, (dir.path() / "data").c_str(), nullptr),
              dir.path() / "data" / "Mosaicor_Kv");
    EXPECT_TRUE(fs::is_directory(dir.path() / "data" / "Mosaicor_Kv"));
    EXPECT_EQ(mk::choose_program_dir(unwritable, "", dir.path().c_str()),
              dir.path() / ".local" / "share" / "Mosaicor_Kv");
}

TEST(ProgramDir, AnInstalledProgramFolderIsNeverWrittenEvenWhenItCouldBe) {
    TempDir dir;
    const fs::path bin = dir.path() / "usr" / "bin";
    const fs::path data = dir.path() / "data";
    fs::create_directories(bin);
    fs::create_directories(dir.path() / "usr" / "share" / "applications");
    EXPECT_EQ(mk::choose_program_dir(bin, data.c_str(), nullptr), bin);
    // With its menu entry installed beside it, as /usr/bin is for root: writable, yet left alone.
    write_file(dir.path() / "usr" / "share" / "applications" /
                   "example.veltrisa.mosaicor_kv.desktop",
               "[Desktop Entry]\n");
    EXPECT_TRUE(mk::is_installed_program_folder(bin));
    EXPECT_EQ(mk::choose_program_dir(bin, data.c_str(), nullptr), data / "Mosaicor_Kv");
    EXPECT_TRUE(fs::is_empty(bin));
}

TEST(StartUp, AnInstalledProgramFindsMasterBesideItselfFirstAndWritesOnlyItsDataFolder) {
    TempDir dir;
    const fs::path bin = dir.path() / "bin", data = dir.path() / "data";
    fs::create_directories(bin / "MASTER");
    fs::create_directories(data);
    ProjectState state;
    EXPECT_EQ(mk::start_up(state, mk::ProgramFolders(data, bin)), mk::caption_for(""));
    EXPECT_EQ(state.master_dirs, (std::vector<fs::path>{bin / "MASTER", data / "MASTER"}));
    EXPECT_EQ(state.program_dir, data);
    EXPECT_EQ(state.project_dir, data / "PROJECTS");
    EXPECT_TRUE(fs::is_directory(data / "MASTER")); // where the user puts the base images
    EXPECT_TRUE(fs::is_directory(data / "PROJECTS"));

    // Nothing is added beside the program file, with or without a MASTER there.
    fs::remove(bin / "MASTER");
    ProjectState again;
    mk::start_up(again, mk::ProgramFolders(data, bin));
    EXPECT_TRUE(fs::is_empty(bin));
    EXPECT_EQ(again.master_dirs.front(), bin / "MASTER");
}

// An installation keeps no data beside its programs: base images are looked for in the shared
// data folders (the administrator's), then in the user's.
TEST(StartUp, AnInstalledProgramLooksInTheSharedDataFoldersThenTheUsers) {
    TempDir dir;
    const fs::path usr = dir.path() / "usr", data = dir.path() / "data";
    fs::create_directories(usr / "bin");
    fs::create_directories(usr / "share" / "applications");
    write_file(usr / "share" / "applications" / "example.veltrisa.mosaicor_kv.desktop",
               "[Desktop Entry]\n");
    const mk::ProgramFolders installed(data, usr / "bin");
    const fs::path own = usr / "share" / "mosaicor-kv" / "MASTER";
    EXPECT_EQ(mk::master_search_dirs(installed, "/opt/share:relative:/srv/data/"),
              (std::vector<fs::path>{"/opt/share/mosaicor-kv/MASTER",
                                     "/srv/data/mosaicor-kv/MASTER", own, data / "MASTER"}));
    EXPECT_EQ(mk::master_search_dirs(installed, ""),
              (std::vector<fs::path>{"/usr/local/share/mosaicor-kv/MASTER",
                                     "/usr/share/mosaicor-kv/MASTER", own, data / "MASTER"}));
    // A portable copy looks beside itself first, whatever the data folders.
    EXPECT_EQ(mk::master_search_dirs(mk::ProgramFolders(data, dir.path()), "/opt/share"),
              (std::vector<fs::path>{dir.path() / "MASTER", data / "MASTER"}));
}

} // namespace
