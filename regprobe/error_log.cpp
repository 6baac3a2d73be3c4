#include "regprobe/error_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rp {

namespace {

std::string format_now(const char* format) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[128];
    const std::size_t n = std::strftime(text, sizeof text, format, &local);
    return std::string(text, n);
}

[[noreturn]] void fail(const std::filesystem::path& path, int error_number) {
    throw ErrorLogError("Cannot write file " + path.string() + " (" + std::strerror(error_number) +
                        ")");
}

// The old content of the log, empty when there is none yet.
std::string read_existing(const std::filesystem::path& path, bool& exists) {
    std::ifstream in(path, std::ios::binary);
    exists = in.is_open();
    if (!exists) {
        if (errno != ENOENT)
            fail(path, errno);
        return {};
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        fail(path, EIO);
    return bytes;
}

void write_all(int fd, const std::string& bytes, const std::filesystem::path& path) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail(path, errno);
        done += static_cast<std::size_t>(n);
    }
}

} // namespace

std::string local_date_time() {
    return format_now("%x") + " " + format_now("%X");
}

void append_error_log(const std::filesystem::path& path, const std::string& stamp,
                      std::string_view text) {
    bool exists = false;
    std::string content = read_existing(path, exists);
    if (!exists)
        content = stamp + " " + kErrorLogHeader + "\n";
    content += stamp + " " + std::string(text) + "\n";

    std::string temp = path.string() + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        fail(path, errno);
    try {
        // mkstemp creates 0600; a log is an ordinary file for whoever reads it.
        ::fchmod(fd, 0644);
        write_all(fd, content, path);
        if (::fsync(fd) != 0)
            fail(path, errno);
    } catch (...) {
        ::close(fd);
        ::unlink(temp.c_str());
        throw;
    }
    if (::close(fd) != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        fail(path, err);
    }
}

} // namespace rp
