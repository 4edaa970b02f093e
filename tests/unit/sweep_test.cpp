// Damaged archives: every cut and every flipped byte, a disk that runs full, and hostile sizes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "codec/lzss.h"
#include "platform/filetime.h"
#include "prep/folders.h"
#include "prep/prepare.h"
#include "tests/fuzz/check_support.h"
#include "tests/fuzz/checks.h"
#include "tests/support/model_system.h"
#include "tests/support/reference_archive.h"
#include "tools/commands.h"

namespace fs = std::filesystem;

namespace {

constexpr unsigned DRIVE_FIXED = 3;
constexpr unsigned DRIVE_CDROM = 5;
const std::string FOLDER = "C:\\WINDOWS\\TEMP\\_Velto3d1\\";

TDosTime At(int year, int month, int day, int hour, int minute, int second) {
    return PackDosTime(TCalendarTime{year, month, day, hour, minute, second}, nullptr);
}

int64_t Utc(TDosTime time) {
    int64_t seconds = -1;
    LocalToUtc(UnpackDosTime(time), &seconds);
    return seconds;
}

// One file of the sweep archive.
struct TSweepFile {
    std::string name;
    std::string bytes;
    TDosTime time;
};

std::string Pseudorandom(size_t n, uint32_t seed) {
    std::string bytes;
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes += static_cast<char>(seed >> 24);
    }
    return bytes;
}

// The files of the sweep archive: repeats (references), text, an empty
// file between two others, and bytes that hardly compress.
const std::vector<TSweepFile>& SweepFiles() {
    static const std::vector<TSweepFile> files = {
        {"INSTALL.EXE", "MZ" + std::string(60, 'i') + std::string("PE\0\0 the installer", 19),
         At(1995, 12, 24, 12, 30, 30)},
        {"README.TXT", "Bitte zuerst lesen. Bitte zuerst lesen, dann installieren.",
         At(2003, 7, 1, 8, 0, 2)},
        {"EMPTY.DAT", "", At(2010, 2, 28, 23, 59, 58)},
        {"DATA.BIN", Pseudorandom(40, 7), At(1980, 1, 1, 0, 0, 0)},
    };
    return files;
}

// A compressed entry made by the codec's own encoder.
std::string PackBytes(const std::string& bytes, TDosTime time) {
    FILE* in = OpenBytes(bytes);
    FILE* out = std::fopen((ScratchFolder() + "/packed").c_str(), "wb+");
    TLZSS codec(0);
    codec.Encode(in, out, time);
    std::string entry = StreamBytes(out);
    std::fclose(in);
    std::fclose(out);
    return entry;
}

std::string Counted(const std::string& name) {
    return std::string{static_cast<char>(name.size()), 0} + name;
}

// The sweep archive, and where each entry ends in it.
struct TSweepArchive {
    std::string bytes;
    std::vector<size_t> ends;
};

const TSweepArchive& Sweep() {
    static const TSweepArchive archive = [] {
        TSweepArchive a;
        a.bytes = std::string{static_cast<char>(SweepFiles().size()), 0};
        for (const TSweepFile& file : SweepFiles()) {
            a.bytes += Counted(file.name) + PackBytes(file.bytes, file.time);
            a.ends.push_back(a.bytes.size());
        }
        return a;
    }();
    return archive;
}

// Sends stdout and stderr to /dev/null for its lifetime (velto-pack reports
// every damaged archive; the sweeps make thousands).
class TQuiet {
public:
    TQuiet() {
        std::fflush(stdout);
        std::fflush(stderr);
        savedOut = dup(1);
        savedErr = dup(2);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        close(null);
    }
    ~TQuiet() {
        std::fflush(stdout);
        std::fflush(stderr);
        dup2(savedOut, 1);
        dup2(savedErr, 2);
        close(savedOut);
        close(savedErr);
    }

private:
    int savedOut;
    int savedErr;
};

// What the preloader left: the message boxes and the files of the extraction folder.
struct TPreloaderRun {
    std::vector<TModelSystem::TMessage> messages;
    std::map<std::string, std::string> bytes;  // by name as created
    std::map<std::string, int64_t> times;
};

// Runs PrepareInstallation on archive in the usual scene; a disk of
// diskSpace bytes when given.
TPreloaderRun RunPreloader(const std::string& archive,
                           uint64_t diskSpace = TModelSystem::UNLIMITED) {
    TModelSystem model;
    model.AddDrive('C', DRIVE_FIXED);
    model.AddDrive('D', DRIVE_CDROM);
    model.AddFolder("C:\\WINDOWS\\TEMP");
    model.SetTempPath("C:\\WINDOWS\\TEMP\\");
    model.SetProgramFileName("D:\\SETUP.EXE");
    model.AddFile("D:\\SETUP.TMP", archive);
    folderName = "_Velto3d1\\";
    installerPath = "";
    model.SetDiskSpace(diskSpace);
    PrepareInstallation(reinterpret_cast<HWND__*>(uintptr_t{1}));
    model.SetDiskSpace(TModelSystem::UNLIMITED);
    TPreloaderRun run;
    run.messages = model.messages;
    for (const std::string& path : model.FilesIn(FOLDER)) {
        const std::string name = path.substr(FOLDER.size());
        run.bytes[name] = model.Bytes(path);
        run.times[name] = model.ModTime(path);
    }
    return run;
}

