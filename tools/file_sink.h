// Decoded bytes into a file, written by a second thread while the decoder goes on.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "codec/lzss.h"

// Collects the decoder's bytes in chunks; a full chunk goes to a writer
// thread, so that decoding and writing take turns on two processors rather
// than on one. An entry smaller than a chunk is written by the caller at
// Finish, with no thread at all. After a write error the sink refuses
// further bytes (the decoder then stops); Finish tells what went wrong.
class TFileSink : public TEntrySink {
public:
    static constexpr size_t CHUNK = 1u << 20;

    explicit TFileSink(FILE* file);
    ~TFileSink() override;
    TFileSink(const TFileSink&) = delete;
    TFileSink& operator=(const TFileSink&) = delete;

    bool Put(uint8_t byte) override { return Write(&byte, 1) == 1; }
    size_t Write(const uint8_t* bytes, size_t count) override;
    // Writes what is left and waits for the writer. Returns false with
    // *error set when any write failed; the stream is then in error too.
    bool Finish(std::string* error);

private:
    void Hand(size_t used);  // the filling chunk to the writer; waits while it is busy
    bool WriteChunk(const uint8_t* bytes, size_t count);
    void Writer();

    FILE* file_;
    std::unique_ptr<uint8_t[]> chunks_[2];
    int filling_ = 0;  // the chunk Write fills; the other is the writer's
    size_t used_ = 0;

    std::mutex lock_;
    std::condition_variable changed_;
    std::thread thread_;
    size_t handed_ = 0;  // bytes waiting for the writer in the other chunk; 0 when it is idle
    bool closing_ = false;
    bool failed_ = false;
    std::string error_;
};
