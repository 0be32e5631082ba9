#include "platform/posix_small_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool ReadSmallFile(const char* path, size_t maxBytes, std::string* contents)
{
    if (!path || !contents)
        return false;
    // O_NONBLOCK so that a FIFO in place of the file can't hang us.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
        static_cast<unsigned long long>(st.st_size) > maxBytes) {
        close(fd);
        return false;
    }
    std::string data(static_cast<size_t>(st.st_size), '\0');
    size_t got = 0;
    while (got < data.size()) {
        ssize_t n = read(fd, data.data() + got, data.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    // A file that grew since fstat is taken as changed under us: refuse it.
    char extra;
    bool grew = got == data.size() && read(fd, &extra, 1) > 0;
    close(fd);
    if (got != data.size() || grew)
        return false;
    *contents = std::move(data);
    return true;
}
