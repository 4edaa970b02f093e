// The archive writer: count, counted names and encoded entries, made atomic by a rename.
#include "tools/archive_writer.h"

#include "tools/os.h"

TArchiveWriter::~TArchiveWriter() { Abandon(); }

void TArchiveWriter::Abandon() {
    if (output != nullptr) std::fclose(output);
    output = nullptr;
    if (!tempPath.empty()) RemoveFile(tempPath);
    tempPath.clear();
}

bool TArchiveWriter::WriteBytes(const void* bytes, size_t count, std::string* error) {
    if (count != 0 && std::fwrite(bytes, 1, count, output) != count) {
        *error = "cannot write " + tempPath + ": " + LastErrorText();
        return false;
    }
    size += count;
    return true;
}

bool TArchiveWriter::Begin(const std::string& path, int entryCount, std::string* error) {
    Abandon();
    archivePath = path;
    size = 0;
    output = CreateTempBeside(path, &tempPath, error);
    if (output == nullptr) {
        tempPath.clear();
        *error = "cannot create a temporary file beside it: " + *error;
        return false;
    }
    unsigned char count[2] = {static_cast<unsigned char>(entryCount & 0xFF),
                              static_cast<unsigned char>((entryCount >> 8) & 0xFF)};
    return WriteBytes(count, 2, error);
}

bool TArchiveWriter::AddEntry(const std::string& name, FILE* input, TDosTime time,
                              uint64_t expectedSize, std::string* error,
                              const TEncodeProgress& progress) {
    unsigned char length[2] = {static_cast<unsigned char>(name.size() & 0xFF),
                               static_cast<unsigned char>((name.size() >> 8) & 0xFF)};
    if (!WriteBytes(length, 2, error) || !WriteBytes(name.data(), name.size(), error)) return false;

    std::string readError;
    if (!EncodeInParallel(codec, input, expectedSize, output, time, plan, progress, nullptr,
                          &readError)) {
        *error = "read error: " + readError;
        return false;
    }
    if (std::ferror(output)) {
        *error = "cannot write " + tempPath + ": " + LastErrorText();
        return false;
    }
    if (codec.unpackedSize != expectedSize) {
        *error = "changed while being packed (" + std::to_string(expectedSize) + " bytes before, " +
                 std::to_string(codec.unpackedSize) + " read)";
        return false;
    }
    size += 36 + static_cast<uint64_t>(codec.packedSize);
    return true;
}

bool TArchiveWriter::Commit(std::string* error) {
    if (output == nullptr) {
        *error = "nothing to write";
        return false;
    }
    bool flushed = std::fflush(output) == 0 && !std::ferror(output);
    std::string flushError = flushed ? "" : LastErrorText();
    bool closed = std::fclose(output) == 0;
    output = nullptr;
    if (!flushed || !closed) {
        *error = "cannot write " + tempPath + ": " + (flushed ? LastErrorText() : flushError);
        Abandon();
        return false;
    }
    if (!ReplaceFile(tempPath, archivePath, error)) {
        *error = "cannot rename " + tempPath + " to it: " + *error;
        Abandon();
        return false;
    }
    tempPath.clear();
    return true;
}
