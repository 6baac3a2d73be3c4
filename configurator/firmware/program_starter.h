#pragma once

#include <filesystem>
#include <string>
#include <system_error>

namespace mk {

// Starts another program with one parameter string and does not wait for it or look at its
// result, as the loader is started. Returns why the program could not be started (it is not
// executable, it is a folder, it is no program this system can run); no error once it runs.
class ProgramStarter {
public:
    virtual ~ProgramStarter() = default;
    virtual std::error_code start(const std::filesystem::path& program,
                                  const std::string& parameters) = 0;
};

// The real starter: the program runs detached in its own session with the parameter string as
// its single argument, inheriting the current directory. Only its start is awaited: whether the
// system could execute it comes back through a pipe that closes when it does.
class DetachedProgramStarter : public ProgramStarter {
public:
    std::error_code start(const std::filesystem::path& program,
                          const std::string& parameters) override;
};

} // namespace mk
