// The properties the fuzz targets check, as plain functions: libFuzzer drives them, and the
// native tests replay the seed corpora and the regression inputs through them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Each check runs one input and returns "" when every property held, else
// what went wrong. Sanitizer findings end the process as usual.

// The decoder on one arbitrary entry: Expand into a sink and Decode into a
// real file agree with the reference reading, byte for byte, in where the
// input stops, in the result, and stay within MaxExpansion of the token
// bytes read. The first byte chooses how the rest becomes an entry: as it
// stands, or as a token stream under a made header (sizes exact, beyond the
// data, or a second copy of the entry behind the first), the stream at times
// repeated to cross the decoder's block boundaries. The input comes from
// memory and from a real file; the sink takes every byte or refuses one.
std::string CheckDecoder(const uint8_t* data, size_t size);

// PrepareInstallation on arbitrary archive bytes against the model OS:
// nothing lands outside the extraction folder, the message box appears
// exactly once when an entry fails (and never otherwise) with that entry's
// target as caption, the files before it hold their bytes and times, and
// Install.ini and the start always follow.
std::string CheckPreparation(const uint8_t* data, size_t size);

// velto-pack's list, test and extract on arbitrary archive bytes: exit
// status 0 or 1 as the reference reading predicts; extract writes exactly
// the sound entries with safe names into its folder and nothing elsewhere.
std::string CheckPackReader(const uint8_t* data, size_t size);

// Encode then decode: any input comes back byte for byte, the entry is
// consumed exactly, its packed size stays within the literal-only bound,
// and encoding does not depend on what the codec object did before. The
// first byte says how many times the rest is repeated (1..16), so that
// inputs cross the ring.
std::string CheckRoundTrip(const uint8_t* data, size_t size);

// A scratch folder of this process (created on first use, removed at exit).
const std::string& ScratchFolder();
