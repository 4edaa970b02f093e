// velto-pack extract: unpack each entry with a safe name into DIR, with its time; bad entries are
// reported.
#include <set>

#include "platform/filetime.h"
#include "tools/archive_reader.h"
#include "tools/cmd_read.h"
#include "tools/commands.h"
#include "tools/entry_time.h"
#include "tools/file_sink.h"
#include "tools/names.h"
#include "tools/os.h"
#include "tools/progress.h"
#include "tools/report.h"

namespace {

std::string UpperName(const std::string& name) {
    std::string upper = name;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

// Unpacks one entry whose name is safe: into a temporary file beside its
// target, which replaces the target only when the entry decoded soundly.
// Returns false on failure (reported); *stop says the archive cannot be
// followed further.
bool ExtractEntry(const TOptions& options, TArchiveReader& reader, TArchiveEntry& entry,
                  TProgress& progress, bool* stop) {
    std::string target = JoinPath(options.directory, entry.name);
    std::string label = EntryLabel(entry.index, entry.name);
    std::string tempPath, error;
    TStream file(CreateTempBeside(target, &tempPath, &error));
    if (!file) {
        ReportError(options.archive, label + ": cannot create " + target + ": " + error);
        TCountingSink skip;
        if (!reader.ReadData(&entry, skip, &progress)) ReportError(options.archive, reader.Error());
        *stop = !reader.CanContinue();
        return false;
    }
    std::setvbuf(file.get(), nullptr, _IOFBF, 65536);
    TFileSink sink(file.get());
    const bool sound = reader.ReadData(&entry, sink, &progress);
    *stop = !reader.CanContinue();
    std::string writeError;
    const bool sinkWrote = sink.Finish(&writeError);
    if (!sound || !sinkWrote) {
        file.reset();
        RemoveFile(tempPath);
        if (!sinkWrote)
            ReportError(options.archive, label + ": cannot write " + tempPath + ": " + writeError);
        else
            ReportError(options.archive, reader.Error());
        return false;
    }
    bool written = std::fflush(file.get()) == 0 && !std::ferror(file.get());
    int64_t seconds = 0;
    if (written &&
        !(RestoredEntryTime(entry.data.time, &seconds) && SetStreamModTime(file.get(), seconds)))
        ReportWarning(options.archive, label + ": stored time " + FormatDosTime(entry.data.time) +
                                           " could not be restored");
    if (!written) error = LastErrorText();
    if (std::fclose(file.release()) != 0 && written) {
        written = false;
        error = LastErrorText();
    }
    if (!written) {
        RemoveFile(tempPath);
        ReportError(options.archive, label + ": cannot write " + tempPath + ": " + error);
        return false;
    }
    if (!ReplaceFile(tempPath, target, &error)) {
        RemoveFile(tempPath);
        ReportError(options.archive, label + ": cannot replace " + target + ": " + error);
        return false;
    }
    return true;
}

}  // namespace

int RunExtract(const TOptions& options) {
    if (!options.directory.empty()) {
        TPathInfo info;
        std::string error;
        if (!StatPath(options.directory, &info, &error) || !info.isDirectory) {
            ReportError(options.directory, error.empty() ? "not a folder" : "cannot use: " + error);
            return EXIT_BAD_DATA;
        }
    }
    TOpenArchive archive;
    if (!OpenArchiveForReading(options.archive, &archive)) return EXIT_BAD_DATA;
    TArchiveReader& reader = *archive.reader;
    TProgress progress(ProgressWanted(options.quiet), archive.size);
    int status = EXIT_OK;
    std::set<std::string> extracted;  // upper-cased names, for the same file on Windows
    for (int i = 0; i < reader.EntryCount(); ++i) {
        TArchiveEntry entry;
        if (!reader.ReadName(&entry)) {
            ReportError(options.archive, reader.Error());
            return EXIT_BAD_DATA;
        }
        bool stop = false;
        if (const char* problem = EntryNameProblem(entry.name)) {
            ReportError(options.archive, EntryLabel(entry.index, entry.name) + ": unsafe name (" +
                                             problem + "), not extracted");
            status = EXIT_BAD_DATA;
            TCountingSink skip;
            if (!reader.ReadData(&entry, skip, &progress))
                ReportError(options.archive, reader.Error());
            stop = !reader.CanContinue();
        } else if (ExtractEntry(options, reader, entry, progress, &stop)) {
            if (!extracted.insert(UpperName(entry.name)).second)
                ReportWarning(options.archive, EntryLabel(entry.index, entry.name) +
                                                   ": replaces an earlier entry of the same name");
        } else {
            status = EXIT_BAD_DATA;
        }
        if (stop) return EXIT_BAD_DATA;
    }
    return status;
}
