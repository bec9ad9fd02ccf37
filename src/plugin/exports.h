#pragma once
// The eight functions the host calls, under the host's names and signatures. Each
// catches everything: a failure the rules don't turn into a result becomes the
// export's failure result (INVALID_HANDLE_VALUE, FALSE, FS_FILE_READERROR,
// FS_EXEC_ERROR), never an exception in the host.
#include "plugin/host_types.h"

extern "C" {

int WINAPI FsInit(int PluginNr, tProgressProc pProgressProc, tLogProc pLogProc, tRequestProc pRequestProc);
HANDLE WINAPI FsFindFirst(char* Path, WIN32_FIND_DATAA* FindData);
BOOL WINAPI FsFindNext(HANDLE Hdl, WIN32_FIND_DATAA* FindData);
int WINAPI FsFindClose(HANDLE Hdl);
int WINAPI FsGetFile(char* RemoteName, char* LocalName, int CopyFlags, RemoteInfoStruct* ri);
int WINAPI FsExecuteFile(HWND MainWin, char* RemoteName, char* Verb);
void WINAPI FsGetDefRootName(char* DefRootName, int maxlen);
void WINAPI FsStatusInfo(char* RemoteDir, int InfoStartEnd, int InfoOperation);
}
