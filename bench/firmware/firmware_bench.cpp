// Times the whole "Up date Device" sequence (build, bank files, bankg.c, merge) on a maximal
// project: 1500 SDO rows, the stored-PDO table filling the rest of bank 1, 15 receive PDOs,
// 8 transmit PDOs, and EMCY tables filling most of bank 2. The peers run in the same process:
// srec_cat replacing the two bank pages of the same base image with the bank files, and cat
// copying the base image.
//
// Environment: MK_BENCH_MASTER, the folder holding the base image RZ41902_15_3.sx.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <vector>

#include <fcntl.h>

#include "firmware/srecord_merge.h"
#include "firmware/update_sequence.h"
#include "image/banks.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

fs::path master_dir() {
    const char* m = std::getenv("MK_BENCH_MASTER");
    if (!m)
        throw std::runtime_error("MK_BENCH_MASTER is not set");
    return m;
}

void write(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

// The largest project the editors and the banks allow.
fs::path make_max_project() {
    const fs::path dir = fs::temp_directory_path() / "mk-bench-max";
    fs::remove_all(dir);
    fs::create_directories(dir / "bin");
    std::string sdo = "<sdo>";
    for (int i = 1; i <= 1500; ++i)
        sdo += "<row conf=\"148\" IndexA=\"" + std::to_string(i) +
               "\" SubindexA=\"0\" devIDB=\"5\" IndexB=\"0x2000\" SubindexB=\"1\" nbyteB=\"4\" "
               "mnemonico=\"register " +
               std::to_string(i) + "\"/>";
    write(dir / "sdo.xml", sdo + "</sdo>");
    std::string sdopdo = "<sdopdo>";
    for (int i = 0; i < 576; ++i) // (16384 - 13500) / 5 rows fill bank 1
        sdopdo += "<row index=\"" + std::to_string(2000 + i) + "\" subindex=\"0\" nrpdo=\"" +
                  std::to_string(1 + i % 15) + "\" poscomp=\"33\"/>";
    write(dir / "sdopdo.xml", sdopdo + "</sdopdo>");
    std::string rpdo = "<rpdodef>";
    for (int i = 0; i < 15; ++i)
        rpdo += "<row cobid=\"" + std::to_string(0x181 + i) +
                "\" id_dev_orig=\"1\" dimension=\"8\" posind=\"0\" n_tpdo=\"0\"/>";
    write(dir / "rpdodef.xml", rpdo + "</rpdodef>");
    // 380 EMCY entries of 4 mappings: 380 * 17 bytes of records and 1520 * 6 of register rows,
    // 15580 bytes, which with the receive table stays below the parameter block at 16184.
    std::string def = "<EMCY>", word = "<EMCY_Word>";
    int reg = 3000;
    for (int i = 0; i < 380; ++i) {
        def += "<row ID_EMCY=\"" + std::to_string(1 + i % 127) + "\" EMCY_Error_Code=\"0x" +
               std::to_string(1000 + i) + "\" Error_Register=\"0x01\"/>";
        word += "<EMCY_ROW>";
        for (int j = 0; j < 4; ++j)
            word += "<Dati Dati_Word=\"" + std::to_string(reg++) + "\" Dati_Byte=\"" +
                    std::to_string(16 * (j + 1) + (j + 2)) + "\"/>";
        word += "</EMCY_ROW>";
    }
    write(dir / "emcydef.xml", def + "</EMCY>");
    write(dir / "emcyword.xml", word + "</EMCY_Word>");
    std::string tpdo = "<Trasmit_PDO>";
    for (int i = 0; i < 8; ++i)
        tpdo += "<row COB-ID=\"" + std::to_string(0x181 + i) + "\" Dimension=\"8\" SMA=\"" +
                std::to_string(100 + 4 * i) + "\"/>";
    write(dir / "Transmit_Pdo.xml", tpdo + "</Trasmit_PDO>");
    write(dir / "pargen.xml",
          "<ParametriGenerali><idA>1</idA><BoudA>125</BoudA><idB>1</idB><BoudB>250</BoudB>"
          "<timeoutsdo>1000</timeoutsdo><baudmodbus>3</baudmodbus><parity>0</parity><ser>1</ser>"
          "<devid>1</devid><devnetip b1=\"192\" b2=\"168\" b3=\"0\" b4=\"10\"/>"
          "<devnetsubnetmask b1=\"255\" b2=\"255\" b3=\"255\" b4=\"0\"/>"
          "<devnet_snmp_read_community name=\"harbor\"/>"
          "<devnet_snmp_read_community name=\"lantern\"/>"
          "<snmptrap_ip1 b1=\"0\" b2=\"0\" b3=\"0\" b4=\"0\"/>"
          "<snmptrap_ip2 b1=\"0\" b2=\"0\" b3=\"0\" b4=\"0\"/>"
          "<snmptrap_ip3 b1=\"0\" b2=\"0\" b3=\"0\" b4=\"0\"/>"
          "<operational_at_start start=\"true\"/><network_start start=\"true\"/>"
          "<network_start_modbus start=\"false\"/><network_start_modbus address=\"1\"/>"
          "<delay_network_start delay=\"0\"/><network_type_PDO type_PDO=\"0\"/>"
          "</ParametriGenerali>");
    return dir;
}

const fs::path& project() {
    static const fs::path dir = make_max_project();
    return dir;
}

// Runs a program with its standard output to `out` and waits for it.
void run(const std::vector<std::string>& args, const char* out = "/dev/null") {
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        throw std::runtime_error("cannot start " + args[0]);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(args[0] + " failed");
}

void BM_UpdateDevice(benchmark::State& state) {
    const fs::path base = master_dir() / "RZ41902_15_3.sx";
    mk::Banks banks;
    mk::RecordingSink sink;
    mk::NoProgress progress;
    const mk::FixedClock clock({2024, 3, 5, 14, 37, 9});
    for (auto _ : state) {
        if (!mk::build_and_write_banks(project(), banks, sink, clock) ||
            mk::merge_all(base, project() / "bin", project(), "New_RZ41902_15_3.sx", sink,
                          progress) != mk::MergeOutcome::Merged)
            state.SkipWithError("the sequence did not complete");
    }
    if (!sink.entries.empty())
        state.SkipWithError(sink.entries.front().text.c_str());
}

// The merge alone, in memory: the base image's lines checked, both banks merged, the image
// joined, without any file being written.
void BM_MergeInMemory(benchmark::State& state) {
    const auto base = mk::read_file_limited(master_dir() / "RZ41902_15_3.sx", mk::kMaxImageSize);
    mk::Banks banks;
    mk::RecordingSink sink;
    mk::NoProgress progress;
    if (!base || !mk::build_and_write_banks(project(), banks, sink, mk::FixedClock({2024, 3, 5})))
        state.SkipWithError("no base image or no banks");
    for (auto _ : state) {
        const mk::MergedImage image = mk::merge_image_text(*base, "RZ41902_15_3.sx", banks.bank(1),
                                                           banks.bank(2), sink, progress);
        if (image.outcome != mk::MergeOutcome::Merged)
            state.SkipWithError("the merge did not complete");
        benchmark::DoNotOptimize(image.text.data());
    }
}

void BM_MosaicorBuildCommand(benchmark::State& state) {
    for (auto _ : state)
        run({MK_BUILD_COMMAND, "--master", master_dir().string(), "--time", "2024-03-05T14:37:09",
             project().string()});
}

void BM_SrecCatReplaceBankPages(benchmark::State& state) {
    const fs::path base = master_dir() / "RZ41902_15_3.sx";
    const fs::path bin = project() / "bin";
    for (auto _ : state)
        run({"srec_cat", base.string(), "-exclude", "0x388000", "0x38C000", "-exclude", "0x398000",
             "0x39C000", (bin / "bank1.bin").string(), "-binary", "-offset", "0x388000",
             (bin / "bank2.bin").string(), "-binary", "-offset", "0x398000", "-o",
             (project() / "srec_cat.sx").string(), "-obs=32"});
}

void BM_CatBaseImage(benchmark::State& state) {
    const fs::path base = master_dir() / "RZ41902_15_3.sx";
    const std::string out = (project() / "cat.sx").string();
    for (auto _ : state)
        run({"cat", base.string()}, out.c_str());
}

BENCHMARK(BM_UpdateDevice)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_MergeInMemory)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_MosaicorBuildCommand)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_SrecCatReplaceBankPages)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_CatBaseImage)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

} // namespace

BENCHMARK_MAIN();
