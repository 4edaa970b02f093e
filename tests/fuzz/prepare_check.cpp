// PrepareInstallation on arbitrary archive bytes, against the model OS and the reference reading.
#include <cctype>
#include <map>
#include <set>
#include <string>

#include "platform/filetime.h"
#include "prep/entry_name.h"
#include "prep/folders.h"
#include "prep/prepare.h"
#include "tests/fuzz/check_support.h"
#include "tests/fuzz/checks.h"
#include "tests/support/model_system.h"
#include "tests/support/reference_archive.h"

namespace {

constexpr unsigned DRIVE_FIXED = 3;
constexpr unsigned DRIVE_CDROM = 5;
const std::string FOLDER = "C:\\WINDOWS\\TEMP\\_Velto3d1\\";
const std::string INI = "[STANDARD]\r\nINST_PATH=D:\\\r\n";
const std::string COMMAND_LINE = FOLDER + "INSTALL.EXE 68140";
constexpr size_t MAX_PATH_CHARS = 259;
// Already in the extraction folder, so that some names cannot be opened.
const std::string SUB_FOLDER = "SUB";
const std::string LOCKED_FILE = "LOCKED.TXT";

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// What one file of the extraction folder must hold afterwards.
struct TExpectedFile {
    std::string bytes;
    bool timed = false;  // the entry's time was set (a non-empty entry with a valid time)
    int64_t seconds = 0;
};

// What PrepareInstallation must do with an archive, from the reference reading.
struct TPrediction {
    std::map<std::string, TExpectedFile> files;  // by upper-case name
    bool failed = false;
    std::string caption;  // the failed entry's target path
};

TPrediction Predict(const std::string& archive) {
    const TReferenceArchive walk = ReferenceWalk(archive);
    TPrediction p;
    for (size_t i = 0; i < walk.entries.size(); ++i) {
        const TReferenceEntry& entry = walk.entries[i];
        const std::string target = FOLDER + entry.name;
        const std::string key = Upper(entry.name);
        bool ok = entry.nameComplete && IsSafeEntryName(entry.name.c_str()) &&
                  target.size() <= MAX_PATH_CHARS && key != SUB_FOLDER && key != LOCKED_FILE;
        if (ok) {
            const TReferenceExpansion& data = entry.data;
            TExpectedFile& file = p.files[key];
            file = TExpectedFile();
            const bool wrote =
                data.stop == TReferenceStop::PACKED_END || data.stop == TReferenceStop::INPUT_END;
            if (wrote) {
                file.bytes = data.output;
                file.timed = LocalToUtc(UnpackDosTime(data.time), &file.seconds);
            }
            ok = data.DecodeSucceeds();
        }
        if (!ok) {
            p.failed = true;
            p.caption = target;
            break;
        }
    }
    p.files[Upper("Install.ini")] = TExpectedFile{INI, false, 0};
    return p;
}

void SetScene(TModelSystem& model, const std::string& archive) {
    model.AddDrive('C', DRIVE_FIXED);
    model.AddDrive('D', DRIVE_CDROM);
    model.AddFolder("C:\\WINDOWS\\TEMP");
    model.AddFolder("C:\\WORK");
    model.AddFile("C:\\WINDOWS\\TEMP\\KEEP.TXT", "kept");
    model.AddFolder(FOLDER + SUB_FOLDER);
    model.AddFile(FOLDER + LOCKED_FILE, "locked", TSystem::ATTRIBUTE_READONLY);
    model.SetTempPath("C:\\WINDOWS\\TEMP\\");
    model.SetCurrentFolder("C:\\WORK\\");
    model.SetProgramFileName("D:\\SETUP.EXE");
    model.AddFile("D:\\SETUP.EXE", "MZ");
    model.AddFile("D:\\SETUP.TMP", archive);
    folderName = "_Velto3d1\\";
    installerPath = "";
}

// Paths outside the extraction folder, upper-case.
std::set<std::string> Outside(const TModelSystem& model) {
    std::set<std::string> outside;
    for (const std::string& path : model.AllPaths()) {
        if (!model.LiesIn(path, FOLDER)) outside.insert(Upper(path));
    }
    return outside;
}

std::string CheckRun(const TModelSystem& model, const TPrediction& p,
                     const std::set<std::string>& outsideBefore) {
    for (const TModelSystem::TLanding& landing : model.landings) {
        if (!model.LiesIn(landing.path, FOLDER))
            return "a file was opened for writing outside the extraction folder: " + landing.path;
    }
    if (Outside(model) != outsideBefore) return "something outside the extraction folder changed";

    if (p.failed != !model.messages.empty() || model.messages.size() > 1)
        return Mismatch("message boxes", static_cast<long long>(model.messages.size()),
                        p.failed ? 1 : 0);
    if (p.failed && (model.messages[0].text != "Fehler beim Decodieren!" ||
                     model.messages[0].caption != p.caption))
        return "message box \"" + model.messages[0].text + "\" captioned " +
               model.messages[0].caption + ", expected " + p.caption;
    if (model.commandLines != std::vector<std::string>{COMMAND_LINE})
        return "the installer was not started once with " + COMMAND_LINE;
    const size_t n = model.events.size();
    if (n < 2 || model.events[n - 2] != "ini" || model.events[n - 1] != "exec")
        return "Install.ini and the start did not come last";

    std::set<std::string> present;
    for (const std::string& path : model.FilesIn(FOLDER))
        present.insert(Upper(path.substr(FOLDER.size())));
    std::set<std::string> expected = {LOCKED_FILE};
    for (const auto& [name, file] : p.files) expected.insert(name);
    if (present != expected)
        return Mismatch("files in the extraction folder", static_cast<long long>(present.size()),
                        static_cast<long long>(expected.size()));
    if (!model.IsFolder(FOLDER + SUB_FOLDER) || model.Bytes(FOLDER + LOCKED_FILE) != "locked")
        return "what was in the extraction folder before was touched";
    for (const auto& [name, file] : p.files) {
        const std::string bytes = model.Bytes(FOLDER + name);
        if (bytes != file.bytes)
            return FOLDER + name + " holds " + Hex(bytes) + " instead of " + Hex(file.bytes);
        if (file.timed && model.ModTime(FOLDER + name) != file.seconds)
            return Mismatch("time of " + FOLDER + name, model.ModTime(FOLDER + name), file.seconds);
    }
    return "";
}

}  // namespace

std::string CheckPreparation(const uint8_t* data, size_t size) {
    const std::string archive(reinterpret_cast<const char*>(data), size);
    const TPrediction prediction = Predict(archive);
    TModelSystem model;
    SetScene(model, archive);
    const std::set<std::string> outsideBefore = Outside(model);
    const int result = PrepareInstallation(reinterpret_cast<HWND__*>(uintptr_t{0x00010A2C}));
    if (result != 1) return Mismatch("PrepareInstallation's result", result, 1);
    return CheckRun(model, prediction, outsideBefore);
}
