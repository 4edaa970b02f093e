// velto-pack create: check every input against the name and size rules, then pack them all or
// nothing.
#include <map>
#include <memory>
#include <vector>

#include "platform/filetime.h"
#include "tools/archive_reader.h"
#include "tools/archive_writer.h"
#include "tools/commands.h"
#include "tools/entry_time.h"
#include "tools/names.h"
#include "tools/os.h"
#include "tools/progress.h"
#include "tools/report.h"

namespace {

// The largest file whose token stream fits packedSize's 32 bits even when
// nothing repeats: n bytes take n + ceil(n / 8) token bytes. Anything larger
// could wrap packedSize and make a corrupt entry.
constexpr uint64_t MAX_FILE_SIZE = 3817748706ull;

struct TInput {
    std::string path;  // as named on the command line, or folder and name joined
    std::string name;  // the entry name: the file's base name
    uint64_t size;
};

struct TFileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using TFileHandle = std::unique_ptr<FILE, TFileCloser>;

// Turns the PATH operands into files: a file stands for itself, a folder for
// the regular files directly in it, sorted by name. Returns EXIT_OK or the
// status of the first problem, each reported.
int CollectInputs(const std::vector<std::string>& paths, std::vector<TInput>* inputs) {
    int status = EXIT_OK;
    for (const std::string& path : paths) {
        TPathInfo info;
        std::string error;
        if (!StatPath(path, &info, &error)) {
            ReportError(path, "cannot read: " + error);
            status = EXIT_BAD_DATA;
        } else if (info.isDirectory) {
            std::vector<std::string> names;
            if (!ListRegularFiles(path, &names, &error)) {
                ReportError(path, "cannot read folder: " + error);
                status = EXIT_BAD_DATA;
                continue;
            }
            for (const std::string& name : names) {
                TInput input{JoinPath(path, name), name, 0};
                TPathInfo fileInfo;
                // A name the rules refuse is not looked at: on Windows "CON"
                // in a folder would be the console.
                if (EntryNameProblem(name) != nullptr) {
                    inputs->push_back(input);
                    continue;
                }
                if (!StatPath(input.path, &fileInfo, &error)) {
                    ReportError(input.path, "cannot read: " + error);
                    status = EXIT_BAD_DATA;
                    continue;
                }
                input.size = fileInfo.size;
                inputs->push_back(input);
            }
        } else if (info.isRegular) {
            inputs->push_back(TInput{path, BaseName(path), info.size});
        } else {
            ReportError(path, "not a regular file or folder");
            if (status == EXIT_OK) status = EXIT_BAD_USAGE;
        }
    }
    return status;
}

std::string UpperName(const std::string& name) {
    std::string upper = name;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

// Applies the rules an archive must meet; reports every breach. True when
// the inputs may be packed.
bool InputsAllowed(const TOptions& options, const std::vector<TInput>& inputs) {
    bool allowed = true;
    bool haveInstaller = false;
    std::map<std::string, const TInput*> byUpperName;
    for (const TInput& input : inputs) {
        if (const char* problem = EntryNameProblem(input.name)) {
            ReportError(input.path, std::string("cannot be packed: ") + problem + ": '" +
                                        PrintableName(input.name) + "'");
            allowed = false;
        }
        if (input.size > MAX_FILE_SIZE) {
            ReportError(input.path, "cannot be packed: larger than 3817748706 bytes (3.5 GiB), "
                                    "the most one entry can hold");
            allowed = false;
        }
        std::string upper = UpperName(input.name);
        auto earlier = byUpperName.find(upper);
        if (earlier != byUpperName.end()) {
            ReportError(
                input.path,
                "cannot be packed: same entry name as " + earlier->second->path +
                    (earlier->second->name == input.name ? "" : " (differing only in case)"));
            allowed = false;
        } else {
            byUpperName[upper] = &input;
        }
        if (upper == UpperName(INSTALLER_NAME)) haveInstaller = true;
        if (upper == UpperName(INI_NAME))
            ReportWarning(input.path, std::string("the preloader overwrites an entry named ") +
                                          INI_NAME + " with its own");
    }
    if (inputs.size() > static_cast<size_t>(MAX_ENTRIES)) {
        ReportError(options.archive, "too many entries: " + std::to_string(inputs.size()) +
                                         " (at most " + std::to_string(MAX_ENTRIES) + ")");
        allowed = false;
    }
    if (!haveInstaller && !options.noInstaller) {
        ReportError(options.archive, std::string("no entry named ") + INSTALLER_NAME +
                                         ": the preloader would start nothing "
                                         "(--no-installer packs anyway)");
        allowed = false;
    }
    return allowed;
}

}  // namespace

int RunCreate(const TOptions& options) {
    bool haveEpoch = false;
    int64_t epoch = 0;
    std::string error;
    if (!ReadSourceDateEpoch(&haveEpoch, &epoch, &error)) {
        ReportError("", error);
        return EXIT_BAD_USAGE;
    }

    std::vector<TInput> inputs;
    int status = CollectInputs(options.paths, &inputs);
    if (status != EXIT_OK) return status;
    if (!InputsAllowed(options, inputs)) return EXIT_BAD_USAGE;

    uint64_t total = 0;
    for (const TInput& input : inputs) total += input.size;
    TProgress progress(ProgressWanted(options.quiet), total);
    TArchiveWriter writer;
    if (!writer.Begin(options.archive, static_cast<int>(inputs.size()), &error)) {
        ReportError(options.archive, error);
        return EXIT_BAD_DATA;
    }
    uint64_t done = 0;
    for (const TInput& input : inputs) {
        TFileHandle file(std::fopen(input.path.c_str(), "rb"));
        int64_t modified = 0;
        if (!file) {
            ReportError(input.path, "cannot open: " + LastErrorText());
            return EXIT_BAD_DATA;
        }
        if (!GetStreamModTime(file.get(), &modified)) {
            ReportError(input.path, "cannot read its last-write time");
            return EXIT_BAD_DATA;
        }
        if (haveEpoch && modified > epoch) modified = epoch;
        TDosTime stored;
        bool clamped = false;
        StoredEntryTime(modified, &stored, &clamped);
        if (clamped)
            ReportWarning(input.path, "time " + FormatLocalTime(modified) +
                                          " is outside 1980..2107, stored as " +
                                          FormatDosTime(stored));
        auto within = [&progress, done](uint64_t coded) { progress.Update(done + coded); };
        if (!writer.AddEntry(input.name, file.get(), stored, input.size, &error, within)) {
            ReportError(input.path, error);
            return EXIT_BAD_DATA;
        }
        done += input.size;
        progress.Update(done);
    }
    if (!writer.Commit(&error)) {
        ReportError(options.archive, error);
        return EXIT_BAD_DATA;
    }
    return EXIT_OK;
}
