// File-system operations on Windows, through the C runtime (narrow ANSI paths throughout).
#ifdef _WIN32

#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tools/os.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The runtime's stat refuses "dir\" but not "C:\": drop trailing separators
// except the one of a root.
std::string WithoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && IsSeparator(path.back()) && !(path.size() == 3 && path[1] == ':'))
        path.pop_back();
    return path;
}

}  // namespace

bool StatPath(const std::string& path, TPathInfo* info, std::string* error) {
    struct _stati64 st;
    if (_stati64(WithoutTrailingSeparators(path).c_str(), &st) != 0) {
        *error = LastErrorText();
        return false;
    }
    info->isDirectory = (st.st_mode & _S_IFMT) == _S_IFDIR;
    info->isRegular = (st.st_mode & _S_IFMT) == _S_IFREG;
    info->size = info->isRegular ? static_cast<uint64_t>(st.st_size) : 0;
    return true;
}

bool ListRegularFiles(const std::string& folder, std::vector<std::string>* names,
                      std::string* error) {
    TPathInfo info;
    if (!StatPath(folder, &info, error)) return false;
    names->clear();
    _finddatai64_t item;
    intptr_t search = _findfirsti64(JoinPath(folder, "*").c_str(), &item);
    if (search == -1) {
        if (errno == ENOENT) return true;  // an empty folder
        *error = LastErrorText();
        return false;
    }
    do {
        if ((item.attrib & _A_SUBDIR) == 0) names->push_back(item.name);
    } while (_findnexti64(search, &item) == 0);
    _findclose(search);
    std::sort(names->begin(), names->end());
    return true;
}

FILE* CreateTempBeside(const std::string& base, std::string* path, std::string* error) {
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        *path = base + "." + std::to_string(_getpid()) + "-" + std::to_string(attempt) + ".tmp";
        int fd =
            _open(path->c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            break;
        }
        FILE* stream = _fdopen(fd, "wb+");
        if (stream == nullptr) {
            *error = LastErrorText();
            _close(fd);
            _unlink(path->c_str());
            return nullptr;
        }
        return stream;
    }
    *error = LastErrorText();
    return nullptr;
}

bool ReplaceFile(const std::string& from, const std::string& to, std::string* error) {
    // The runtime's rename does not replace; take the old file away first.
    TPathInfo info;
    std::string ignored;
    if (StatPath(to, &info, &ignored) && info.isRegular && _unlink(to.c_str()) != 0) {
        *error = LastErrorText();
        return false;
    }
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    *error = LastErrorText();
    return false;
}

void RemoveFile(const std::string& path) { _unlink(path.c_str()); }

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    char last = dir.back();
    return IsSeparator(last) || (dir.size() == 2 && last == ':') ? dir + name : dir + "\\" + name;
}

std::string BaseName(const std::string& path) {
    size_t end = path.size();
    while (end > 0 && IsSeparator(path[end - 1])) --end;
    size_t begin = end;
    while (begin > 0 && !IsSeparator(path[begin - 1]) && path[begin - 1] != ':') --begin;
    return path.substr(begin, end - begin);
}

std::string LastErrorText() { return std::strerror(errno); }

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

#endif
