// Resource ids of the plug-in DLL, shared by kestran.rc and the code that uses them.
#pragma once

#define IDD_PROPERTIES 102  // the File Properties dialog
#define IDI_KESTRAN 105     // the icon group; its one 32x32 image is icon 1
#define IDC_ARCHIVE_LIST 1001
#define IDC_FILE_NAME 1002
#define IDC_FILE_SIZE 1003
