#include "DataPlace.h"

#include <windows.h>
#include <winioctl.h>

#include "WideText.h"

namespace {

struct Place {
    bool opened = false;
    bool mapped = false;
    BY_HANDLE_FILE_INFORMATION info = {};
    LONGLONG firstCluster = 0;
};

Place PlaceOf(const std::u16string& path) {
    Place place;
    HANDLE file = CreateFileW(AsWide(path), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return place;
    place.opened = GetFileInformationByHandle(file, &place.info) != 0;
    STARTING_VCN_INPUT_BUFFER from = {};
    RETRIEVAL_POINTERS_BUFFER map = {};
    DWORD got = 0;
    // One extent is all that is asked: the rest of the file says MORE_DATA. Only an answer that
    // maps the file's first cluster counts: Wine answers every file with one made-up extent that
    // ends before it starts, which would make any two files one.
    const BOOL done = DeviceIoControl(file, FSCTL_GET_RETRIEVAL_POINTERS, &from, sizeof from, &map,
                                      sizeof map, &got, nullptr);
    place.mapped = (done || GetLastError() == ERROR_MORE_DATA) && got >= sizeof map &&
                   map.ExtentCount >= 1 && map.StartingVcn.QuadPart == 0 &&
                   map.Extents[0].NextVcn.QuadPart > 0 && map.Extents[0].Lcn.QuadPart >= 0;
    place.firstCluster = map.Extents[0].Lcn.QuadPart;
    CloseHandle(file);
    return place;
}

}  // namespace

DataPlace SameDataOnVolume(const std::u16string& a, const std::u16string& b) {
    const Place first = PlaceOf(a), second = PlaceOf(b);
    if (!first.opened || !second.opened)
        return DataPlace::Unknown;
    if (first.info.dwVolumeSerialNumber != second.info.dwVolumeSerialNumber)
        return DataPlace::Apart;
    // One file index is one file (a hard link on NTFS); two are two only where the map says so.
    const bool indexed = first.info.nFileIndexHigh != 0 || first.info.nFileIndexLow != 0;
    if (indexed && first.info.nFileIndexHigh == second.info.nFileIndexHigh &&
        first.info.nFileIndexLow == second.info.nFileIndexLow)
        return DataPlace::Shared;
    if (!first.mapped || !second.mapped)
        return DataPlace::Unknown;
    return first.firstCluster == second.firstCluster ? DataPlace::Shared : DataPlace::Apart;
}