// velto-pack extract into a fresh folder: the exit status and the files, with times.
struct TExtractRun {
    int status = -1;
    std::map<std::string, std::string> bytes;
    std::map<std::string, int64_t> times;
};

TExtractRun ExtractArchive(const std::string& archive) {
    const fs::path sandbox = fs::path(ScratchFolder()) / "sweep";
    const fs::path out = sandbox / "out";
    std::error_code ignored;
    fs::remove_all(sandbox, ignored);
    fs::create_directories(out);
    PutFile((sandbox / "SETUP.TMP").string(), archive);
    TOptions options;
    options.verb = TVerb::EXTRACT;
    options.archive = (sandbox / "SETUP.TMP").string();
    options.directory = out.string();
    options.quiet = true;
    TExtractRun run;
    {
        TQuiet quiet;
        run.status = RunExtract(options);
    }
    for (const fs::directory_entry& item : fs::directory_iterator(out)) {
        const std::string name = item.path().filename().string();
        run.bytes[name] = FileBytes(item.path().string());
        struct stat status;
        run.times[name] = stat(item.path().c_str(), &status) == 0 ? status.st_mtime : -1;
    }
    return run;
}

// The precise oracles of the fuzz targets, on one damaged archive.
void ExpectDescribedOutcomes(const std::string& archive, const std::string& what) {
    const uint8_t* data = reinterpret_cast<const uint8_t*>(archive.data());
    EXPECT_EQ(CheckPreparation(data, archive.size()), "") << what;
    std::string pack;
    {
        TQuiet quiet;
        pack = CheckPackReader(data, archive.size());
    }
    EXPECT_EQ(pack, "") << what;
}

// Entries that end at or before `intactUpTo` must come out as they went in.
void ExpectEntriesBeforeIntact(const std::string& archive, size_t intactUpTo,
                               const std::string& what) {
    const TPreloaderRun preloader = RunPreloader(archive);
    const TExtractRun extracted = ExtractArchive(archive);
    for (size_t i = 0; i < SweepFiles().size(); ++i) {
        if (Sweep().ends[i] > intactUpTo) break;
        const TSweepFile& file = SweepFiles()[i];
        EXPECT_EQ(preloader.bytes.count(file.name) ? preloader.bytes.at(file.name) : "<missing>",
                  file.bytes)
            << what << ": preloader, " << file.name;
        EXPECT_EQ(extracted.bytes.count(file.name) ? extracted.bytes.at(file.name) : "<missing>",
                  file.bytes)
            << what << ": extract, " << file.name;
        if (!file.bytes.empty()) {  // an empty entry keeps the time its file was made at
            EXPECT_EQ(preloader.times.count(file.name) ? preloader.times.at(file.name) : -1,
                      Utc(file.time))
                << what << ": preloader, time of " << file.name;
        }
        EXPECT_EQ(extracted.times.count(file.name) ? extracted.times.at(file.name) : -1,
                  Utc(file.time))
            << what << ": extract, time of " << file.name;
    }
}

int PackTest(const std::string& archive) {
    const fs::path path = fs::path(ScratchFolder()) / "tested.tmp";
    PutFile(path.string(), archive);
    TOptions options;
    options.verb = TVerb::TEST;
    options.archive = path.string();
    options.quiet = true;
    TQuiet quiet;
    return RunTest(options);
}

TEST(SweepTest, TheSweepArchiveIsSound) {
    const TPreloaderRun run = RunPreloader(Sweep().bytes);
    EXPECT_TRUE(run.messages.empty());
    EXPECT_EQ(PackTest(Sweep().bytes), 0);
    ExpectEntriesBeforeIntact(Sweep().bytes, Sweep().bytes.size(), "whole archive");
    ExpectDescribedOutcomes(Sweep().bytes, "whole archive");
}

TEST(SweepTest, ArchiveCutAtEveryOffsetFailsCleanlyAndKeepsTheEntriesBefore) {
    const std::string& whole = Sweep().bytes;
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        const std::string archive = whole.substr(0, cut);
        const std::string what = "cut at " + std::to_string(cut);
        ExpectDescribedOutcomes(archive, what);
        ExpectEntriesBeforeIntact(archive, cut, what);
        EXPECT_EQ(PackTest(archive), 1) << what;  // every byte is needed
    }
}

