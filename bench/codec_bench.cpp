// Encode and Decode alone, memory to memory: the codec's speed without file I/O.
//
// Inputs are made here, deterministically (a seeded generator), or read
// from the files named by VELTO_BENCH_FILES (colon-separated), which
// scripts/bench points at its corpus. Streams are memory files, so only
// the codec and the stream library are measured.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "codec/lzss.h"
#include "tools/archive_reader.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr TDosTime BENCH_TIME = {(21 << 9) | (7 << 5) | 15, (10 << 11) | (20 << 5) | 15};

// Words and line ends, like source text or an INI file.
Bytes TextLike(size_t n, uint32_t seed) {
    static const char* const WORDS[] = {"the ",   "codec ", "ring ",      "match ",     "tree ",
                                        "entry ", "setup ", "installer ", "SETUP.TMP ", "\r\n",
                                        "0123 ",  "value=", "[section]",  "folder ",    "file "};
    std::mt19937 gen(seed);
    Bytes out;
    while (out.size() < n) {
        const char* word = WORDS[gen() % 15];
        out.insert(out.end(), word, word + std::strlen(word));
    }
    out.resize(n);
    return out;
}

// Instruction-like bytes: short repeats of a small vocabulary mixed with noise.
Bytes BinaryLike(size_t n, uint32_t seed) {
    std::mt19937 gen(seed);
    Bytes vocabulary(4096);
    for (auto& b : vocabulary) b = static_cast<uint8_t>(gen() % 7 == 0 ? gen() : gen() % 16);
    Bytes out;
    while (out.size() < n) {
        if (gen() % 4 == 0) {
            out.push_back(static_cast<uint8_t>(gen()));
        } else {
            const size_t at = gen() % (vocabulary.size() - 24);
            const size_t len = 2 + gen() % 20;
            out.insert(out.end(), vocabulary.begin() + at, vocabulary.begin() + at + len);
        }
    }
    out.resize(n);
    return out;
}

Bytes RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 gen(seed);
    Bytes out(n);
    for (auto& b : out) b = static_cast<uint8_t>(gen() >> 24);
    return out;
}

Bytes CorpusFiles() {
    Bytes out;
    const char* list = std::getenv("VELTO_BENCH_FILES");
    if (list == nullptr) return out;
    std::string paths = list;
    size_t start = 0;
    while (start <= paths.size()) {
        size_t end = paths.find(':', start);
        if (end == std::string::npos) end = paths.size();
        const std::string path = paths.substr(start, end - start);
        if (FILE* f = path.empty() ? nullptr : std::fopen(path.c_str(), "rb")) {
            uint8_t chunk[65536];
            for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, f)) > 0;)
                out.insert(out.end(), chunk, chunk + got);
            std::fclose(f);
        }
        start = end + 1;
    }
    return out;
}

// A memory stream holding bytes, open for reading at its start.
FILE* ReadStream(const Bytes& bytes) {
    return fmemopen(const_cast<uint8_t*>(bytes.data()), bytes.size(), "rb");
}

// A regular file holding bytes, in memory where the machine has a RAM file
// system: the decoder reads regular files in blocks, as velto-pack and the
// preloader open them.
FILE* FileHolding(const Bytes& bytes) {
    char path[] = "/dev/shm/velto-bench-XXXXXX";
    FILE* f = nullptr;
    const int fd = mkstemp(path);
    if (fd >= 0) {
        f = fdopen(fd, "w+b");
        std::remove(path);
    } else {
        f = std::tmpfile();
    }
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fflush(f);
    return f;
}

// A memory stream of capacity bytes to write into (Encode seeks back in it).
FILE* WriteStream(Bytes* space) { return fmemopen(space->data(), space->size(), "w+b"); }

Bytes Encoded(const Bytes& input) {
    Bytes space(input.size() + input.size() / 8 + 64);
    FILE* in = ReadStream(input);
    FILE* out = WriteStream(&space);
    TLZSS codec(0);
    codec.Encode(in, out, BENCH_TIME);
    const long size = std::ftell(out);
    std::fclose(in);
    std::fclose(out);
    space.resize(static_cast<size_t>(size));
    return space;
}

void BM_Encode(benchmark::State& state, const Bytes& input) {
    TLZSS codec(0);
    Bytes space(input.size() + input.size() / 8 + 64);
    uint32_t packed = 0;
    for (auto _ : state) {
        FILE* in = ReadStream(input);
        FILE* out = WriteStream(&space);
        codec.Encode(in, out, BENCH_TIME);
        packed = codec.packedSize;
        std::fclose(in);
        std::fclose(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.size()));
    state.counters["ratio"] = input.empty() ? 0 : static_cast<double>(packed + 36) / input.size();
}

// Decode as the preloader calls it, from a file into a stream (the null device).
void BM_Decode(benchmark::State& state, const Bytes& input) {
    FILE* in = FileHolding(Encoded(input));
    TLZSS codec(0);
    codec.OpenOutput("/dev/null", -1);
    for (auto _ : state) {
        std::rewind(in);
        codec.Decode(in, codec.outputFile);
    }
    std::fclose(in);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.size()));
}

// Expand into a sink that only counts: the decoder core alone.
void BM_Expand(benchmark::State& state, const Bytes& input) {
    FILE* in = FileHolding(Encoded(input));
    TLZSS codec(0);
    for (auto _ : state) {
        std::rewind(in);
        TCountingSink sink;  // what velto-pack test decodes into
        codec.Expand(in, sink, nullptr);
        benchmark::DoNotOptimize(sink.count);
    }
    std::fclose(in);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.size()));
}

}  // namespace

int main(int argc, char** argv) {
    constexpr size_t SIZE = 8u << 20;
    static const Bytes text = TextLike(SIZE, 1);
    static const Bytes binary = BinaryLike(SIZE, 2);
    static const Bytes random = RandomBytes(SIZE, 3);
    static const Bytes corpus = CorpusFiles();
    struct Input {
        const char* name;
        const Bytes* bytes;
    };
    const Input inputs[] = {
        {"text", &text}, {"binary", &binary}, {"random", &random}, {"corpus", &corpus}};
    for (const Input& input : inputs) {
        if (input.bytes->empty()) continue;
        const Bytes& bytes = *input.bytes;
        benchmark::RegisterBenchmark((std::string("Encode/") + input.name).c_str(), BM_Encode,
                                     bytes)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("Decode/") + input.name).c_str(), BM_Decode,
                                     bytes)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("Expand/") + input.name).c_str(), BM_Expand,
                                     bytes)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
