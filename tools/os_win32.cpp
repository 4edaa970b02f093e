// File-system operations on Windows, through the C runtime (narrow ANSI paths throughout) and,
// for reads at an offset, ReadFile.
#ifdef _WIN32

#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>

#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#undef ReplaceFile  // the Win32 macro for ReplaceFileA; ours is velto-pack's own

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

bool ReadAt(FILE* stream, uint64_t offset, void* buffer, size_t count, size_t* got,
            std::string* error) {
    // ReadFile at an explicit offset: each call says where, so threads that
    // share the handle do not disturb one another.
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    *got = 0;
    while (*got < count) {
        OVERLAPPED at = {};
        const uint64_t where = offset + *got;
        at.Offset = static_cast<DWORD>(where & 0xFFFFFFFFu);
        at.OffsetHigh = static_cast<DWORD>(where >> 32);
        const DWORD want = static_cast<DWORD>(std::min<size_t>(count - *got, 1u << 30));
        DWORD n = 0;
        if (!::ReadFile(handle, static_cast<char*>(buffer) + *got, want, &n, &at)) {
            const DWORD code = ::GetLastError();
            if (code == ERROR_HANDLE_EOF) break;
            *error = "read error (Windows error " + std::to_string(code) + ")";
            return false;
        }
        if (n == 0) break;
        *got += n;
    }
    return true;
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