TEST(SweepTest, EveryFlippedByteEndsInADescribedOutcomeAndKeepsTheEntriesBefore) {
    const std::string& whole = Sweep().bytes;
    for (const unsigned char mask : {0xFF, 0x01}) {
        for (size_t at = 0; at < whole.size(); ++at) {
            std::string archive = whole;
            archive[at] = static_cast<char>(archive[at] ^ mask);
            const std::string what = "byte " + std::to_string(at) + " ^ " + std::to_string(mask);
            ExpectDescribedOutcomes(archive, what);
            // The count must be intact for any entry to be read as before.
            ExpectEntriesBeforeIntact(archive, at < 2 ? 0 : at, what);
            const int status = PackTest(archive);
            EXPECT_TRUE(status == 0 || status == 1) << what;
        }
    }
}

// ---- A disk that runs full

TEST(SweepTest, PreloaderOnAFullDiskShowsTheMessageAndKeepsTheFilesBefore) {
    uint64_t total = 0;
    for (const TSweepFile& file : SweepFiles()) total += file.bytes.size();
    for (uint64_t space = 0; space <= total; ++space) {
        TPreloaderRun run = RunPreloader(Sweep().bytes, space);
        const std::string what = "disk of " + std::to_string(space) + " bytes";
        uint64_t used = 0;
        bool full = false;
        for (const TSweepFile& file : SweepFiles()) {
            if (full) {
                EXPECT_EQ(run.bytes.count(file.name), 0u) << what << ": " << file.name;
                continue;
            }
            used += file.bytes.size();
            if (used <= space) {
                EXPECT_EQ(run.bytes[file.name], file.bytes) << what << ": " << file.name;
                if (!file.bytes.empty()) {
                    EXPECT_EQ(run.times[file.name], Utc(file.time)) << what << ": " << file.name;
                }
                continue;
            }
            full = true;
            ASSERT_EQ(run.messages.size(), 1u) << what << ": " << file.name;
            EXPECT_EQ(run.messages[0].text, "Fehler beim Decodieren!");
            EXPECT_EQ(run.messages[0].caption, FOLDER + file.name) << what;
            EXPECT_EQ(file.bytes.compare(0, run.bytes[file.name].size(), run.bytes[file.name]), 0)
                << what << ": " << file.name << " holds more than a part of its bytes";
            EXPECT_LT(run.bytes[file.name].size(), file.bytes.size()) << what;
        }
        if (!full) {
            EXPECT_TRUE(run.messages.empty()) << what;
        }
    }
}

TEST(SweepTest, PreloaderOnADiskThatFillsPartWayThroughALargeFileShowsTheMessage) {
    // Larger than the stream buffer, so that the disk fills while bytes are still coming.
    const std::string small = "klein";
    const std::string large = Pseudorandom(50000, 3) + std::string(50000, 'x');
    const TDosTime time = At(2020, 2, 29, 13, 14, 16);
    const std::string archive = std::string{2, 0} + Counted("SMALL.TXT") + PackBytes(small, time) +
                                Counted("LARGE.BIN") + PackBytes(large, time);
    const uint64_t spaces[] = {
        small.size() + 0,      // nothing of the large file fits
        small.size() + 32766,  // less than one stream buffer
        small.size() + 32767,  // exactly one
        small.size() + 65535,  // two and a bit
        small.size() + 99999,  // all but its last byte
    };
    for (const uint64_t space : spaces) {
        TPreloaderRun run = RunPreloader(archive, space);
        const std::string what = "disk of " + std::to_string(space) + " bytes";
        EXPECT_EQ(run.bytes["SMALL.TXT"], small) << what;
        EXPECT_EQ(run.times["SMALL.TXT"], Utc(time)) << what;
        ASSERT_EQ(run.messages.size(), 1u) << what;
        EXPECT_EQ(run.messages[0].caption, FOLDER + "LARGE.BIN") << what;
        EXPECT_EQ(run.bytes["LARGE.BIN"], large.substr(0, space - small.size())) << what;
    }
    const TPreloaderRun roomy = RunPreloader(archive, small.size() + large.size());
    EXPECT_TRUE(roomy.messages.empty());
    EXPECT_EQ(roomy.bytes.at("LARGE.BIN"), large);
}

// The process may write files of at most `bytes` bytes while it lives:
// a write beyond fails (EFBIG), as on a full disk.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(uint64_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved);
        savedHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~TFileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, savedHandler);
    }

private:
    struct rlimit saved;
    void (*savedHandler)(int);
};

