#include "LocationProbe.h"

#include <windows.h>

#include "WideText.h"

std::u16string CLocationProbe::ProgramPath() {
    wchar_t buffer[MAX_PATH] = {};
    DWORD length = ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    // A path the buffer cut short would name some other folder: better no path at all.
    if (length == 0 || length >= MAX_PATH)
        return {};
    return FromWide(buffer);
}

bool CLocationProbe::IsRemovableDrive(const std::u16string& driveRoot) {
    return ::GetDriveTypeW(AsWide(driveRoot)) == DRIVE_REMOVABLE;
}
