#include "firmware/program_starter.h"

#include <cerrno>

#include <sys/wait.h>
#include <unistd.h>

namespace mk {

void DetachedProgramStarter::start(const std::filesystem::path& program,
                                   const std::string& parameters) {
    // Prepared before forking: the child may only make async-signal-safe calls.
    const std::string path = program.string();
    char* const argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>(parameters.c_str()),
                          nullptr};
    const pid_t child = ::fork();
    if (child < 0)
        return;
    if (child == 0) {
        // The intermediate child leaves at once, so the loader is adopted by init and never
        // lingers as a zombie of this program.
        ::setsid();
        const pid_t loader = ::fork();
        if (loader == 0) {
            ::execv(argv[0], argv);
            ::_exit(127);
        }
        ::_exit(loader < 0 ? 1 : 0);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

} // namespace mk
