// The test that an archive entry's name stays a plain file inside the extraction folder.
#pragma once

// True when name can be appended to the extraction folder's path and still
// name a plain file in that folder: it is not empty, holds no backslash,
// slash or colon, is neither "." nor "..", and is no reserved device name
// (see below).
bool IsSafeEntryName(const char* name);

// True when the system would open a device for name: CON, PRN, AUX, NUL,
// CONIN$, CONOUT$, COM1..COM9 or LPT1..LPT9, in any case, also with an
// extension or trailing spaces before the dot.
bool IsReservedDeviceName(const char* name);
