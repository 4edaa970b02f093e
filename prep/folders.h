// Working folders and temporary names: where the preloader puts things on disk.
#pragma once

#include "prep/tstring.h"

// Program-wide strings, constructed before WinMain in this order:
extern TString folderName;     // "_Velto3d\" until ChooseExtractFolder picks "_Velto3d<N>\"
extern TString folderBase;     // "_Velto3d"
extern TString installerPath;  // full path of the unpacked INSTALL.EXE, set by PrepareInstallation
extern const char archiveName[];  // "SETUP.TMP", beside the program

// True when path names an existing file or folder; false for null.
bool FileExists(const char* path);
// Fills buffer (at least 256 characters) with the program's folder, ending in
// a backslash, and returns it. The empty text when the program's file name
// was cut short or holds no backslash.
char* GetProgramDirectory(char* buffer);
// A temporary file name in out (260 characters): the system's temporary
// folder, else "c:\temp\KZW<n>.tmp", else a bare "TMP<n>.$$$" in the
// current folder (after one full cycle of numbers it settles for the last
// one tried, even though that name exists).
void MakeTempFileName(char* out, const char* prefix);
// Creates every missing folder along path up to its last backslash.
// Returns 1, or 0 at the first folder that cannot be created; a path of more
// than 256 characters creates nothing and gives 0.
int CreatePathDirectories(const char* path);
// The temporary location: the drive and directory of a fresh MakeTempFileName
// name (whose file is deleted at once), such as "C:\WINDOWS\TEMP\", or the
// empty text (the current folder).
TString GetTempLocation();
// Chooses the first free "_Velto3d<N>" in the temporary location and sets folderName.
void ChooseExtractFolder();
