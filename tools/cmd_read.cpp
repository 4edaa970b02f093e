// Opening an archive for list, test and extract.
#include "tools/cmd_read.h"

#include "tools/os.h"
#include "tools/report.h"

namespace {

// Opens the archive for reading and tells its size; reports a failure.
TStream OpenArchive(const std::string& path, uint64_t* size) {
    TPathInfo info;
    std::string error;
    if (!StatPath(path, &info, &error)) {
        ReportError(path, "cannot open: " + error);
        return nullptr;
    }
    if (info.isDirectory) {
        ReportError(path, "is a folder, not an archive");
        return nullptr;
    }
    TStream stream(std::fopen(path.c_str(), "rb"));
    if (!stream) {
        ReportError(path, "cannot open: " + LastErrorText());
        return nullptr;
    }
    std::setvbuf(stream.get(), nullptr, _IOFBF, 65536);
    *size = info.size;
    return stream;
}

}  // namespace

bool OpenArchiveForReading(const std::string& path, TOpenArchive* archive) {
    archive->stream = OpenArchive(path, &archive->size);
    if (!archive->stream) return false;
    archive->reader = std::make_unique<TArchiveReader>(archive->stream.get());
    if (!archive->reader->ReadCount()) {
        ReportError(path, archive->reader->Error());
        return false;
    }
    return true;
}
