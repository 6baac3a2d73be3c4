// mosaicor-build: the "Up date Device" sequence without windows, for production lines and CI.
// Every message the windows would show goes to standard error, one per line.

#include <iostream>
#include <variant>

#include "core/guard.h"
#include "firmware/build_command.h"
#include "shell/directories.h"

namespace {

class StderrSink : public mk::MessageSink {
public:
    void show(std::string_view text, mk::MessageKind) override {
        std::cerr << text << '\n' << std::flush;
    }
};

} // namespace

int main(int argc, char* argv[]) {
    const mk::ParsedCommand command = mk::parse_build_command(argc, argv);
    if (std::holds_alternative<mk::HelpRequest>(command)) {
        std::cout << mk::build_command_usage();
        return mk::kExitCompleted;
    }
    if (const auto* error = std::get_if<mk::UsageError>(&command)) {
        std::cerr << "mosaicor-build: " << error->text << "\n" << mk::build_command_usage();
        return mk::kExitUsage;
    }
    StderrSink sink;
    const auto master = mk::program_dir_for_this_process() / "MASTER";
    int status = mk::kExitFailed;
    mk::run_guarded(sink, [&] {
        status = mk::run_build_command(std::get<mk::BuildOptions>(command), master, sink);
    });
    return status;
}
