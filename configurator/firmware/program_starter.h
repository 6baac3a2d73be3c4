#pragma once

#include <filesystem>
#include <string>

namespace mk {

// Starts another program with one parameter string and does not wait for it or look at its
// result, as the loader is started.
class ProgramStarter {
public:
    virtual ~ProgramStarter() = default;
    virtual void start(const std::filesystem::path& program, const std::string& parameters) = 0;
};

// The real starter: the program runs detached in its own session with the parameter string as
// its single argument, inheriting the current directory. A program that cannot be executed is
// not reported, as nothing is expected back from it.
class DetachedProgramStarter : public ProgramStarter {
public:
    void start(const std::filesystem::path& program, const std::string& parameters) override;
};

} // namespace mk
