// The preparation sequence: unpack SETUP.TMP, write Install.ini, start INSTALL.EXE.
#pragma once

struct HWND__;  // the window handle type, without windows.h

// Unpacks every entry of the archive beside the program into the chosen
// extraction folder, writes Install.ini and starts the installer with the
// window handle in decimal. Returns 1 when the archive could be opened,
// 0 otherwise. ChooseExtractFolder must have run.
int PrepareInstallation(HWND__* window);