TEST(SweepTest, ExtractOnAFullDiskReportsAnErrorAndKeepsTheFilesThatFit) {
    const fs::path sandbox = fs::path(ScratchFolder()) / "full";
    const fs::path archive = sandbox / "SETUP.TMP";
    std::vector<uint64_t> limits = {0};
    for (const TSweepFile& file : SweepFiles()) {
        if (file.bytes.empty()) continue;
        limits.push_back(file.bytes.size() - 1);
        limits.push_back(file.bytes.size());
    }
    for (const uint64_t limit : limits) {
        std::error_code ignored;
        fs::remove_all(sandbox, ignored);
        fs::create_directories(sandbox / "out");
        PutFile(archive.string(), Sweep().bytes);
        TOptions options;
        options.verb = TVerb::EXTRACT;
        options.archive = archive.string();
        options.directory = (sandbox / "out").string();
        options.quiet = true;
        int status = -1;
        {
            TQuiet quiet;
            TFileSizeLimit full(limit);
            status = RunExtract(options);
        }
        const std::string what = "files of at most " + std::to_string(limit) + " bytes";
        bool allFit = true;
        size_t present = 0;
        for (const TSweepFile& file : SweepFiles()) {
            const fs::path path = sandbox / "out" / file.name;
            if (file.bytes.size() <= limit) {
                EXPECT_EQ(FileBytes(path.string()), file.bytes) << what << ": " << file.name;
                ++present;
            } else {
                allFit = false;
            }
        }
        size_t files = 0;
        for (const fs::directory_entry& item : fs::directory_iterator(sandbox / "out")) {
            (void)item;
            ++files;
        }
        EXPECT_EQ(files, present) << what << ": a file that did not fit was left behind";
        EXPECT_EQ(status, allFit ? 0 : 1) << what;
    }
}

// ---- Sizes from a hostile header

TEST(SweepTest, MaxExpansionIsTheLargestOutputOfAnyTokenStream) {
    // best[r][g]: the most bytes r token bytes can still give with g tokens
    // left in the current group (0: a flag byte comes next).
    constexpr int LIMIT = 120;
    std::vector<std::vector<uint64_t>> best(LIMIT + 1, std::vector<uint64_t>(9, 0));
    for (int r = 1; r <= LIMIT; ++r) {
        best[r][0] = best[r - 1][8];
        for (int g = 1; g <= 8; ++g) {
            uint64_t most = 1 + best[r - 1][g - 1];                                // a literal
            if (r >= 2) most = std::max<uint64_t>(most, 18 + best[r - 2][g - 1]);  // a reference
            best[r][g] = most;
        }
    }
    for (int r = 0; r <= LIMIT; ++r) EXPECT_EQ(MaxExpansion(r), best[r][0]) << r << " token bytes";
}

// A token stream of whole groups of eight longest references, each into the
// initial spaces: the most a byte of input can give.
std::string LongestReferences(size_t groups) {
    std::string tokens;
    for (size_t g = 0; g < groups; ++g) {
        tokens += '\0';                                                    // eight references
        for (int k = 0; k < 8; ++k) tokens += std::string("\x00\xFF", 2);  // 18 bytes from 3840
    }
    return tokens;
}

TEST(SweepTest, HostileSizesNeverGiveMoreThanTheTokenBytesPresentDescribe) {
    struct Case {
        const char* meaning;
        uint32_t unpackedSize;
        uint32_t packedSize;
        size_t groups;      // groups of references present
        uint64_t produced;  // bytes the decoder must give
    };
    const Case cases[] = {
        {"both sizes 4 GiB - 1, 4 groups present", 0xFFFFFFFF, 0xFFFFFFFF, 4, 4 * 144},
        {"packedSize far beyond the 17 bytes present", 100, 0x7FFFFFFF, 1, 144},
        {"packedSize ends in the middle of the groups", 0xFFFFFFFF, 34 + 5, 4, 2 * 144 + 2 * 18},
        {"unpackedSize 4 GiB - 1 on a sound stream", 0xFFFFFFFF, 17, 1, 144},
    };
    for (const Case& c : cases) {
        const std::string tokens = LongestReferences(c.groups);
        const std::string entry =
            EntryHeader(c.unpackedSize, c.packedSize, At(2001, 1, 1, 0, 0, 0)) + tokens;
        FILE* input = OpenBytes(entry);
        TLZSS codec(0);
        const std::string target = ScratchFolder() + "/hostile";
        codec.OpenOutput(target.c_str(), -1);
        EXPECT_EQ(codec.Decode(input, codec.outputFile), 0) << c.meaning;
        const uint64_t read = static_cast<uint64_t>(std::ftell(input)) - 36;
        std::fclose(input);
        const std::string written = StreamBytes(codec.outputFile);
        EXPECT_EQ(written.size(), c.produced) << c.meaning;
        EXPECT_LE(written.size(), MaxExpansion(read)) << c.meaning;
        EXPECT_EQ(written, std::string(written.size(), ' ')) << c.meaning;
    }
}

}  // namespace
