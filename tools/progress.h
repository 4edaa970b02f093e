// The progress line on stderr: bytes done of total and the rate, for long work on a terminal.
#pragma once

#include <chrono>
#include <cstdint>

// Shows "<done> of <total>, <rate>/s" on one line of stderr, rewritten in
// place. Nothing appears during the first half second, so quick work stays
// silent; nothing appears at all when disabled (-q, or stderr is not a
// terminal). The line is wiped before any error or warning is printed and
// when the object goes away.
class TProgress {
public:
    TProgress(bool enabled, uint64_t total);
    ~TProgress();
    TProgress(const TProgress&) = delete;
    TProgress& operator=(const TProgress&) = delete;

    // Records that done bytes of the total are finished. Cheap enough to call
    // often: the clock is read once per call and the line redrawn at most
    // five times a second.
    void Update(uint64_t done);

private:
    using TClock = std::chrono::steady_clock;
    bool enabled;
    uint64_t total;
    TClock::time_point start;
    TClock::time_point lastDraw;
};

// True when progress lines should be drawn at all: not quiet and stderr is a terminal.
bool ProgressWanted(bool quiet);
// Wipes a progress line that is on the screen, if any.
void ClearProgressLine();
