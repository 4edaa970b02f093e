// TModelSystem: an in-memory model of the Windows calls the preparation logic relies on.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/system.h"

// Drives with their types, folders and files (case-insensitive, "\" or "/"),
// a temporary path, the program's file name and a current folder. The
// message box, the INI writer and WinExec are recorded instead of shown or
// run. Streams opened through OpenStream are real temporary files, one per
// model file, so that the codec really reads and writes them.
//
// Every file the logic writes is recorded where it landed (Landings), and
// the disk can be made to run full (SetDiskSpace).
//
// The model installs itself with SetSys for its lifetime.
class TModelSystem : public TSystem {
public:
    TModelSystem();
    ~TModelSystem() override;
    TModelSystem(const TModelSystem&) = delete;
    TModelSystem& operator=(const TModelSystem&) = delete;

    // ---- Setting the scene
    void AddDrive(char letter, unsigned type);  // its root exists from now on
    void AddFolder(const std::string& path);    // with every missing folder above it
    void AddFile(const std::string& path, const std::string& bytes = "",
                 uint32_t attributes = ATTRIBUTE_NORMAL);
    void SetTempPath(const std::string& path);  // "" makes GetTempPathA fail
    void SetProgramFileName(const std::string& path);
    void SetCurrentFolder(const std::string& path);  // ends in a backslash
    void RefuseTempFileNames() { refuseTempNames = true; }
    void RefuseFolder(const std::string& path);  // CreateDirectoryA fails for it
    // From now on the files written through the model may hold bytes in all
    // (files written before keep theirs and are not counted); a write beyond
    // fails as on a full disk. The streams stay real files, so file times
    // work as ever: the limit is the process's file-size limit, set to what
    // is left each time a file is opened for writing, with SIGXFSZ ignored
    // (writes past it fail with EFBIG). Files are written one after another,
    // each closed before the next is opened, as the preparation sequence
    // does. UNLIMITED lifts the limit; so does the model's destructor.
    static constexpr uint64_t UNLIMITED = UINT64_MAX;
    void SetDiskSpace(uint64_t bytes);

    // ---- Looking at the result
    bool Exists(const std::string& path) const;
    bool IsFolder(const std::string& path) const;
    std::string Bytes(const std::string& path) const;  // "" for a missing file
    int64_t ModTime(const std::string& path) const;    // UTC seconds, -1 when missing
    // Model paths, as created, of every file inside folder (not below it).
    std::vector<std::string> FilesIn(const std::string& folder) const;
    // Model paths of every file and folder, for before/after comparisons.
    std::set<std::string> AllPaths() const;

    struct TMessage {
        std::string text;
        std::string caption;
    };
    std::vector<TMessage> messages;         // message boxes shown
    std::vector<std::string> commandLines;  // WinExec calls
    std::vector<std::string> events;        // "message", "ini", "exec" in call order
    std::vector<std::string> madeFolders;   // successful CreateDirectoryA calls, as given

    // One file the logic opened for writing, created or emptied (streams
    // opened for writing, CreateEmptyFile, the INI writer).
    struct TLanding {
        std::string path;    // full model path, "." and ".." worked out
        std::string folder;  // the folder it lies in, full path with its backslash
        bool written;        // false when the open was refused (nothing landed)
    };
    std::vector<TLanding> landings;
    // True when path (after working out "." and "..") names an entry directly
    // inside folder, compared as the system does (case-insensitively).
    bool LiesIn(const std::string& path, const std::string& folder) const;
    unsigned driveTypeQueries = 0;
    unsigned waitCursorCalls = 0;

    // ---- TSystem
    FILE* OpenStream(const char* path, const char* mode) override;
    unsigned GetTempPathA(unsigned size, char* buffer) override;
    unsigned GetDriveTypeA(const char* root) override;
    void GetTempFileNameA(const char* directory, const char* prefix, unsigned unique,
                          char* out) override;
    uint32_t GetFileAttributesA(const char* path) override;
    bool CreateDirectoryA(const char* path) override;
    bool RemoveDirectoryA(const char* path) override;
    bool DeleteFileA(const char* path) override;
    void CreateEmptyFile(const char* path) override;
    unsigned GetModuleFileNameA(char* buffer, unsigned size) override;
    void SetWaitCursor() override { ++waitCursorCalls; }
    void MessageBoxA(const char* text, const char* caption) override;
    void WriteProfileString(const char* section, const char* key, const char* value,
                            const char* path) override;
    void WinExec(const char* commandLine) override;

private:
    struct TNode {
        std::string path;      // full path as first created
        uint32_t attributes;   // ATTRIBUTE_DIRECTORY for a folder
        std::string hostPath;  // the real file behind a model file, "" until needed
    };
    struct TResolved {
        std::string key;     // upper-case full path without trailing backslash
        std::string path;    // full path as given (resolved)
        std::string parent;  // key of the parent folder, "" for a drive root
        bool folderOnly;     // the path ended in a backslash
    };

    TResolved Resolve(const std::string& path) const;
    const TNode* Find(const std::string& path) const;
    bool ParentIsFolder(const TResolved& where) const;
    TNode& MakeFile(const TResolved& where);  // creates or finds a plain file node
    std::string HostFile(TNode& node);        // the node's real file, created empty if new
    void RecordLanding(const TResolved& where, bool written);
    void ArmDiskSpace(const std::string& hostPath);  // file-size limit for a write to hostPath

    std::map<std::string, TNode> nodes;  // by key
    std::map<char, unsigned> drives;     // upper-case letter -> drive type
    std::set<std::string> refusedFolders;
    std::string tempPath;
    std::string programFileName;
    std::string currentFolder = "C:\\";
    bool refuseTempNames = false;
    unsigned nextTempNumber = 1;
    unsigned nextHostNumber = 0;
    std::string scratch;  // real folder holding the files behind model files
    uint64_t diskSpace = UNLIMITED;
    std::set<std::string> spaceUsers;  // host files written since SetDiskSpace
};
