// Small helpers the checks share: reading streams, memory streams, failure texts.
#pragma once

#include <cstdio>
#include <string>

// A read stream over bytes (which must outlive it); never null.
FILE* OpenBytes(const std::string& bytes);
// Every byte of a stream from its start; the position is left at the end.
std::string StreamBytes(FILE* stream);
// Every byte of a real file, "" when it cannot be read.
std::string FileBytes(const std::string& path);
// Writes bytes to path; false on failure.
bool PutFile(const std::string& path, const std::string& bytes);
// "what: got G, expected E" for failure messages.
std::string Mismatch(const std::string& what, long long got, long long expected);
// Bytes as hex, at most the first 64, for failure messages.
std::string Hex(const std::string& bytes);
