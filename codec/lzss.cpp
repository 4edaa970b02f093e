// TLZSS: construction, the two owned streams, and the per-byte hooks.
#include "codec/lzss.h"

#include "platform/system.h"

namespace {

// Closes *stream if open and sets it to null.
void CloseStream(FILE** stream) {
    if (*stream != nullptr) std::fclose(*stream);
    *stream = nullptr;
}

// Opens name with mode through the system seam, fully buffered, at offset
// (unless -1) into *stream, after closing what was there.
int OpenStream(FILE** stream, const char* name, const char* mode, int32_t offset) {
    CloseStream(stream);
    if (name == nullptr) return 0;
    FILE* opened = Sys().OpenStream(name, mode);
    if (opened == nullptr) return 0;
    std::setvbuf(opened, nullptr, _IOFBF, TLZSS::STREAM_BUFFER);
    if (offset != -1) std::fseek(opened, offset, SEEK_SET);
    *stream = opened;
    return 1;
}

}  // namespace

TLZSS::TLZSS(int32_t progressEnabled)
    : ring(new uint8_t[RING_BYTES]()),
      bestPos(0),
      bestLen(0),
      leftChild(new int32_t[RING_SIZE + 1]()),
      rightChild(new int32_t[ROOT_BASE + 256]()),
      parent(new int32_t[RING_SIZE + 1]()),
      unpackedSize(0),
      packedSize(0),
      packedRead(0),
      outputCount(0),
      progressEnabled(progressEnabled),
      inputFile(nullptr),
      outputFile(nullptr),
      ioBuffer(new uint8_t[IO_BUFFER_BYTES]()) {}

TLZSS::~TLZSS() {
    delete[] ring;
    delete[] leftChild;
    delete[] rightChild;
    delete[] parent;
    delete[] ioBuffer;
    CloseStream(&inputFile);
    CloseStream(&outputFile);
}

int TLZSS::OpenInput(const char* name, int32_t offset) {
    return OpenStream(&inputFile, name, "rb", offset);
}

int TLZSS::OpenOutput(const char* name, int32_t offset) {
    return OpenStream(&outputFile, name, "wb+", offset);
}

void TLZSS::Progress(uint32_t, uint32_t) {}

int TLZSS::ReadInputByte(FILE* input) {
    const int c = std::getc(input);
    if (c == EOF) return -1;
    ++unpackedSize;
    return c;
}
