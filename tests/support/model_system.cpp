// TModelSystem: folders and files in memory, their bytes in real temporary files.
#include "tests/support/model_system.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <cctype>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

constexpr unsigned DRIVE_NO_ROOT_DIR = 1;
constexpr unsigned DRIVE_FIXED = 3;
constexpr size_t MAX_PATH_CHARS = 259;

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string ParentKey(const std::string& key) {
    const size_t backslash = key.rfind('\\');
    return backslash == std::string::npos ? std::string() : key.substr(0, backslash);
}

void WriteHostFile(const std::string& hostPath, const std::string& bytes) {
    std::ofstream(hostPath, std::ios::binary | std::ios::trunc) << bytes;
}

uint64_t HostFileSize(const std::string& hostPath) {
    struct stat status;
    return stat(hostPath.c_str(), &status) == 0 ? static_cast<uint64_t>(status.st_size) : 0;
}

// The process's file-size limit and SIGXFSZ disposition before a model
// limited the disk, put back when the limit is lifted.
struct TSavedLimit {
    bool saved = false;
    struct rlimit limit;
    void (*handler)(int) = SIG_DFL;
};
TSavedLimit savedLimit;

void SetFileSizeLimit(uint64_t bytes) {
    if (!savedLimit.saved) {
        getrlimit(RLIMIT_FSIZE, &savedLimit.limit);
        savedLimit.handler = std::signal(SIGXFSZ, SIG_IGN);
        savedLimit.saved = true;
    }
    struct rlimit limit = savedLimit.limit;
    if (limit.rlim_max == RLIM_INFINITY || bytes < limit.rlim_max) limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
}

void LiftFileSizeLimit() {
    if (!savedLimit.saved) return;
    setrlimit(RLIMIT_FSIZE, &savedLimit.limit);
    std::signal(SIGXFSZ, savedLimit.handler);
    savedLimit.saved = false;
}

}  // namespace

