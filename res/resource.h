// Resource ids shared by Zorbel.rc and the program's code; plain macros so that windres reads
// them too.
#ifndef ZORBEL_RES_RESOURCE_H
#define ZORBEL_RES_RESOURCE_H

#define IDD_ABOUT 100
#define IDI_APP 128
#define IDD_MAIN 129
#define IDB_SKIN 201

#define IDC_STATUS 1001
#define IDC_NOTICE 1002

// The customary About command id (0xE140). Nothing in the program's own windows sends it.
#define ID_ABOUT 57664

#endif  // ZORBEL_RES_RESOURCE_H
