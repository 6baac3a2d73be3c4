#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "apps/inspect_command.h"
#include "firmware_test_support.h"
#include "test_dir.h"
#include "test_files.h"

namespace mk {
namespace {

namespace fs = std::filesystem;

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// Two builds of the demo project at different times, with the same or changed tables.
class InspectDemo : public ::testing::Test {
protected:
    fs::path project(const std::string& name, const std::string& time) {
        const fs::path p = dir.path() / name;
        fs::copy(fs::path(MK_ASSETS_DIR) / "demo", p);
        fs::create_directory(p / "bin");
        edit(p);
        const std::string command = std::string("'") + MK_BUILD_COMMAND + "' --master '" +
                                    MK_ASSETS_DIR + "' --time " + time + " '" + p.string() +
                                    "' 2>/dev/null";
        EXPECT_EQ(std::system(command.c_str()), 0);
        return p;
    }
    int run(std::vector<std::string> args) {
        args.insert(args.begin(), "mosaicor-inspect");
        std::vector<const char*> argv;
        for (const auto& a : args)
            argv.push_back(a.c_str());
        out.str("");
        err.str("");
        const InspectCommand c = parse_inspect_command(static_cast<int>(argv.size()), argv.data());
        if (const auto* usage = std::get_if<UsageError>(&c)) {
            err << usage->text;
            return kInspectError;
        }
        return run_inspect_command(std::get<InspectOptions>(c), out, err);
    }