TModelSystem::TModelSystem() {
    std::string pattern = (std::filesystem::temp_directory_path() / "model-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    scratch = pattern;
    SetSys(this);
}

TModelSystem::~TModelSystem() {
    SetSys(nullptr);
    if (diskSpace != UNLIMITED) LiftFileSizeLimit();
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
}

// ---- Paths

TModelSystem::TResolved TModelSystem::Resolve(const std::string& given) const {
    TResolved where{"", "", "", false};
    if (given.empty()) return where;  // names nothing
    std::string path = given;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    if (path.size() >= 2 && path[1] == ':') {
        path =
            path.substr(0, 2) + (path.size() > 2 && path[2] == '\\' ? "" : "\\") + path.substr(2);
    } else if (path[0] == '\\') {
        path = currentFolder.substr(0, 2) + path;
    } else {
        path = currentFolder + path;
    }
    where.folderOnly = path.size() > 3 && path.back() == '\\';

    // Drive, then the components with "." and ".." worked out as the system does.
    std::vector<std::string> parts;
    std::stringstream rest(path.substr(3));
    for (std::string part; std::getline(rest, part, '\\');) {
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    where.path = path.substr(0, 2);
    for (const std::string& part : parts) where.path += "\\" + part;
    where.key = Upper(where.path);
    where.parent = ParentKey(where.key);
    if (parts.empty()) where.path += "\\";  // a drive root keeps its backslash
    return where;
}

const TModelSystem::TNode* TModelSystem::Find(const std::string& path) const {
    const TResolved where = Resolve(path);
    const auto found = nodes.find(where.key);
    if (where.key.empty() || found == nodes.end()) return nullptr;
    if (where.folderOnly && !(found->second.attributes & ATTRIBUTE_DIRECTORY)) return nullptr;
    return &found->second;
}

bool TModelSystem::ParentIsFolder(const TResolved& where) const {
    const auto parent = nodes.find(where.parent);
    return !where.parent.empty() && parent != nodes.end() &&
           (parent->second.attributes & ATTRIBUTE_DIRECTORY);
}

TModelSystem::TNode& TModelSystem::MakeFile(const TResolved& where) {
    auto found = nodes.find(where.key);
    if (found == nodes.end()) {
        found = nodes.emplace(where.key, TNode{where.path, ATTRIBUTE_NORMAL, ""}).first;
    }
    return found->second;
}

std::string TModelSystem::HostFile(TNode& node) {
    if (node.hostPath.empty()) {
        node.hostPath = scratch + "/f" + std::to_string(nextHostNumber++);
        WriteHostFile(node.hostPath, "");
    }
    return node.hostPath;
}

// ---- Setting the scene

void TModelSystem::AddDrive(char letter, unsigned type) {
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    drives[upper] = type;
    const std::string root = std::string(1, upper) + ":";
    nodes[root] = TNode{root + "\\", ATTRIBUTE_DIRECTORY, ""};
}

void TModelSystem::AddFolder(const std::string& path) {
    const TResolved where = Resolve(path);
    if (where.key.empty()) return;
    if (!drives.count(where.key[0])) AddDrive(where.key[0], DRIVE_FIXED);
    std::string prefix = where.path.substr(0, 2);
    std::stringstream rest(where.path.substr(3));
    for (std::string part; std::getline(rest, part, '\\');) {
        prefix += "\\" + part;
        nodes.emplace(Upper(prefix), TNode{prefix, ATTRIBUTE_DIRECTORY, ""});
    }
}

void TModelSystem::AddFile(const std::string& path, const std::string& bytes, uint32_t attributes) {
    const TResolved where = Resolve(path);
    AddFolder(where.path.substr(0, where.path.rfind('\\') + 1));
    TNode& node = MakeFile(where);
    node.attributes = attributes;
    if (!bytes.empty()) WriteHostFile(HostFile(node), bytes);
}

void TModelSystem::SetTempPath(const std::string& path) { tempPath = path; }

void TModelSystem::SetProgramFileName(const std::string& path) { programFileName = path; }

void TModelSystem::SetCurrentFolder(const std::string& path) { currentFolder = path; }

void TModelSystem::RefuseFolder(const std::string& path) {
    refusedFolders.insert(Resolve(path).key);
}

void TModelSystem::SetDiskSpace(uint64_t bytes) {
    diskSpace = bytes;
    spaceUsers.clear();
    if (bytes == UNLIMITED) {
        LiftFileSizeLimit();
    } else {
        SetFileSizeLimit(bytes);
    }
}

void TModelSystem::ArmDiskSpace(const std::string& hostPath) {
    if (diskSpace == UNLIMITED) return;
    uint64_t used = 0;
    for (const std::string& user : spaceUsers) {
        if (user != hostPath) used += HostFileSize(user);
    }
    spaceUsers.insert(hostPath);
    SetFileSizeLimit(used >= diskSpace ? 0 : diskSpace - used);
}

void TModelSystem::RecordLanding(const TResolved& where, bool written) {
    if (where.key.empty()) return;
    landings.push_back({where.path, where.path.substr(0, where.path.rfind('\\') + 1), written});
}

// ---- Looking at the result

bool TModelSystem::LiesIn(const std::string& path, const std::string& folder) const {
    const TResolved where = Resolve(path);
    return !where.key.empty() && where.parent == Resolve(folder).key;
}

bool TModelSystem::Exists(const std::string& path) const { return Find(path) != nullptr; }

bool TModelSystem::IsFolder(const std::string& path) const {
    const TNode* node = Find(path);
    return node && (node->attributes & ATTRIBUTE_DIRECTORY);
}

std::string TModelSystem::Bytes(const std::string& path) const {
    const TNode* node = Find(path);
    if (!node || node->hostPath.empty()) return "";
    std::ifstream in(node->hostPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int64_t TModelSystem::ModTime(const std::string& path) const {
    const TNode* node = Find(path);
    struct stat status;
    if (!node || node->hostPath.empty() || stat(node->hostPath.c_str(), &status) != 0) return -1;
    return status.st_mtime;
}

std::vector<std::string> TModelSystem::FilesIn(const std::string& folder) const {
    const std::string key = Resolve(folder).key;
    std::vector<std::string> files;
    for (const auto& [nodeKey, node] : nodes) {
        if (ParentKey(nodeKey) == key && !(node.attributes & ATTRIBUTE_DIRECTORY)) {
            files.push_back(node.path);
        }
    }
    return files;
}

std::set<std::string> TModelSystem::AllPaths() const {
    std::set<std::string> paths;
    for (const auto& entry : nodes) paths.insert(entry.second.path);
    return paths;
}

// ---- TSystem

FILE* TModelSystem::OpenStream(const char* path, const char* mode) {
    const TResolved where = Resolve(path ? path : "");
    if (where.key.empty() || where.folderOnly) return nullptr;
    const auto found = nodes.find(where.key);
    if (mode[0] == 'r') {
        if (found == nodes.end() || (found->second.attributes & ATTRIBUTE_DIRECTORY))
            return nullptr;
        return std::fopen(HostFile(found->second).c_str(), mode);
    }
    if ((found != nodes.end() &&
         (found->second.attributes & (ATTRIBUTE_DIRECTORY | ATTRIBUTE_READONLY))) ||
        !ParentIsFolder(where)) {
        RecordLanding(where, false);
        return nullptr;
    }
    const std::string hostPath = HostFile(MakeFile(where));
    ArmDiskSpace(hostPath);
    FILE* stream = std::fopen(hostPath.c_str(), mode);
    RecordLanding(where, stream != nullptr);
    return stream;
}

unsigned TModelSystem::GetTempPathA(unsigned size, char* buffer) {
    if (tempPath.empty()) return 0;
    if (tempPath.size() >= size) return static_cast<unsigned>(tempPath.size() + 1);
    std::strcpy(buffer, tempPath.c_str());
    return static_cast<unsigned>(tempPath.size());
}

unsigned TModelSystem::GetDriveTypeA(const char* root) {
    ++driveTypeQueries;
    const auto found =
        drives.find(static_cast<char>(std::toupper(static_cast<unsigned char>(root[0]))));
    return found == drives.end() ? DRIVE_NO_ROOT_DIR : found->second;
}

void TModelSystem::GetTempFileNameA(const char* directory, const char* prefix, unsigned,
                                    char* out) {
    if (refuseTempNames || !IsFolder(directory)) return;
    std::string folder = directory;
    if (folder.back() != '\\') folder += '\\';
    std::string name;
    do {
        char number[16];
        std::snprintf(number, sizeof number, "%X", nextTempNumber++ & 0xFFFF);
        name = folder + std::string(prefix).substr(0, 3) + number + ".tmp";
    } while (Exists(name));
    if (name.size() > MAX_PATH_CHARS) return;
    HostFile(MakeFile(Resolve(name)));
    std::strcpy(out, name.c_str());
}

uint32_t TModelSystem::GetFileAttributesA(const char* path) {
    const TNode* node = Find(path ? path : "");
    return node ? node->attributes : INVALID_ATTRIBUTES;
}

bool TModelSystem::CreateDirectoryA(const char* path) {
    const TResolved where = Resolve(path);
    if (where.key.empty() || refusedFolders.count(where.key) || nodes.count(where.key) ||
        !ParentIsFolder(where)) {
        return false;
    }
    nodes.emplace(where.key, TNode{where.path, ATTRIBUTE_DIRECTORY, ""});
    madeFolders.push_back(path);
    return true;
}

bool TModelSystem::RemoveDirectoryA(const char* path) {
    const TResolved where = Resolve(path);
    if (!IsFolder(path) || where.parent.empty()) return false;
    for (const auto& entry : nodes) {
        if (ParentKey(entry.first) == where.key) return false;  // not empty
    }
    nodes.erase(where.key);
    return true;
}

bool TModelSystem::DeleteFileA(const char* path) {
    const TResolved where = Resolve(path);
    const auto found = nodes.find(where.key);
    if (where.key.empty() || where.folderOnly || found == nodes.end() ||
        (found->second.attributes & (ATTRIBUTE_DIRECTORY | ATTRIBUTE_READONLY))) {
        return false;
    }
    if (!found->second.hostPath.empty()) std::remove(found->second.hostPath.c_str());
    nodes.erase(found);
    return true;
}

void TModelSystem::CreateEmptyFile(const char* path) {
    if (FILE* file = OpenStream(path, "wb")) std::fclose(file);
}

unsigned TModelSystem::GetModuleFileNameA(char* buffer, unsigned size) {
    const size_t length = programFileName.size();
    const size_t copied = length < size ? length : size - 1;
    std::memcpy(buffer, programFileName.data(), copied);
    buffer[copied] = 0;
    return length < size ? static_cast<unsigned>(length) : size;
}

void TModelSystem::MessageBoxA(const char* text, const char* caption) {
    messages.push_back({text, caption});
    events.push_back("message");
}

void TModelSystem::WriteProfileString(const char* section, const char* key, const char* value,
                                      const char* path) {
    events.push_back("ini");
    const TResolved where = Resolve(path);
    const TNode* node = Find(path);
    if (where.key.empty() || (node && (node->attributes & ATTRIBUTE_DIRECTORY)) ||
        !ParentIsFolder(where)) {
        RecordLanding(where, false);
        return;
    }
    RecordLanding(where, true);
    std::string text = Bytes(path);
    const std::string header = "[" + std::string(section) + "]\r\n";
    const std::string line = std::string(key) + "=" + value + "\r\n";
    const size_t at = text.find(header);
    if (at == std::string::npos) {
        if (!text.empty() && text.back() != '\n') text += "\r\n";
        text += header + line;
    } else {
        text.insert(at + header.size(), line);
    }
    const std::string hostPath = HostFile(MakeFile(where));
    ArmDiskSpace(hostPath);
    WriteHostFile(hostPath, text);
}

void TModelSystem::WinExec(const char* commandLine) {
    commandLines.push_back(commandLine);
    events.push_back("exec");
}
