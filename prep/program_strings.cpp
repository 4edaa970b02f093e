// The program-wide strings, defined in one place so that they are built in a fixed order.
#include "prep/folders.h"

// Within one translation unit, construction follows definition order and
// destruction the reverse: folderName, folderBase, installerPath.
TString folderName("_Velto3d\\");
TString folderBase("_Velto3d");
TString installerPath;

const char archiveName[] = "SETUP.TMP";