    std::function<void(const fs::path&)> edit = [](const fs::path&) {};
    test::TempDir dir;
    std::ostringstream out, err;
};

TEST_F(InspectDemo, DiffReportsExactlyTheChangedSdoRowAndAddress) {
    const fs::path a = project("a", "2024-03-05T14:37:09");
    edit = [](const fs::path& p) {
        test::write_file(p / "pargen.xml",
                         replaced(test::read_file(p / "pargen.xml"), "b4=\"50\"", "b4=\"51\""));
        test::write_file(p / "sdo.xml", replaced(test::read_file(p / "sdo.xml"),
                                                 "IndexA=\"200\" SubindexA=\"0\" devIDB=\"3\"",
                                                 "IndexA=\"210\" SubindexA=\"0\" devIDB=\"4\""));
    };
    const fs::path b = project("b", "2025-01-02T08:00:00");
    const std::string image = "New_RZ41902_15_3.sx";

    EXPECT_EQ(run({"--diff", (a / image).string(), (b / image).string()}), kInspectDifferent);
    const std::string text = out.str();
    EXPECT_NE(text.find("\nCommunication parameters\n  devnetip (IP): 192.168.1.50 \xE2\x86\x92 "
                        "192.168.1.51\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\nSDO access table\n  row 2: Addr Word 200 \xE2\x86\x92 210, ID 3 "
                        "\xE2\x86\x92 4\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\n2 differences.\n"), std::string::npos) << text;
    EXPECT_NE(text.find("(built 2024-03-05 14:37:08)"), std::string::npos);

    // The same configuration built at another time, and an image against its own bank files.
    edit = [](const fs::path&) {};
    const fs::path c = project("c", "2025-01-02T08:00:00");
    EXPECT_EQ(run({"--diff", (a / image).string(), (c / image).string()}), kInspectEqual);
    EXPECT_NE(out.str().find("The configurations are equal."), std::string::npos);
    EXPECT_EQ(run({"--diff", (b / image).string(), (b / "bin").string()}), kInspectEqual);
    EXPECT_EQ(run({"--diff", (a / image).string(), (a / "none.sx").string()}), kInspectError);
    EXPECT_NE(err.str().find("none.sx not found"), std::string::npos);
}

// Two project folders are compared file by file too: what no table shows still differs, and a
// bankg.c of another build makes a folder no image at all.
TEST_F(InspectDemo, DiffOfTwoFoldersComparesEveryBankFile) {
    const fs::path a = project("a", "2024-03-05T14:37:09");
    const fs::path b = project("b", "2025-01-02T08:00:00");
    EXPECT_EQ(run({"--diff", a.string(), b.string()}), kInspectEqual) << out.str() << err.str();
    // A project of an earlier version (no commit record) with a byte of bank 3 and a byte of bank
    // 1 past its tables changed.
    fs::remove(b / "bin" / "outputs.set");
    fs::remove(b / "bin" / "bankg.c");
    for (const auto& [file, offset] : {std::pair{"bank3.bin", 5}, std::pair{"bank1.bin", 16000}}) {
        std::string bytes = test::read_file(b / "bin" / file);
        bytes[static_cast<std::size_t>(offset)] = '\x7F';
        test::write_file(b / "bin" / file, bytes);
    }
    EXPECT_EQ(run({"--diff", a.string(), b.string()}), kInspectDifferent);
    EXPECT_NE(out.str().find("\nBank files\n  bank1.bin: 1 byte differs outside the tables, the "
                             "first at offset 16000\n  bank3.bin: 1 byte differs, the first at "
                             "offset 5\n\n2 differences.\n"),
              std::string::npos)
        << out.str();
    // bankg.c of the other build beside these bank files, copied in by hand, then as a build cut
    // off while it replaced the files leaves it (the previous version kept beside it).
    fs::copy_file(a / "bin" / "bankg.c", b / "bin" / "bankg.c");
    const std::string mixed = "mosaicor-inspect: " + (b / "bin" / "bankg.c").string() +
                              " does not hold the bytes of bank1.bin and bank2.bin: the files come "
                              "from two builds (";
    for (const auto& [way_back, why] :
         {std::pair{false, "a file was changed or copied in after its build; the next build of the "
                           "project writes a whole new set)\n"},
          std::pair{true, "a build was cut off while it replaced them; the next build of the "
                          "project puts the earlier set back)\n"}}) {
        if (way_back)
            fs::copy_file(b / "bin" / "bankg.c", b / "bin" / ".bankg.c.mk-old");
        EXPECT_EQ(run({"--diff", a.string(), b.string()}), kInspectError);
        EXPECT_EQ(err.str(), mixed + why);
    }
}

TEST_F(InspectDemo, ShowsTheDemoInColumnsAndAsJsonForPython) {
    const fs::path a = project("a", "2024-03-05T14:37:09");
    const fs::path image = a / "New_RZ41902_15_3.sx";
    ASSERT_EQ(run({image.string()}), kInspectShown) << err.str();
    const std::string text = out.str();
    EXPECT_NE(text.find("  devnetip              IP"), std::string::npos) << text;
    EXPECT_NE(text.find("SDO access table (5 rows)\n"
                        "  N  Addr Word  Hi Word  Lo Word  R/W  ID  Index   SubIndex  nByte  "
                        "SubindexA\n"
                        "  0  100        0        0        1    2   0x6200  1         1      0\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Transmit-PDO table (1 row)\n"
                        "  N  COB-ID  Dimension  Start Modbus Address\n"
                        "  0  0x203   2          300\n"),
              std::string::npos)
        << text;

    ASSERT_EQ(run({"--json", image.string()}), kInspectShown);
    const fs::path json = dir.path() / "demo.json";
    test::write_file(json, out.str());
    // Python's own JSON reader checks the output, and a script reads values from it.
    const std::string check =
        "/usr/bin/python3 -c \"import json,sys; d=json.load(open(sys.argv[1])); "
        "assert d['parameters']['devnetip']=='192.168.1.50'; "
        "assert d['sdo'][4]=={'Addr Word':4096,'Hi Word':4,'Lo Word':4,'R/W':1,'ID':2,"
        "'Index':4096,'SubIndex':0,'nByte':4,'SubindexA':0}, d['sdo'][4]; "
        "assert len(d['emcy'])==2 and len(d['emcy_word'])==3; "
        "assert d['parameters']['network_start_modbus'] is False\" '" +
        json.string() + "'";
    EXPECT_EQ(std::system(check.c_str()), 0);
}

TEST(InspectCommand, UsageErrors) {
    const auto parse = [](std::vector<const char*> args) {
        args.insert(args.begin(), "mosaicor-inspect");
        return parse_inspect_command(static_cast<int>(args.size()), args.data());
    };
    const auto usage = [&](std::vector<const char*> args) {
        const auto c = parse(std::move(args));
        const auto* u = std::get_if<UsageError>(&c);
        return u ? u->text : "accepted";
    };
    EXPECT_EQ(usage({}), "SOURCE is missing");
    EXPECT_EQ(usage({"a", "b"}), "only one SOURCE may be given");
    EXPECT_EQ(usage({"--diff", "a"}), "--diff needs two sources");
    EXPECT_EQ(usage({"--diff", "--json", "a", "b"}), "--json does not go with --diff");
    EXPECT_EQ(usage({"--yaml", "a"}), "unknown option --yaml");
    EXPECT_TRUE(std::holds_alternative<HelpRequest>(parse({"a", "--help"})));
    const auto json = parse({"--json", "x.sx"});
    ASSERT_TRUE(std::holds_alternative<InspectOptions>(json));
    EXPECT_TRUE(std::get<InspectOptions>(json).json);
}

TEST(InspectCommand, SourcesCountedAndNamedAsGiven) {
    struct Row {
        const char* name;
        std::vector<const char*> args;
        const char* usage; // nullptr: accepted with these sources
        std::vector<std::string> sources;
    };
    const std::vector<Row> rows = {
        {"three sources to compare", {"--diff", "a", "b", "c"}, "--diff needs two sources", {}},
        {"a lone hyphen is a source", {"-"}, nullptr, {"-"}},
        {"a lone hyphen is one of two", {"--diff", "-", "b"}, nullptr, {"-", "b"}},
        {"an empty source", {""}, "a SOURCE may not be empty", {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<const char*> argv = row.args;
        argv.insert(argv.begin(), "mosaicor-inspect");
        const auto c = parse_inspect_command(static_cast<int>(argv.size()), argv.data());
        if (row.usage) {
            ASSERT_TRUE(std::holds_alternative<UsageError>(c));
            EXPECT_EQ(std::get<UsageError>(c).text, row.usage);
        } else {
            ASSERT_TRUE(std::holds_alternative<InspectOptions>(c));
            const auto& sources = std::get<InspectOptions>(c).sources;
            EXPECT_EQ(std::vector<std::string>(sources.begin(), sources.end()), row.sources);
        }
    }

    // A source that cannot be read ends with its status, never 0, and says why.
    test::TempDir dir;
    InspectOptions show;
    show.sources = {dir.path() / "missing.sx"};
    InspectOptions diff = show;
    diff.diff = true;
    diff.sources.push_back(dir.path() / "missing2.sx");
    std::ostringstream out, err;
    EXPECT_EQ(run_inspect_command(show, out, err), kInspectUnreadable);
    EXPECT_EQ(run_inspect_command(diff, out, err), kInspectError);
    EXPECT_EQ(out.str(), "");
    EXPECT_NE(err.str().find("missing.sx"), std::string::npos) << err.str();
}

// Columns line up by characters, as a terminal shows them, not by bytes: in titles and in cells.
TEST(InspectCommand, ColumnsAreAsWideAsTheirCharacters) {
    const std::vector<std::string_view> names = {"\xC3\xA9"};
    ImageView view;
    view.tables.push_back({"T",
                           "t",
                           {{"Gr\xC3\xB6\xC3\x9F"
                             "e"},
                            {"x", CellForm::Choice, 0, &names},
                            {"y"}},
                           {{1, 0, 2}}});
    EXPECT_EQ(image_text(view, "s"), "Source: s\n\nCommunication parameters\n\nT (1 row)\n"
                                     "  Gr\xC3\xB6\xC3\x9F"
                                     "e  x  y\n"
                                     "  1      \xC3\xA9  2\n");
}

} // namespace
} // namespace mk
