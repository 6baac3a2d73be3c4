#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/table_file.h"
#include "test_dir.h"
#include "test_files.h"

using mk::test::read_file;

namespace {

namespace fs = std::filesystem;
using mk::TableDocument;
using mk::TableReadError;
using mk::TableWriter;

TEST(TableFile, WriterProducesTheBareDocument) {
    TableWriter w("sdo");
    w.add_row("row").set("conf", "148").set("IndexA", "0x10").set("mnemonico", "a,\"b\"<&>è");
    w.add_row("row").set("conf", "0").set("IndexA", "2").set("mnemonico", "");
    EXPECT_EQ(w.serialize(),
              "<sdo><row conf=\"148\" IndexA=\"0x10\" mnemonico=\"a,&quot;b&quot;&lt;&amp;>"
              "\xC3\xA8\"/><row conf=\"0\" IndexA=\"2\" mnemonico=\"\"/></sdo>");
}

TEST(TableFile, EmptyTableIsARootWithoutChildren) {
    EXPECT_EQ(TableWriter("rpdodef").serialize(), "<rpdodef/>");
}

TEST(TableFile, ElementTextIsWrittenForParameters) {
    TableWriter w("ParametriGenerali");
    w.add_row("nodeid").set_text("5");
    w.add_row("start").set("start", "1");
    EXPECT_EQ(w.serialize(), "<ParametriGenerali><nodeid>5</nodeid><start start=\"1\"/>"
                             "</ParametriGenerali>");
}

TEST(TableFile, IndentedFileReadsLikeACompactOne) {
    const TableDocument compact = TableDocument::parse("<a><row x=\"1\"/><row x=\"2\"/></a>");
    const TableDocument indented = TableDocument::parse(
        "<?xml version=\"1.0\"?>\r\n<other>\r\n  <r x=\"1\" />\n\t<r x=\"2\"/>\n</other>\n");
    ASSERT_EQ(compact.row_count(), 2u);
    ASSERT_EQ(indented.row_count(), 2u);
    for (std::size_t i = 0; i < 2; ++i)
        EXPECT_EQ(compact.row(i).attr("x"), indented.row(i).attr("x"));
}

TEST(TableFile, ReadingFailuresAreReadingErrors) {
    EXPECT_THROW(TableDocument::parse("<a><row x=\"1\"></a>"), TableReadError);
    EXPECT_THROW(TableDocument::parse(""), TableReadError);
    EXPECT_THROW(TableDocument::parse("not xml at all"), TableReadError);
    const TableDocument doc = TableDocument::parse("<a><row x=\"1\"/></a>");
    EXPECT_THROW(doc.row(0).attr("y"), TableReadError);
    EXPECT_FALSE(doc.row(0).optional_attr("y").has_value());
    EXPECT_THROW(doc.row(1), TableReadError);
    try {
        doc.row(0).attr("y");
    } catch (const TableReadError& e) {
        EXPECT_STREQ(e.what(), "Error in reading file XML");
    }
}

// A file that a strict XML reader refuses is a reading error here too, rather than a table whose
// texts would change on the next save.
TEST(TableFile, OnlyWellFormedFilesAreRead) {
    const struct {
        const char* name;
        const char* text;
    } refused[] = {
        {"a second root element", "<a/><b/>"},
        {"text after the root", "<a><row x=\"1\"/></a>junk"},
        {"a reference after the root", "<a/>&#32;"},
        {"a CDATA section after the root", "<a/><![CDATA[x]]>"},
        {"an attribute given twice", "<a><row x=\"1\" x=\"2\"/></a>"},
        {"an entity nobody defined", "<a><row x=\"a&foo;b\"/></a>"},
        {"a bare ampersand", "<a><row x=\"a & b\"/></a>"},
        {"an undefined entity in element text", "<a>1 &bar; 2</a>"},
        {"a character reference without digits", "<a><row x=\"&#xZZ;\"/></a>"},
        {"a reference without a name", "<a><row x=\"&;\"/></a>"},
        {"an undefined entity after markup in a value", "<a><row y=\"<!--\" x=\"&foo;\"/></a>"},
        {"an undefined entity beside a document type",
         "<!DOCTYPE a [<!ENTITY foo \"x\">]><a><row x=\"&foo;\"/></a>"},
    };
    for (const auto& row : refused) {
        SCOPED_TRACE(row.name);
        EXPECT_THROW(TableDocument::parse(row.text), TableReadError);
    }

    // What a strict reader accepts still reads, references resolved.
    const TableDocument doc = TableDocument::parse("<?xml version=\"1.0\"?><!-- note --><a><row "
                                                   "x=\"a&amp;b &lt;&gt;&quot;&apos;&#65;&#x42;\"/>"
                                                   "<![CDATA[x & y]]></a>\n");
    EXPECT_EQ(doc.row(0).attr("x"), "a&b <>\"'AB");
    // "&" is no reference inside comments, CDATA sections and processing instructions, nor
    // blank CDATA outside the root text.
    EXPECT_EQ(
        TableDocument::parse("<a><!-- & --><?pi & ?><row x=\"1\"/></a><![CDATA[ ]]>").row_count(),
        1u);
}

TEST(TableFile, StrayTextBetweenRowsCountsAsARowWithoutFields) {
    const TableDocument doc = TableDocument::parse("<a><row x=\"1\"/>junk<row x=\"2\"/></a>");
    EXPECT_EQ(doc.row_count(), 3u);
    EXPECT_THROW(doc.row(1).attr("x"), TableReadError);
}

TEST(TableFile, SaveRoundTripsAndReplacesTheWholeFile) {
    mk::test::TempDir dir;
    const fs::path file = dir.path() / "sdo.xml";
    { std::ofstream(file) << "old content"; }
    TableWriter w("sdo");
    w.add_row("row").set("mnemonico", "valvola, \"uscita\" <1> & più");
    w.save(file);
    const TableDocument doc = TableDocument::load(file);
    EXPECT_EQ(doc.row(0).attr("mnemonico"), "valvola, \"uscita\" <1> & più");
    // Nothing is left beside the file.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(TableFile, FailedSaveLeavesThePreviousFile) {
    mk::test::TempDir dir;
    TableWriter w("sdo");
    for (int i = 0; i < 50; ++i)
        w.add_row("row").set("conf", "148").set("mnemonico", "a long enough text");
    EXPECT_THROW(w.save(dir.path() / "missing-folder" / "sdo.xml"), mk::UserError);

    // A write that fails half-way (here: a file size limit, which binds even an administrator)
    // leaves the table already there untouched and no temporary file behind.
    const fs::path kept = dir.path() / "sdo.xml";
    { std::ofstream(kept) << "<keep/>"; }
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_THROW(w.save(kept), mk::UserError);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, old_handler);

