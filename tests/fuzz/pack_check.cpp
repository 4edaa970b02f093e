// velto-pack's list, test and extract on arbitrary archive bytes, against the reference reading.
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "tests/fuzz/check_support.h"
#include "tests/fuzz/checks.h"
#include "tests/support/reference_archive.h"
#include "tools/commands.h"
#include "tools/names.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t HEADER = 36;
constexpr uint32_t MAGIC = 0x00137457;
constexpr size_t NAME_MAX_BYTES = 255;  // of one name on the host's file system

// What the three commands must report for an archive.
struct TPackPrediction {
    int listStatus = 0;
    int testStatus = 0;
    int extractStatus = 0;
    std::map<std::string, std::string> files;  // extracted name -> bytes
};

// The length of the temporary name extract writes beside a target first.
size_t TempNameLength(const std::string& name) {
    return name.size() + std::to_string(getpid()).size() + 7;  // ".<pid>-0.tmp"
}

TPackPrediction PredictPack(const std::string& archive) {
    TPackPrediction p;
    const uint8_t* data = reinterpret_cast<const uint8_t*>(archive.data());
    const size_t size = archive.size();
    if (size < 2) {
        p.listStatus = p.testStatus = p.extractStatus = 1;
        return p;
    }
    const int stored = static_cast<int16_t>(data[0] | data[1] << 8);
    const int count = stored > 0 ? stored : 0;

    // list: names and headers, token streams passed over.
    size_t at = 2;
    for (int i = 0; i < count && p.listStatus == 0; ++i) {
        const size_t length = size - at >= 2 ? (data[at] | data[at + 1] << 8) : SIZE_MAX;
        if (length == SIZE_MAX || size - at - 2 < length) {
            p.listStatus = 1;
            break;
        }
        const size_t header = at + 2 + length;
        if (size - header < HEADER) {
            p.listStatus = 1;
            break;
        }
        const TReferenceExpansion head = ReferenceExpand(data, header + HEADER, header);
        if (head.magic != MAGIC) {
            p.listStatus = 1;
            break;
        }
        const uint64_t tokens = head.unpackedSize == 0 ? 0 : head.packedSize;
        if (size - header - HEADER < tokens) p.listStatus = 1;
        at = header + HEADER + static_cast<size_t>(tokens);
    }

    // test and extract: every entry decoded, the walk going on past a bad
    // entry whose end is known and present.
    at = 2;
    for (int i = 0; i < count; ++i) {
        const size_t length = size - at >= 2 ? (data[at] | data[at + 1] << 8) : SIZE_MAX;
        if (length == SIZE_MAX || size - at - 2 < length) {
            p.testStatus = p.extractStatus = 1;
            break;
        }
        const std::string raw(reinterpret_cast<const char*>(data + at + 2), length);
        const std::string name = raw.substr(0, raw.find('\0'));
        const size_t header = at + 2 + length;
        const TReferenceExpansion entry = ReferenceExpand(data, size, header);
        const bool safe = EntryNameProblem(name) == nullptr;
        const bool sound = entry.Sound();
        if (!safe || !sound) p.testStatus = 1;
        if (safe && sound && TempNameLength(name) <= NAME_MAX_BYTES) {
            p.files[name] = entry.output;
        } else {
            p.extractStatus = 1;
        }
        if (entry.magic != MAGIC || entry.headerRead < HEADER) {
            p.testStatus = p.extractStatus = 1;
            break;
        }
        const uint64_t tokens = entry.unpackedSize == 0 ? 0 : entry.packedSize;
        if (size - header - HEADER < tokens) {
            p.testStatus = p.extractStatus = 1;
            break;
        }
        at = header + HEADER + static_cast<size_t>(tokens);
    }
    return p;
}

TOptions Options(TVerb verb, const std::string& archive, const std::string& directory = "") {
    TOptions options;
    options.verb = verb;
    options.archive = archive;
    options.directory = directory;
    options.quiet = true;
    return options;
}

}  // namespace

std::string CheckPackReader(const uint8_t* data, size_t size) {
    const std::string archive(reinterpret_cast<const char*>(data), size);
    const TPackPrediction want = PredictPack(archive);

    const fs::path sandbox = fs::path(ScratchFolder()) / "pack";
    const fs::path out = sandbox / "out";
    const fs::path archivePath = sandbox / "SETUP.TMP";
    std::error_code ignored;
    fs::remove_all(sandbox, ignored);
    fs::create_directories(out);
    if (!PutFile(archivePath.string(), archive)) return "cannot write " + archivePath.string();

    const int listed = RunList(Options(TVerb::LIST, archivePath.string()));
    if (listed != want.listStatus) return Mismatch("list's exit status", listed, want.listStatus);
    const int tested = RunTest(Options(TVerb::TEST, archivePath.string()));
    if (tested != want.testStatus) return Mismatch("test's exit status", tested, want.testStatus);
    const int extracted = RunExtract(Options(TVerb::EXTRACT, archivePath.string(), out.string()));
    if (extracted != want.extractStatus)
        return Mismatch("extract's exit status", extracted, want.extractStatus);

    // Nothing beside the archive and the folder; in the folder, exactly the sound entries.
    for (const fs::directory_entry& item : fs::directory_iterator(sandbox)) {
        if (item.path() != out && item.path() != archivePath)
            return "extract wrote outside its folder: " + item.path().string();
    }
    size_t present = 0;
    for (const fs::directory_entry& item : fs::recursive_directory_iterator(out)) {
        const std::string name = item.path().filename().string();
        const auto expected = want.files.find(name);
        if (item.path().parent_path() != out || expected == want.files.end() ||
            !item.is_regular_file())
            return "extract left " + item.path().string() + ", which no sound entry names";
        const std::string bytes = FileBytes(item.path().string());
        if (bytes != expected->second)
            return "extract wrote " + Hex(bytes) + " into " + name + " instead of " +
                   Hex(expected->second);
        ++present;
    }
    if (present != want.files.size())
        return Mismatch("files extracted", static_cast<long long>(present),
                        static_cast<long long>(want.files.size()));
    return "";
}
