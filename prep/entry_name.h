// The test that an archive entry's name stays a plain file inside the extraction folder.
#pragma once

// True when name can be appended to the extraction folder's path and still
// name a plain file in that folder: it is not empty, holds no backslash,
// slash or colon, is neither "." nor "..", and is no reserved device name
// (CON, PRN, AUX, NUL, COM1..COM9, LPT1..LPT9, also with an extension or
// trailing spaces, in any case).
bool IsSafeEntryName(const char* name);
