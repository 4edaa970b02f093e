// Which entry names may be unpacked into the extraction folder.
#include "prep/entry_name.h"

#include <gtest/gtest.h>

namespace {

TEST(EntryNameTest, RefusesNamesThatLeaveTheFolderOrReachADevice) {
    const struct {
        const char* name;
        bool safe;
    } cases[] = {
        {"INSTALL.EXE", true},    // a plain name
        {"Install.ini", true},    // allowed: it is replaced later
        {"a b.txt", true},        // spaces inside are fine
        {"..x", true},            // dots that are part of a name
        {"x..", true},            // likewise
        {"...", true},            // not one of the two special names
        {"CONFIG.SYS", true},     // only the exact device names count
        {"CON1", true},           // likewise
        {"COM10", true},          // only one digit
        {"COM0", true},           // no port 0
        {"LPT", true},            // no digit
        {"NULL", true},           // longer than the device name
        {"AUXILIARY.TXT", true},  // likewise
        {"", false},              // the folder itself
        {nullptr, false},         // no name
        {".", false},             // the folder itself
        {"..", false},            // its parent
        {"a\\b", false},          // a backslash
        {"a/b", false},           // a slash
        {"C:x", false},           // a drive
        {"x:stream", false},      // an alternate stream
        {"CON", false},           // the console
        {"con", false},           // in any case
        {"Prn.txt", false},       // with an extension
        {"AUX.tar.gz", false},    // with two
        {"NUL ", false},          // trailing spaces are dropped by the system
        {"NUL .txt", false},      // also before the extension
        {"COM1", false},          // serial ports 1 to 9
        {"com9.log", false},      // likewise
        {"LPT1", false},          // printer ports 1 to 9
        {"lpt9", false},          // likewise
        {"COM\xB9", false},       // superscript one, a port as well
        {"LPT\xB3.x", false},     // superscript three
        {"conin$", false},        // the console's input
        {"CONOUT$.txt", false},   // and output
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsSafeEntryName(c.name), c.safe) << (c.name ? c.name : "(null)");
    }
}

}  // namespace
