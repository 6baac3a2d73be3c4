#include "firmware/program_starter.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace mk {

std::error_code DetachedProgramStarter::start(const std::filesystem::path& program,
                                              const std::string& parameters) {
    // Prepared before forking: the child may only make async-signal-safe calls.
    const std::string path = program.string();
    char* const argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>(parameters.c_str()),
                          nullptr};
    // The loader writes the error of a failed exec into this pipe; a successful exec closes it.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return {errno, std::generic_category()};
    const pid_t child = ::fork();
    if (child < 0) {
        const int err = errno;
        ::close(report[0]);
        ::close(report[1]);
        return {err, std::generic_category()};
    }
    if (child == 0) {
        // The intermediate child leaves at once, so the loader is adopted by init and never
        // lingers as a zombie of this program.
        ::close(report[0]);
        ::setsid();
        const pid_t loader = ::fork();
        if (loader == 0) {
            ::execv(argv[0], argv);
            const int err = errno;
            [[maybe_unused]] const ssize_t n = ::write(report[1], &err, sizeof err);
            ::_exit(127);
        }
        ::_exit(loader < 0 ? 1 : 0);
    }
    ::close(report[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int err = 0;
    ssize_t n = 0;
    while ((n = ::read(report[0], &err, sizeof err)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    if (n == static_cast<ssize_t>(sizeof err))
        return {err, std::generic_category()};
    if (WIFEXITED(status) && WEXITSTATUS(status) == 1)
        return {EAGAIN, std::generic_category()}; // the loader's fork failed
    return {};
}

} // namespace mk
