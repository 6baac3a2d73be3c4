// Times the SDO editor on a full table: 1500 rows with hexadecimal and decimal texts and a
// mnemonico each, the worst case the grid can hold.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPixmap>
#include <QTableView>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "core/message_sink.h"
#include "core/project_state.h"
#include "tables/sdo_schema.h"
#include "tables/sdo_table.h"
#include "tables/windows/TFSdoMB.h"
#include "test_dir.h"
#include "transfer/sdo_transfer.h"

namespace {

std::string hex(std::size_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04zX", v);
    return text;
}

mk::SdoTable fullTable() {
    mk::SdoTable t;
    for (std::size_t i = 0; i < mk::SdoTable::kRows; ++i) {
        const std::size_t addr = (i * 7919) % 60000 + 1; // scattered, so the save has to sort
        t.row(i) = mk::SdoRow{i % 2 ? std::to_string(addr) : hex(addr),
                              std::to_string(i % 5),
                              std::to_string((i + 2) % 5),
                              std::to_string(i % 2),
                              std::to_string(i % 127 + 1),
                              hex(0x1000 + i),
                              std::to_string(i % 256),
                              i % 3 ? "2" : "4",
                              "register " + std::to_string(i) + ", pump <A> & più"};
    }
    return t;
}

// A project folder holding a full sdo.xml.
struct Project {
    Project() {
        state.project_dir = dir.path();
        mk::save_sdo_table(fullTable(), file());
    }
    std::filesystem::path file() const { return state.table_path(mk::sdo_file::schema); }
    mk::test::TempDir dir;
    mk::ProjectState state;
};

void requireQuiet(const mk::RecordingSink& sink) {
    if (!sink.entries.empty())
        throw std::runtime_error("unexpected message: " + sink.entries.front().text);
}

void BM_LoadIntoModel(benchmark::State& s) {
    Project project;
    mk::SdoGridModel model(mk::kSdoColumns);
    for (auto _ : s) {
        mk::RecordingSink sink;
        model.setTable(mk::load_sdo_table(project.file(), sink));
        requireQuiet(sink);
    }
    if (model.table().extent() != mk::SdoTable::kRows)
        s.SkipWithError("the table was not loaded whole");
}

void BM_ValidateAndSave(benchmark::State& s) {
    Project project;
    const mk::SdoTable table = fullTable();
    for (auto _ : s) {
        if (mk::validate_sdo_table(table))
            s.SkipWithError("the table does not validate");
        mk::save_sdo_table(table, project.file());
    }
}

// From the window being shown to its grid painted: the opening reloads the file, lays out the
// view and draws the visible rows.
void BM_OpenWindow(benchmark::State& s) {
    Project project;
    mk::RecordingSink sink;
    mk::TFSdoMB window(project.state, sink);
    for (auto _ : s) {
        window.show();
        QApplication::processEvents();
        benchmark::DoNotOptimize(window.grab());
        s.PauseTiming();
        window.hide();
        QApplication::processEvents();
        s.ResumeTiming();
    }
    requireQuiet(sink);
}

// The first opening of a run also builds and polishes the window.
void BM_CreateAndOpenWindow(benchmark::State& s) {
    Project project;
    mk::RecordingSink sink;
    for (auto _ : s) {
        mk::TFSdoMB window(project.state, sink);
        window.show();
        QApplication::processEvents();
        benchmark::DoNotOptimize(window.grab());
        s.PauseTiming();
        window.hide();
        QApplication::processEvents();
        s.ResumeTiming();
    }
    requireQuiet(sink);
}

// "Import" of a 1500-row sdo sheet into the window's model, and "Export" of the full table as
// sdo.csv. The workbook is made from the table's own export: by xlwt (.xls), XlsxWriter (.xlsx),
// odfpy (.ods) or openpyxl (.xlsx, read part by part), or it is that sdo.csv itself.
constexpr const char* kImportFormats[] = {"xls", "xlsx", "ods", "csv", "openpyxl"};

void BM_ImportSheetIntoModel(benchmark::State& s) {
    const std::string format = kImportFormats[s.range(0)];
    s.SetLabel(format);
    Project project;
    mk::export_sdo_csv(fullTable(), project.state.project_dir);
    const std::filesystem::path csv = project.state.project_dir / "sdo.csv";
    const std::filesystem::path book =
        project.state.project_dir / ("full." + (format == "openpyxl" ? "xlsx" : format));
    if (format != "csv") {
        const std::string script = format == "xls" ? "/csv_to_xls.py" : "/csv_to_workbook.py";
        const std::string make = "/usr/bin/python3 '" MK_WORKBOOKS_DIR + script + "' '" +
                                 csv.string() + "' sdo '" + book.string() + "' " + format;
        if (std::system(make.c_str()) != 0) {
            s.SkipWithError(
                "cannot make the workbook (python3-xlwt, -xlsxwriter, -odf, -openpyxl missing?)");
            return;
        }
    }
    const std::filesystem::path chosen = format == "csv" ? csv : book;
    mk::RecordingSink sink;
    mk::TFSdoMB window(project.state, sink);
    window.setWorkbookChooser(
        [&](QWidget*, const QString&) { return QString::fromStdString(chosen.string()); });
    for (auto _ : s)
        window.BtnImportClick();
    requireQuiet(sink);
    if (window.model()->table().extent() != mk::SdoTable::kRows)
        s.SkipWithError("the table was not imported whole");
}

void BM_ExportCsv(benchmark::State& s) {
    Project project;
    mk::RecordingSink sink;
    mk::TFSdoMB window(project.state, sink);
    window.model()->setTable(fullTable());
    for (auto _ : s)
        window.BtnExportClick();
    requireQuiet(sink);
}

// One cell typed in the open window of a full table: the model takes the text, records the
// step for Undo and runs the checks of "OK" over all 1500 rows again for the marks. The
// argument is the number of faulty cells per row: 0 (a clean table) or 8 (every checked cell
// refused, 12,000 marks with their messages, the worst a table can be).
void BM_CheckAfterOneEdit(benchmark::State& s) {
    Project project;
    mk::RecordingSink sink;
    mk::TFSdoMB window(project.state, sink);
    window.show();
    QApplication::processEvents();
    mk::SdoTable table = fullTable();
    if (s.range(0) == 8)
        for (std::size_t i = 0; i < mk::SdoTable::kRows; ++i) {
            mk::SdoRow& r = table.row(i);
            r.hi_word = r.lo_word = r.rw = "9";
            r.id = r.index = r.subindex = r.nbyte = "x";
            r.addr_word = "0x" + std::string(1, "123456789"[i % 9]) + "0000";
        }
    window.model()->setTable(table);
    const std::size_t faults = window.model()->faults().size();
    if (faults != static_cast<std::size_t>(s.range(0)) * mk::SdoTable::kRows)
        s.SkipWithError("the table does not have the faults it should");
    const QModelIndex cell = window.model()->index(750, 2);
    bool flip = false;
    for (auto _ : s) {
        flip = !flip;
        window.model()->setData(cell, flip ? QStringLiteral("1") : QStringLiteral("2"));
    }
    s.counters["marks"] = static_cast<double>(window.model()->faults().size());
    window.hide();
    requireQuiet(sink);
}

BENCHMARK(BM_LoadIntoModel)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ValidateAndSave)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenWindow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CreateAndOpenWindow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportSheetIntoModel)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportCsv)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CheckAfterOneEdit)->Arg(0)->Arg(8)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
