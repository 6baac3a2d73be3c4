// Times the three PDO editors on a maximal project: 15 receive PDOs (the wider receive layout),
// 1500 SDO rows and 576 stored registers over those PDOs (what fills bank 1), and 8 transmit PDOs
// (the wider transmit layout). Each window is timed from being shown to its view painted, and
// for "OK" from the click to the file written and the window closed.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPixmap>
#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "core/message_sink.h"
#include "core/project_state.h"
#include "tables/windows/TFInfopdoMB.h"
#include "tables/windows/TFTPdoMB.h"
#include "tables/windows/TFpdoMB.h"
#include "test_dir.h"

namespace {

void write(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string hex(int v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%03X", v);
    return text;
}

// A project folder with the four files the PDO editors read, as full as the device takes them.
struct Project {
    explicit Project(int layout, int receiveRows = 15) {
        state.project_dir = dir.path();
        state.pdo_layout = layout;
        std::string sdo = "<sdo>";
        for (int i = 0; i < 1500; ++i)
            sdo += "<row conf=\"148\" IndexA=\"" + std::to_string(i + 1) +
                   "\" SubindexA=\"0\" devIDB=\"5\" IndexB=\"0x2000\" SubindexB=\"1\" "
                   "nbyteB=\"4\" mnemonico=\"register " +
                   std::to_string(i) + "\"/>";
        write(dir.path() / "sdo.xml", sdo + "</sdo>");
        std::string rpdo = "<rpdodef>";
        for (int i = 0; i < receiveRows; ++i)
            rpdo += "<row cobid=\"" + hex(0x181 + 0x80 * (i % 4) + i % 0x7F) + "\" id_dev_orig=\"" +
                    std::to_string(i + 1) + "\" dimension=\"8\" posind=\"0\" n_tpdo=\"0\"/>";
        write(dir.path() / "rpdodef.xml", rpdo + "</rpdodef>");
        std::string stored = "<sdopdo>";
        for (int i = 0; i < 576; ++i)
            stored += "<row index=\"" + std::to_string(2000 + (i * 37) % 576) +
                      "\" subindex=\"0\" nrpdo=\"" + std::to_string(i % 15 + 1) +
                      "\" poscomp=\"33\"/>";
        write(dir.path() / "sdopdo.xml", stored + "</sdopdo>");
        std::string tpdo = "<Trasmit_PDO>";
        for (int i = 0; i < 8; ++i)
            tpdo += "<row COB-ID=\"" + hex(0x201 + i) + "\" Dimension=\"8\" SMA=\"" +
                    std::to_string(3000 + 4 * i) + "\"/>";
        write(dir.path() / "Transmit_Pdo.xml", tpdo + "</Trasmit_PDO>");
    }
    mk::test::TempDir dir;
    mk::ProjectState state;
};

void requireQuiet(const mk::RecordingSink& sink) {
    if (!sink.entries.empty())
        throw std::runtime_error("unexpected message: " + sink.entries.front().text);
}

// From the window being shown to its view painted: the opening reloads the files, lays out the
// window and draws it.
template <typename Window> void timeOpening(benchmark::State& s, int layout, int receiveRows = 15) {
    Project project(layout, receiveRows);
    mk::RecordingSink sink;
    Window window(project.state, sink);
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

// "OK" on an opened window: commit, checks, the ordered writing and the file replaced whole.
template <typename Window> void timeOkAndSave(benchmark::State& s, int layout) {
    Project project(layout);
    mk::RecordingSink sink;
    Window window(project.state, sink);
    for (auto _ : s) {
        s.PauseTiming();
        window.show();
        QApplication::processEvents();
        s.ResumeTiming();
        window.BitBtn1Click();
        QApplication::processEvents();
        if (window.isVisible())
            s.SkipWithError("the window did not close");
    }
    requireQuiet(sink);
}

void BM_OpenReceivePdo(benchmark::State& s) {
    timeOpening<mk::TFpdoMB>(s, 0);
}
// Not a device-sized table: a hand-made file of 10,000 rows, all shown beyond the layout.
void BM_OpenReceivePdoTenThousandRows(benchmark::State& s) {
    timeOpening<mk::TFpdoMB>(s, 0, 10000);
}
void BM_OkReceivePdo(benchmark::State& s) {
    timeOkAndSave<mk::TFpdoMB>(s, 0);
}
void BM_OpenStoredPdo(benchmark::State& s) {
    timeOpening<mk::TFInfopdoMB>(s, 0);
}
void BM_OkStoredPdo(benchmark::State& s) {
    timeOkAndSave<mk::TFInfopdoMB>(s, 0);
}
void BM_OpenTransmitPdo(benchmark::State& s) {
    timeOpening<mk::TFTPdoMB>(s, 1);
}
void BM_OkTransmitPdo(benchmark::State& s) {
    timeOkAndSave<mk::TFTPdoMB>(s, 1);
}

BENCHMARK(BM_OpenReceivePdo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenReceivePdoTenThousandRows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OkReceivePdo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenStoredPdo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OkStoredPdo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenTransmitPdo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OkTransmitPdo)->Unit(benchmark::kMillisecond);

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
