// mosaicor-inspect: reads a configuration image back into its tables, or compares two images.

#include <iostream>
#include <variant>

#include "apps/inspect_command.h"

int main(int argc, char* argv[]) {
    const mk::InspectCommand command = mk::parse_inspect_command(argc, argv);
    if (std::holds_alternative<mk::HelpRequest>(command)) {
        std::cout << mk::inspect_command_usage();
        return 0;
    }
    if (const auto* error = std::get_if<mk::UsageError>(&command)) {
        std::cerr << "mosaicor-inspect: " << error->text << "\n" << mk::inspect_command_usage();
        return mk::kInspectError;
    }
    return mk::run_inspect_command(std::get<mk::InspectOptions>(command), std::cout, std::cerr);
}
