// mosaicor-build: the "Up date Device" sequence without windows, for production lines and CI.
// Every message the windows would show goes to standard error, one per line; the further lines
// of a message are indented so that each message still starts a line of its own.

#include <iostream>
#include <variant>

#include "apps/build_command.h"
#include "core/guard.h"
#include "firmware/output_set.h"
#include "shell/directories.h"

namespace {

class StderrSink : public mk::MessageSink {
public:
    void show(std::string_view text, mk::MessageKind) override {
        for (const char c : text) {
            std::cerr << c;
            if (c == '\n')
                std::cerr << "  ";
        }
        std::cerr << '\n' << std::flush;
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
    // An interrupted build leaves every earlier output as it was and no temporary file behind.
    mk::remove_temporaries_on_interrupt();
    StderrSink sink;
    const auto masters = mk::master_search_dirs(mk::program_folders_for_this_process());
    int status = mk::kExitFailed;
    mk::run_guarded(sink, [&] {
        status = mk::run_build_command(std::get<mk::BuildOptions>(command), masters, sink);
    });
    return status;
}
