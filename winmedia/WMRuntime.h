// The Windows Media Format runtime (wmvcore.dll), bound on first use so that the library
// loads on machines without it.
#pragma once

#include "DefErrLog.h"

#include <windows.h>

struct IWMSyncReader;
struct IWMWriter;
struct IWMProfileManager;
struct IWMMetadataEditor;

namespace trelvox {

// Sentinel result of the creators when wmvcore.dll or the entry point cannot be found.
constexpr HRESULT kWmRuntimeMissing = HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);

// The address of one export of wmvcore.dll, or null when the runtime is missing. The module
// stays loaded for the life of the process; the first call loads it (thread-safe).
FARPROC WmRuntimeProc(const char* name);

// WMCreateSyncReader through the delayed binding; kWmRuntimeMissing when it is not there.
HRESULT WmCreateSyncReader(IWMSyncReader** reader);

// The writing side of the runtime: WMCreateWriter, WMCreateProfileManager and WMCreateEditor.
// Wine's wmvcore.dll reads but only has stubs for these, so they may come from our own runtime,
// TrelvoxWM.dll, beside Trelvox.dll (tools/wmruntime). All three always come from the same
// module, as its profiles go into its writer: under Wine from TrelvoxWM.dll when it is there,
// else from wmvcore.dll; on Windows from wmvcore.dll, and from TrelvoxWM.dll only when the
// system has no runtime. The reader always comes from wmvcore.dll.
// The address of one of the three, or null when neither module has it (thread-safe).
FARPROC WmWriterProc(const char* name);
// The file name of the module the writing side is bound to, "" when none.
const char* WmWriterModuleName();

// The three creators through that binding; kWmRuntimeMissing when no module has them.
HRESULT WmCreateWriter(IWMWriter** writer);
HRESULT WmCreateProfileManager(IWMProfileManager** manager);
HRESULT WmCreateEditor(IWMMetadataEditor** editor);

// Reports the runtime's own text for code as a further error line, when the runtime ships a
// message module ("wmerr*.dll" in the system directory); otherwise reports nothing.
void DescribeWmError(const CDefErrLog& log, HRESULT code);

// Cuts a message text at its first line break and drops a closing full stop.
void TrimWmErrorText(char* text);

} // namespace trelvox
