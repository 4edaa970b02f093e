// The file sink: one chunk filled by the decoder while the writer thread writes the other.
#include "tools/file_sink.h"

#include <cstring>

#include "tools/os.h"

TFileSink::TFileSink(FILE* file) : file_(file) { chunks_[0].reset(new uint8_t[CHUNK]); }

TFileSink::~TFileSink() {
    if (thread_.joinable()) {
        {
            std::lock_guard<std::mutex> hold(lock_);
            closing_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
}

size_t TFileSink::Write(const uint8_t* bytes, size_t count) {
    size_t taken = 0;
    while (taken < count) {
        if (used_ == CHUNK) Hand(used_);
        {
            // The writer's verdict is read under the lock; a failure refuses the rest.
            std::lock_guard<std::mutex> hold(lock_);
            if (failed_) return taken;
        }
        const size_t room = CHUNK - used_;
        const size_t now = count - taken < room ? count - taken : room;
        std::memcpy(chunks_[filling_].get() + used_, bytes + taken, now);
        used_ += now;
        taken += now;
    }
    return taken;
}

void TFileSink::Hand(size_t used) {
    if (!thread_.joinable()) {
        chunks_[1].reset(new uint8_t[CHUNK]);
        thread_ = std::thread(&TFileSink::Writer, this);
    }
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait(hold, [this] { return handed_ == 0; });
    handed_ = used;
    filling_ = 1 - filling_;
    used_ = 0;
    hold.unlock();
    changed_.notify_all();
}

bool TFileSink::WriteChunk(const uint8_t* bytes, size_t count) {
    if (std::fwrite(bytes, 1, count, file_) == count) return true;
    error_ = LastErrorText();  // errno belongs to the thread that wrote
    return false;
}

void TFileSink::Writer() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        changed_.wait(hold, [this] { return handed_ != 0 || closing_; });
        if (handed_ == 0) return;
        const uint8_t* bytes = chunks_[1 - filling_].get();
        const size_t count = handed_;
        const bool skip = failed_;
        hold.unlock();
        const bool written = skip || WriteChunk(bytes, count);
        hold.lock();
        if (!written) failed_ = true;
        handed_ = 0;
        changed_.notify_all();
    }
}

bool TFileSink::Finish(std::string* error) {
    if (thread_.joinable()) {
        std::unique_lock<std::mutex> hold(lock_);
        changed_.wait(hold, [this] { return handed_ == 0; });
    }
    if (!failed_ && used_ != 0 && !WriteChunk(chunks_[filling_].get(), used_)) failed_ = true;
    used_ = 0;
    if (failed_) *error = error_;
    return !failed_;
}
