// What every table editor does for the user's work: a file it could not read to its end is not
// written over, a file changed elsewhere is not replaced without asking, edits are not thrown
// away without asking, and what "Up date Device" would refuse for lack of room is said at "OK".
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>

#include "core/edit_session.h"
#include "core/project_state.h"
#include "image/capacity_check.h"
#include "image/image_builder.h"
#include "tables/emcy_table.h"
#include "tables/pargen_table.h"
#include "tables/windows/TFInfopdoMB.h"
#include "tables/windows/TFSdoMB.h"
#include "tables/windows/TFTPdoMB.h"
#include "tables/windows/TFWEmcyMB2.h"
#include "tables/windows/TFemcyMB2.h"
#include "tables/windows/TFpargen.h"
#include "tables/windows/TFpdoMB.h"
#include "test_dir.h"
#include "test_files.h"

using mk::test::read_file;

namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;
using Files = std::map<std::string, std::string>;

template <typename T> T* child(QWidget* window, const char* name) {
    T* found = window->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// One editor window as a user drives it: "OK", and one change made as the user makes it.
struct Editor {
    std::unique_ptr<QDialog> dialog;
    std::function<void()> ok;
    std::function<void()> edit;
};
using MakeEditor = std::function<Editor(mk::ProjectState&, mk::MessageSink&)>;

template <typename W> Editor editor(W* w, std::function<void(W*)> edit) {
    return {std::unique_ptr<QDialog>(w), [w] { w->BitBtn1Click(); }, [w, edit] { edit(w); }};
}
template <typename W> MakeEditor gridEditor(int column, const char* text) {
    return [=](mk::ProjectState& s, mk::MessageSink& sink) {
        return editor<W>(new W(s, sink), [=](W* w) {
            w->model()->setData(w->model()->index(0, column), QString::fromUtf8(text));
        });
    };
}
Editor storedPdoEditor(mk::ProjectState& s, mk::MessageSink& sink) {
    return editor<mk::TFInfopdoMB>(new mk::TFInfopdoMB(s, sink), [](auto* w) {
        w->lbPdoClick(0);
        child<QLineEdit>(w, "indexEdit")->setText("55");
        w->bbNewClick();
    });
}
Editor emcyEditor(mk::ProjectState& s, mk::MessageSink& sink) {
    return editor<mk::TFemcyMB2>(new mk::TFemcyMB2(s, sink), [](auto* w) {
        for (const char* field : {"idEmcyEdit", "errorCodeEdit", "errorRegisterEdit"})
            child<QLineEdit>(w, field)->setText("9");
        w->btnNewEmcyClick();
    });
}
Editor emcyWordEditor(mk::ProjectState& s, mk::MessageSink& sink) {
    return editor<mk::TFWEmcyMB2>(new mk::TFWEmcyMB2(s, sink), [](auto* w) {
        auto* list = child<QTreeView>(w, "emcyList");
        list->selectionModel()->select(list->model()->index(0, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        child<QLineEdit>(w, "registerEdit")->setText("300");
        child<QAbstractButton>(w, "hiByte1")->setChecked(true);
        w->btnNewClick();
    });
}
Editor pargenEditor(mk::ProjectState& s, mk::MessageSink& sink) {
    return editor<mk::TFpargen>(new mk::TFpargen(s, sink, {}),
                                [](auto* w) { w->devIdA()->setText("9"); });
}

const std::string kSdo =
    "<sdo><row conf=\"0\" IndexA=\"100\" devIDB=\"1\" IndexB=\"4096\" "
    "SubindexB=\"0\" nbyteB=\"1\" mnemonico=\"a\"/><row conf=\"0\" "
    "IndexA=\"101\" devIDB=\"1\" IndexB=\"4097\" SubindexB=\"0\" nbyteB=\"1\"/>"
    "</sdo>";
const std::string kRpdo = "<rpdodef><row cobid=\"0x181\" id_dev_orig=\"1\" dimension=\"8\"/>"
                          "<row cobid=\"0x201\" id_dev_orig=\"2\" dimension=\"4\"/></rpdodef>";
const std::string kSdoPdo = "<sdopdo><row index=\"10\" nrpdo=\"1\" poscomp=\"33\"/>"
                            "<row index=\"11\" nrpdo=\"2\" poscomp=\"1\"/></sdopdo>";
const std::string kTpdo = "<Trasmit_PDO><row COB-ID=\"0x181\" Dimension=\"8\" SMA=\"0\"/>"
                          "<row COB-ID=\"0x182\" Dimension=\"8\" SMA=\"8\"/></Trasmit_PDO>";
const std::string kEmcy = "<EMCY><row ID_EMCY=\"1\" EMCY_Error_Code=\"1\" Error_Register=\"1\"/>"
                          "<row ID_EMCY=\"2\" EMCY_Error_Code=\"2\" Error_Register=\"2\"/></EMCY>";
const std::string kEmcyWord = "<EMCY_Word><EMCY_ROW><Dati Dati_Word=\"10\" Dati_Byte=\"1\"/>"
                              "</EMCY_ROW><EMCY_ROW><Dati Dati_Word=\"20\" Dati_Byte=\"2\"/>"
                              "</EMCY_ROW></EMCY_Word>";
const std::string kPargen = mk::serialize_pargen(mk::TParGen{});

std::string without(std::string text, const std::string& part) {
    return text.erase(text.rfind(part), part.size());
}

// One editor over a readable project, and how it reports a damaged file: the window's own
// reading message, or (when it has none) the reading error naming the file and the place.
struct EditorCase {
    const char* name;
    const char* written; // the file "OK" writes
    const char* damaged; // the file the reading tests damage
    Files files;
    std::string missing_attribute; // `damaged` with a needed attribute of its last row removed
    std::string missing_where;
    std::optional<std::string> designed_message;
    std::string_view voice; // how the window's refusals begin
    MakeEditor make;
};

const std::string kReading = "Error in reading file XML";
const EditorCase kEditors[] = {
    EditorCase("sdo", "sdo.xml", "sdo.xml", Files{{"sdo.xml", kSdo}},
               without(kSdo, " devIDB=\"1\""), "", kReading, "", gridEditor<mk::TFSdoMB>(9, "x")),
    EditorCase("rpdo", "rpdodef.xml", "rpdodef.xml", Files{{"rpdodef.xml", kRpdo}},
               without(kRpdo, " id_dev_orig=\"2\""), "", kReading, "",
               gridEditor<mk::TFpdoMB>(3, "7")),
    EditorCase("stored_pdo", "sdopdo.xml", "sdopdo.xml",
               Files{{"sdo.xml", kSdo}, {"rpdodef.xml", kRpdo}, {"sdopdo.xml", kSdoPdo}},
               without(kSdoPdo, " poscomp=\"1\""), "", "Error in reading file SDOPDO XML", "",
               storedPdoEditor),
    EditorCase("stored_pdo_list", "sdopdo.xml", "rpdodef.xml",
               Files{{"sdo.xml", kSdo}, {"rpdodef.xml", kRpdo}, {"sdopdo.xml", kSdoPdo}},
               without(kRpdo, " cobid=\"0x201\""), "", "Error in reading file PDO XML", "",
               storedPdoEditor),
    EditorCase("tpdo", "Transmit_Pdo.xml", "Transmit_Pdo.xml", Files{{"Transmit_Pdo.xml", kTpdo}},
               without(kTpdo, " SMA=\"8\""), ", row 2: no attribute SMA", std::nullopt, "",
               gridEditor<mk::TFTPdoMB>(3, "77")),
    EditorCase("pargen", "pargen.xml", "pargen.xml", Files{{"pargen.xml", kPargen}},
               without(kPargen, " name=\"lantern\""), "", kReading, "", pargenEditor),
    EditorCase("emcy", "emcydef.xml", "emcydef.xml", Files{{"emcydef.xml", kEmcy}},
               without(kEmcy, " Error_Register=\"2\""), ", row 2: no attribute Error_Register",
               std::nullopt, mk::kEmcyVoice, emcyEditor),
    EditorCase("emcy_word", "emcyword.xml", "emcyword.xml",
               Files{{"emcydef.xml", kEmcy}, {"emcyword.xml", kEmcyWord}},
               without(kEmcyWord, " Dati_Byte=\"2\""),
               ", group 2, mapping 1: no attribute Dati_Byte", std::nullopt, mk::kEmcyVoice,
               emcyWordEditor),
};

const EditorCase& editorCase(std::string_view name) {
    return *std::find_if(std::begin(kEditors), std::end(kEditors),
                         [&](const EditorCase& c) { return c.name == name; });
}

class EditorTest {
protected:
    EditorTest() { state.project_dir = dir.path(); }
    fs::path path(const std::string& name) const { return dir.path() / name; }
    void write(const std::string& name, const std::string& text) const {
        std::ofstream(path(name), std::ios::binary) << text;
    }
    void writeProject(const Files& files) const {
        for (const auto& [name, text] : files)
            write(name, text);
    }

    mk::test::TempDir dir;
    mk::ProjectState state;
    mk::RecordingSink sink;
};

// A file cut short, a table padded past 4 MB, a row without a needed attribute.
enum class Damage { CutFile, Past4MB, MissingAttribute };
using UnreadCase = std::tuple<const EditorCase*, Damage>;

class UnreadFile : public EditorTest, public ::testing::TestWithParam<UnreadCase> {};

TEST_P(UnreadFile, OkRefusesNamingTheFileAndCancelCloses) {
    const auto [c, damage] = GetParam();
    std::string damaged = c->files.at(c->damaged);
    std::string where = ": not a well-formed XML file";
    if (damage == Damage::CutFile) {
        damaged.resize(damaged.size() - 12);
    } else if (damage == Damage::Past4MB) {
        damaged.insert(damaged.rfind("</"), std::string(mk::kMaxTableFileSize, ' '));
        where = ": larger than the 4 MB a table file may hold";
    } else {
        damaged = c->missing_attribute;
        where = c->missing_where;
    }
    writeProject(c->files);
    write(c->damaged, damaged);
    const std::string written = read_file(path(c->written));
    Editor e = c->make(state, sink);
    e.dialog->show(); // the opening reads the files
    EXPECT_EQ(sink.texts(),
              Texts{c->designed_message.value_or(mk::reading_error_text(c->damaged, where))});

    sink.entries.clear();
    e.ok();
    EXPECT_EQ(sink.texts(), Texts{std::string(c->voice) + mk::incomplete_file_text(c->damaged)});
    EXPECT_TRUE(e.dialog->isVisible());
    EXPECT_EQ(read_file(path(c->written)), written);
    EXPECT_EQ(read_file(path(c->damaged)), damaged);

    child<QPushButton>(e.dialog.get(), "cancelButton")->click();
    EXPECT_FALSE(e.dialog->isVisible());
    EXPECT_TRUE(sink.questions.empty());
}

std::vector<const EditorCase*> editors() {
    std::vector<const EditorCase*> out;
    for (const EditorCase& c : kEditors)
        out.push_back(&c);
    return out;
}

std::string unreadName(const ::testing::TestParamInfo<UnreadCase>& info) {
    const char* damage[] = {"cut_file", "past_4_MB", "missing_attribute"};
    return std::string(std::get<0>(info.param)->name) + "_" +
           damage[static_cast<int>(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(Editors, UnreadFile,
                         ::testing::Combine(::testing::ValuesIn(editors()),
                                            ::testing::Values(Damage::CutFile, Damage::Past4MB,
                                                              Damage::MissingAttribute)),
                         unreadName);

// Another window or program writes the file while this window is open (or creates it, when it
// was missing at the opening).
using ElsewhereCase = std::tuple<const char*, bool>;

class ChangedElsewhere : public EditorTest, public ::testing::TestWithParam<ElsewhereCase> {};

TEST_P(ChangedElsewhere, OkAsksBeforeReplacingTheFile) {
    const auto [name, missing_at_opening] = GetParam();
    const EditorCase& c = editorCase(name);
    writeProject(c.files);
    if (missing_at_opening)
        fs::remove(path(c.written));
    Editor e = c.make(state, sink);
    e.dialog->show();
    e.edit();
    const std::string elsewhere = "<written elsewhere=\"40 rows\"/>";
    write(c.written, elsewhere);

    e.ok(); // "No"
    EXPECT_EQ(sink.questions, Texts{mk::changed_elsewhere_question(c.written)});
    EXPECT_TRUE(e.dialog->isVisible());
    EXPECT_EQ(read_file(path(c.written)), elsewhere);
    sink.answers = {true};
    e.ok();
    EXPECT_FALSE(e.dialog->isVisible());
    EXPECT_NE(read_file(path(c.written)), elsewhere);
}

INSTANTIATE_TEST_SUITE_P(Editors, ChangedElsewhere,
                         ::testing::Values(ElsewhereCase{"sdo", false}, ElsewhereCase{"sdo", true},
                                           ElsewhereCase{"tpdo", true},
                                           ElsewhereCase{"stored_pdo", false},
                                           ElsewhereCase{"emcy_word", false},
                                           ElsewhereCase{"pargen", false}),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param)) +
                                    (std::get<1>(info.param) ? "_created" : "_changed");
                         });

// How the user leaves a window without "OK".
enum class Leave { CancelButton, EscapeKey, CloseButton };
using DiscardCase = std::tuple<const EditorCase*, Leave>;

class UnsavedEdits : public EditorTest, public ::testing::TestWithParam<DiscardCase> {
protected:
    void leave(QDialog* dialog) const {
        if (std::get<1>(GetParam()) == Leave::CancelButton)
            child<QPushButton>(dialog, "cancelButton")->click();
        else if (std::get<1>(GetParam()) == Leave::EscapeKey)
            QTest::keyClick(dialog, Qt::Key_Escape);
        else
            dialog->close();
    }
};

TEST_P(UnsavedEdits, AreDiscardedOnlyAfterAskingOnce) {
    const EditorCase& c = *std::get<0>(GetParam());
    writeProject(c.files);
    Editor e = c.make(state, sink);
    e.dialog->show();
    leave(e.dialog.get()); // nothing changed: closes at once
    EXPECT_FALSE(e.dialog->isVisible());
    EXPECT_TRUE(sink.questions.empty());

    e.dialog->show();
    e.edit();
    leave(e.dialog.get()); // "No"
    EXPECT_EQ(sink.questions, Texts{std::string(mk::kMsgDiscardChanges)});
    EXPECT_TRUE(e.dialog->isVisible());
    sink.answers = {true};
    leave(e.dialog.get());
    EXPECT_EQ(sink.questions.size(), 2u);
    EXPECT_FALSE(e.dialog->isVisible());
    EXPECT_EQ(read_file(path(c.written)), c.files.at(c.written));
}

std::string discardName(const ::testing::TestParamInfo<DiscardCase>& info) {
    const char* leave[] = {"cancel_button", "escape_key", "close_button"};
    return std::string(std::get<0>(info.param)->name) + "_" +
           leave[static_cast<int>(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(Editors, UnsavedEdits,
                         ::testing::Combine(::testing::ValuesIn(editors()),
                                            ::testing::Values(Leave::CancelButton)),
                         discardName);
INSTANTIATE_TEST_SUITE_P(
    Keys, UnsavedEdits,
    ::testing::Combine(::testing::Values(&editorCase("sdo"), &editorCase("pargen")),
                       ::testing::Values(Leave::EscapeKey, Leave::CloseButton)),
    discardName);

// Tables "Up date Device" refuses for lack of room, opened from files and confirmed with "OK".
// `count` copies of `row`, each "#" in it replaced by the copy's number from 1000 on.
std::string numbered(int count, const std::string& row) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += QString::fromStdString(row).replace('#', QString::number(1000 + i)).toStdString();
    return text;
}

const std::string kEmcyRow =
    "<EMCY><row ID_EMCY=\"1\" EMCY_Error_Code=\"1\" Error_Register=\"1\"/>";
const std::string kSdoRow = "<row conf=\"0\" IndexA=\"#\" SubindexA=\"0\" devIDB=\"1\" "
                            "IndexB=\"4096\" SubindexB=\"0\" nbyteB=\"1\"/>";

struct CapacityCase {
    const char* name;
    const char* written;
    Files files;
    std::function<mk::EditorDialog*(mk::ProjectState&, mk::MessageSink&)> make;
};

const CapacityCase kCapacityCases[] = {
    CapacityCase(
        "transmit_pdo_19_rows", "Transmit_Pdo.xml",
        Files{{"pargen.xml", kPargen},
              {"Transmit_Pdo.xml",
               "<Trasmit_PDO>" + numbered(19, "<row COB-ID=\"#\" Dimension=\"8\" SMA=\"0\"/>") +
                   "</Trasmit_PDO>"}},
        [](auto& s, auto& sink) { return new mk::TFTPdoMB(s, sink); }),
    CapacityCase(
        "emcy_256_registers", "emcyword.xml",
        Files{{"emcydef.xml", kEmcyRow + "</EMCY>"},
              {"emcyword.xml", "<EMCY_Word><EMCY_ROW>" +
                                   numbered(256, "<Dati Dati_Word=\"#\" Dati_Byte=\"1\"/>") +
                                   "</EMCY_ROW></EMCY_Word>"}},
        [](auto& s, auto& sink) { return new mk::TFWEmcyMB2(s, sink); }),
    // 1500 SDO entries of 9 bytes and 600 stored-PDO rows of 5 do not fit in 16384 bytes.
    CapacityCase("bank_1_sdo_and_stored_pdo", "sdopdo.xml",
                 Files{{"sdo.xml", "<sdo>" + numbered(1500, kSdoRow) + "</sdo>"},
                       {"rpdodef.xml", kRpdo},
                       {"sdopdo.xml", "<sdopdo>" +
                                          numbered(600, "<row index=\"2#\" subindex=\"0\" "
                                                        "nrpdo=\"1\" poscomp=\"1\"/>") +
                                          "</sdopdo>"}},
                 [](auto& s, auto& sink) { return new mk::TFInfopdoMB(s, sink); }),
};

class BuildWouldRefuse : public EditorTest, public ::testing::TestWithParam<CapacityCase> {};

TEST_P(BuildWouldRefuse, OkWarnsWithTheBuildsReasonAndSavesOnlyWhenAskedTo) {
    const CapacityCase& c = GetParam();
    writeProject(c.files);
    std::unique_ptr<mk::EditorDialog> w(c.make(state, sink));
    w->setCapacityCheck(mk::capacity_refusal);
    w->show();
    w->BitBtn1Click(); // "No"
    ASSERT_EQ(sink.questions.size(), 1u);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(read_file(path(c.written)), c.files.at(c.written));

    sink.answers = {true};
    w->BitBtn1Click();
    EXPECT_FALSE(w->isVisible());
    mk::Banks banks;
    mk::NullSink quiet;
    try {
        mk::build_image(dir.path(), banks, quiet, mk::FixedClock({}));
        ADD_FAILURE() << "the build took the table";
    } catch (const mk::UserError& e) {
        EXPECT_EQ(sink.questions.front(), mk::save_anyway_question(e.what()));
    }
}

INSTANTIATE_TEST_SUITE_P(Editors, BuildWouldRefuse, ::testing::ValuesIn(kCapacityCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A widget shows bytes that are not UTF-8 as replacement characters; the file keeps them.
class NotUtf8 : public EditorTest, public ::testing::Test {};

TEST_F(NotUtf8, BytesAreKeptThroughTheWindowAndOk) {
    mk::TParGen r;
    r.readCommunity = "h\xe4rbor";
    r.writeCommunity = "caf\xe9";
    write("pargen.xml", mk::serialize_pargen(r));
    Editor pargen = pargenEditor(state, sink);
    pargen.dialog->show();
    pargen.ok();
    EXPECT_FALSE(pargen.dialog->isVisible());
    EXPECT_EQ(read_file(path("pargen.xml")), mk::serialize_pargen(r));

    // A cell editor opened and left without a change gives back the text it was shown.
    write("sdo.xml", std::string(kSdo).replace(kSdo.find("\"a\""), 3, "\"\xe0 \xff\""));
    mk::TFSdoMB sdo(state, sink);
    sdo.show();
    const QModelIndex cell = sdo.model()->index(0, 9);
    sdo.model()->setData(cell, sdo.model()->data(cell, Qt::EditRole));
    sdo.BitBtn1Click();
    EXPECT_FALSE(sdo.isVisible());
    EXPECT_NE(read_file(path("sdo.xml")).find("mnemonico=\"\xe0 \xff\""), std::string::npos);
}

} // namespace
