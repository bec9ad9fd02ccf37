#pragma once
// What the Linux plug-in exports beyond the eight functions, for Double Commander: the
// background flags (copies out run in a thread of the host's) and the content fields
// (the plug-in's columns). The Windows DLLs export none of these. Each catches
// everything, like the eight.
#include "plugin/host_types.h"

extern "C" {

// BG_DOWNLOAD: copies out may run in the background; the plug-in takes concurrent calls.
int FsGetBackgroundFlags(void);

// The field at FieldIndex: its name and units (each cut to maxlen bytes) and its type;
// ft_nomorefields past the last one.
int FsContentGetSupportedField(int FieldIndex, char* FieldName, char* Units, int maxlen);

// A field's value for an entry, written into FieldValue (maxlen bytes): a text, an
// int32 or an int64; the field's type, or ft_fieldempty, ft_fileerror, ft_nosuchfield.
int FsContentGetValue(char* FileName, int FieldIndex, int UnitIndex, void* FieldValue, int maxlen, int flags);

// The default column set; FALSE (nothing written) when a text would not fit maxlen bytes.
BOOL FsContentGetDefaultView(char* ViewContents, char* ViewHeaders, char* ViewWidths, char* ViewOptions, int maxlen);
}
