// velto-pack test: decode every entry without writing anything and report each bad one.
#include "tools/archive_reader.h"
#include "tools/cmd_read.h"
#include "tools/commands.h"
#include "tools/names.h"
#include "tools/progress.h"
#include "tools/report.h"

int RunTest(const TOptions& options) {
    TOpenArchive archive;
    if (!OpenArchiveForReading(options.archive, &archive)) return EXIT_BAD_DATA;
    TArchiveReader& reader = *archive.reader;
    TProgress progress(ProgressWanted(options.quiet), archive.size);
    int bad = 0;
    int entries = reader.EntryCount();
    for (int i = 0; i < entries; ++i) {
        TArchiveEntry entry;
        if (!reader.ReadName(&entry)) {
            ReportError(options.archive, reader.Error());
            return EXIT_BAD_DATA;
        }
        if (const char* problem = EntryNameProblem(entry.name)) {
            ReportError(options.archive,
                        EntryLabel(entry.index, entry.name) + ": unsafe name (" + problem + ")");
            ++bad;
        }
        TCountingSink sink;
        if (!reader.ReadData(&entry, sink, &progress)) {
            ReportError(options.archive, reader.Error());
            if (!reader.CanContinue()) return EXIT_BAD_DATA;
            ++bad;
        }
    }
    uint64_t end = reader.Offset();
    uint64_t trailing = reader.CountTrailingBytes();
    if (trailing != 0)
        ReportWarning(options.archive, std::to_string(trailing) +
                                           " bytes after the last entry (from byte " +
                                           std::to_string(end) + "), ignored by the preloader");
    if (bad != 0) return EXIT_BAD_DATA;
    if (!options.quiet)
        std::printf("%s: %d %s, all sound\n", PrintableName(options.archive).c_str(), entries,
                    entries == 1 ? "entry" : "entries");
    return EXIT_OK;
}