    EXPECT_EQ(read_file(kept), "<keep/>");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(TableFile, MissingAndOversizedFilesAreReadingErrors) {
    mk::test::TempDir dir;
    EXPECT_THROW(TableDocument::load(dir.path() / "none.xml"), TableReadError);
    const fs::path big = dir.path() / "big.xml";
    {
        std::ofstream out(big, std::ios::binary);
        out.seekp(static_cast<std::streamoff>(mk::kMaxTableFileSize) + 1);
        out.put('x');
    }
    EXPECT_THROW(TableDocument::load(big), TableReadError);
}

// What another program may leave in a table file's place: a folder, a named pipe, a device.
TEST(TableFile, WhatIsNoPlainFileIsAReadingErrorWithoutWaitingForAWriter) {
    mk::test::TempDir dir;
    const fs::path folder = dir.path() / "folder.xml";
    const fs::path pipe = dir.path() / "pipe.xml";
    const fs::path device = dir.path() / "device.xml";
    fs::create_directory(folder);
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    fs::create_symlink("/dev/null", device);
    for (const fs::path& p : {folder, pipe, device}) {
        auto reading = std::async(std::launch::async, [&p] {
            try {
                TableDocument::load(p);
                return std::string("read");
            } catch (const TableReadError& e) {
                return e.where();
            }
        });
        if (reading.wait_for(std::chrono::seconds(2)) == std::future_status::timeout) {
            ADD_FAILURE() << p.filename() << ": reading waits for a writer";
            ::close(::open(p.c_str(), O_WRONLY | O_NONBLOCK)); // lets the reader go on
        }
        EXPECT_EQ(reading.get(), ": the file cannot be read") << p.filename();
    }
}

TEST(TableFile, OnlyTablesOfAPlausibleSizeAreRead) {
    // The largest table a project can hold is well under a megabyte; a file of several is not
    // a table and is refused before it is parsed, as is a single field longer than any label.
    mk::test::TempDir dir;
    std::string rows;
    for (int i = 0; i < 1500; ++i)
        rows += "<row conf=\"148\" IndexA=\"" + std::to_string(i) +
                "\" SubindexA=\"0\" devIDB=\"5\" IndexB=\"0x2000\" SubindexB=\"1\" "
                "nbyteB=\"4\" mnemonico=\"" +
                std::string(200, 'm') + "\"/>";
    const fs::path largest = dir.path() / "sdo.xml";
    std::ofstream(largest, std::ios::binary) << "<sdo>" << rows << "</sdo>";
    EXPECT_EQ(TableDocument::load(largest).row_count(), 1500u);

    const fs::path big = dir.path() / "big.xml";
    std::ofstream(big, std::ios::binary)
        << "<sdo>" << rows << rows << rows << rows << rows << rows << rows << rows << rows << rows
        << rows << rows << "</sdo>";
    ASSERT_GT(fs::file_size(big), 5u * 1024 * 1024);
    EXPECT_THROW(TableDocument::load(big), TableReadError);

    const std::string label(mk::kMaxFieldLength, 'x');
    EXPECT_NO_THROW(TableDocument::parse("<sdo><row mnemonico=\"" + label + "\"/></sdo>"));
    EXPECT_THROW(TableDocument::parse("<sdo><row mnemonico=\"" + label + "y\"/></sdo>"),
                 TableReadError);
    EXPECT_THROW(TableDocument::parse("<p><idA>" + label + "1</idA></p>"), TableReadError);
}

} // namespace
