// velto-pack list: one line per entry (name, size, packed size, date and time), headers only.
#include <cerrno>
#include <cinttypes>
#include <cstring>

#include "tools/archive_reader.h"
#include "tools/cmd_read.h"
#include "tools/commands.h"
#include "tools/entry_time.h"
#include "tools/report.h"

int RunList(const TOptions& options) {
    TOpenArchive archive;
    if (!OpenArchiveForReading(options.archive, &archive)) return EXIT_BAD_DATA;
    TArchiveReader& reader = *archive.reader;
    for (int i = 0; i < reader.EntryCount(); ++i) {
        TArchiveEntry entry;
        if (!reader.ReadName(&entry) || !reader.SkipData(&entry)) {
            std::fflush(stdout);
            ReportError(options.archive, reader.Error());
            return EXIT_BAD_DATA;
        }
        std::printf("%-12s %10" PRIu32 " %10" PRIu32 "  %s\n", PrintableName(entry.name).c_str(),
                    entry.data.unpackedSize, entry.data.tokenRead,
                    FormatDosTime(entry.data.time).c_str());
    }
    if (std::fflush(stdout) != 0) {
        ReportError("", "cannot write the listing: " + std::string(std::strerror(errno)));
        return EXIT_BAD_DATA;
    }
    return EXIT_OK;
}
