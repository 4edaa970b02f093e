// File-system operations on POSIX systems.
#ifndef _WIN32

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tools/os.h"

bool StatPath(const std::string& path, TPathInfo* info, std::string* error) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        *error = LastErrorText();
        return false;
    }
    info->isDirectory = S_ISDIR(st.st_mode);
    info->isRegular = S_ISREG(st.st_mode);
    info->size = info->isRegular ? static_cast<uint64_t>(st.st_size) : 0;
    return true;
}

bool ListRegularFiles(const std::string& folder, std::vector<std::string>* names,
                      std::string* error) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        *error = LastErrorText();
        return false;
    }
    names->clear();
    errno = 0;
    while (dirent* item = ::readdir(dir)) {
        std::string name = item->d_name;
        TPathInfo info;
        std::string ignored;
        if (name != "." && name != ".." && StatPath(JoinPath(folder, name), &info, &ignored) &&
            info.isRegular)
            names->push_back(name);
        errno = 0;
    }
    bool ok = errno == 0;
    if (!ok) *error = LastErrorText();
    ::closedir(dir);
    std::sort(names->begin(), names->end());
    return ok;
}

FILE* CreateTempBeside(const std::string& base, std::string* path, std::string* error) {
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        *path = base + "." + std::to_string(::getpid()) + "-" + std::to_string(attempt) + ".tmp";
        // O_EXCL: never reuse, and never follow, something already there.
        int fd = ::open(path->c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            break;
        }
        FILE* stream = ::fdopen(fd, "wb+");
        if (stream == nullptr) {
            *error = LastErrorText();
            ::close(fd);
            ::unlink(path->c_str());
            return nullptr;
        }
        return stream;
    }
    *error = LastErrorText();
    return nullptr;
}

bool ReadAt(FILE* stream, uint64_t offset, void* buffer, size_t count, size_t* got,
            std::string* error) {
    *got = 0;
    while (*got < count) {
        const ssize_t n = ::pread(::fileno(stream), static_cast<char*>(buffer) + *got, count - *got,
                                  static_cast<off_t>(offset + *got));
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            *error = LastErrorText();
            return false;
        }
        *got += static_cast<size_t>(n);
    }
    return true;
}

bool ReplaceFile(const std::string& from, const std::string& to, std::string* error) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    *error = LastErrorText();
    return false;
}

void RemoveFile(const std::string& path) { ::unlink(path.c_str()); }

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    return dir.back() == '/' ? dir + name : dir + "/" + name;
}

std::string BaseName(const std::string& path) {
    size_t end = path.find_last_not_of('/');
    if (end == std::string::npos) return path.empty() ? "" : "/";
    size_t slash = path.find_last_of('/', end);
    size_t begin = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(begin, end + 1 - begin);
}

std::string LastErrorText() { return std::strerror(errno); }

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

#endif
