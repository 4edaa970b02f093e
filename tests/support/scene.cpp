// TSceneTest: the usual scene of the preparation tests.
#include "tests/support/scene.h"

#include "prep/folders.h"

TSceneTest::TSceneTest() {
    model.AddDrive('C', DRIVE_FIXED);
    model.AddDrive('D', DRIVE_CDROM);
    model.AddFolder("C:\\WINDOWS\\TEMP");
    model.AddFolder("C:\\WORK");
    model.SetTempPath("C:\\WINDOWS\\TEMP\\");
    model.SetCurrentFolder("C:\\WORK\\");
    model.SetProgramFileName("D:\\SETUP.EXE");
    folderName = "_Velto3d\\";
    installerPath = "";
}

void TSceneTest::LeaveOnlyTheLastRoad() {
    model.SetTempPath("C:\\NOWHERE\\");
    model.RefuseFolder("c:\\temp");
}
