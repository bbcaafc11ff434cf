// Exported functions of Trelvox.dll. Every export is cdecl with a plain name, except the two
// settings readers that share a name with Windows functions: they are C++ functions exported
// under their MSVC decorations.
#pragma once

#include "TrelvoxConvert.h"
#include "TrelvoxNormalizer.h"

extern "C" {
// Format table and factories.
TX_API int32_t __cdecl ConvGetFormatCount();
TX_API uint32_t __cdecl ConvGetFormatPos(const FormatRecord* rec);
TX_API HRESULT __cdecl ConvGetFormatAt(FormatRecord* out, uint32_t index);
TX_API HRESULT __cdecl ConvGetFormatOf(FormatRecord* out, const char* path);
TX_API HRESULT __cdecl ConvGetFormatByName(FormatRecord* out, const char* name);
// On success *out holds one reference owned by the caller.
TX_API HRESULT __cdecl ConvCreateSource(const FormatRecord* rec, IConvertSource** out);
TX_API HRESULT __cdecl ConvCreateDest(const FormatRecord* rec, IConvertDestination** out);

// The one-line description of the registry defaults of row's destination (as its
// GetSettingsText would give), cut to size-1 characters. E_FAIL for formats without defaults.
TX_API HRESULT __cdecl ConvDefOutputSettingsString(char* text, int size, const FormatRecord* row);

// Settings store under HKCU\Software\Belvonix\Harvane. The caller closes the returned key.
TX_API HKEY __cdecl GetSectionKey(const char* section);
TX_API bool __cdecl GetProfileBinary(const char* section, const char* key, void* data, uint32_t* size);
TX_API bool __cdecl PutProfileInt(const char* section, const char* key, int value);
// key null deletes the whole section; value null deletes the value.
TX_API bool __cdecl PutProfileString(const char* section, const char* key, const char* value);
TX_API bool __cdecl PutProfileBinary(const char* section, const char* key, const void* data, uint32_t size);
// path: a 260-byte buffer; returns path.
TX_API char* __cdecl TXTempPath(char* path);

// Normalization. On success *out is a new normalizer that the caller ends with Destroy.
TX_API HRESULT __cdecl CreateNormalizer(INormalizer** out);

// Library entry.
TX_API int32_t __cdecl InitTX(const char* text);
}

// C++ overloads of the Windows functions of the same names. The DLL exports them under
// their MSVC decorations; the MinGW import library maps GCC's names onto those.
// *value is left alone on failure, so the caller presets the default.
TX_API bool __cdecl GetProfileIntA(const char* section, const char* key, int* value);
// value must hold the whole value with its terminator (up to 1024 bytes).
TX_API bool __cdecl GetProfileStringA(const char* section, const char* key, char* value);
