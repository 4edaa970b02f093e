// The progress line: drawn on stderr only after half a second, at most five times a second.
#include "tools/progress.h"

#include <cstdio>
#include <string>

#include "tools/os.h"

namespace {

size_t drawnWidth = 0;  // characters of the line now on the screen, 0 when none

std::string Amount(double bytes) {
    static const char* const UNITS[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    int unit = 0;
    while (bytes >= 1024 && unit < 4) {
        bytes /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, UNITS[unit]);
    return text;
}

}  // namespace

bool ProgressWanted(bool quiet) { return !quiet && StderrIsTerminal(); }

void ClearProgressLine() {
    if (drawnWidth == 0) return;
    std::fprintf(stderr, "\r%*s\r", static_cast<int>(drawnWidth), "");
    std::fflush(stderr);
    drawnWidth = 0;
}

TProgress::TProgress(bool enabled, uint64_t total)
    : enabled(enabled), total(total), start(TClock::now()), lastDraw(start) {}

TProgress::~TProgress() {
    if (enabled) ClearProgressLine();
}

void TProgress::Update(uint64_t done) {
    if (!enabled) return;
    TClock::time_point now = TClock::now();
    if (now - start < std::chrono::milliseconds(500)) return;
    if (drawnWidth != 0 && now - lastDraw < std::chrono::milliseconds(200)) return;
    lastDraw = now;
    double seconds = std::chrono::duration<double>(now - start).count();
    std::string line = Amount(static_cast<double>(done)) + " of " +
                       Amount(static_cast<double>(total)) + ", " +
                       Amount(static_cast<double>(done) / seconds) + "/s";
    size_t width = line.size();
    if (width < drawnWidth) line.append(drawnWidth - width, ' ');
    std::fprintf(stderr, "\r%s", line.c_str());
    std::fflush(stderr);
    drawnWidth = width > drawnWidth ? width : drawnWidth;
}
