// Splitting a path into its drive and its directory, as the runtime's path splitter does.
#pragma once

constexpr unsigned DRIVE_SIZE = 3;        // "C:" and the terminator
constexpr unsigned DIRECTORY_SIZE = 256;  // up to 255 characters and the terminator

// Reads path up to its first 260 characters. drive receives its first two
// characters when the second is a colon, else the empty text; directory
// receives what follows the drive up to and including the last backslash or
// slash, else the empty text. File name and extension are dropped.
// A directory longer than 255 characters does not fit: then both parts are
// empty (the current folder stands in) and the result is false.
bool SplitPath(const char* path, char drive[DRIVE_SIZE], char directory[DIRECTORY_SIZE]);
