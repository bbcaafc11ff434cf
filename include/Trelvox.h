// Exported functions of Trelvox.dll. Every export is cdecl with a plain name, except the two
// settings readers that share a name with Windows functions: they are C++ functions exported
// under their MSVC decorations.
#pragma once

#include "TrelvoxConvert.h"
#include "TrelvoxNormalizer.h"
#include "TrelvoxPlayback.h"

// Conversion options of AudioConvert; a null pointer means all off. Laid out as MSVC lays it
// out: two bytes, two bytes of padding, two 32-bit integers.
typedef struct ConvertOptions {
    uint8_t trimLeadingSilence;
    uint8_t trimTrailingSilence;
    int32_t fadeInMs;
    int32_t fadeOutMs;
} ConvertOptions;
static_assert(sizeof(ConvertOptions) == 12, "ConvertOptions layout");
static_assert(offsetof(ConvertOptions, fadeInMs) == 4, "ConvertOptions layout");
static_assert(offsetof(ConvertOptions, fadeOutMs) == 8, "ConvertOptions layout");

// The normalize argument of AudioConvert: TX_NORMALIZE_OFF, TX_NORMALIZE_MEASURED, or the
// address of a double holding a preset gain (0.0 = measure); it receives the measured gain.
#ifdef __cplusplus
#define TX_NORMALIZE_OFF (reinterpret_cast<double*>(0))
#define TX_NORMALIZE_MEASURED (reinterpret_cast<double*>(1))
#else
#define TX_NORMALIZE_OFF ((double*)0)
#define TX_NORMALIZE_MEASURED ((double*)1)
#endif

#ifdef __cplusplus
extern "C" {
#endif
// Conversion. Converts source into destination (both named, configured, not opened) on a
// worker thread while this thread keeps dispatching its messages. startMs/endMs: -1 = open.
// S_OK, E_INVALIDARG for a null object, E_FAIL otherwise (already reported to callback).
TX_API HRESULT __cdecl AudioConvert(IConvertSource* source, IConvertDestination* destination,
                                    IConvertCallback* callback, const ConvertOptions* options,
                                    double* normalize, int32_t startMs, int32_t endMs);
// Expands a naming scheme for source into outPath (formatIndex -1: a playlist name).
// 1 = outPath holds the path; 0 = outPath holds the error message.
TX_API int32_t __cdecl SuggestOutputFile(const char* scheme, int32_t formatIndex, IConvertSource* source,
                                         char* outPath, int32_t outSize);

// Format table and factories.
TX_API int32_t __cdecl ConvGetFormatCount(void);
TX_API uint32_t __cdecl ConvGetFormatPos(const FormatRecord* rec);
TX_API HRESULT __cdecl ConvGetFormatAt(FormatRecord* out, uint32_t index);
TX_API HRESULT __cdecl ConvGetFormatOf(FormatRecord* out, const char* path);
TX_API HRESULT __cdecl ConvGetFormatByName(FormatRecord* out, const char* name);
// On success *out holds one reference owned by the caller.
TX_API HRESULT __cdecl ConvCreateSource(const FormatRecord* rec, IConvertSource** out);
TX_API HRESULT __cdecl ConvCreateDest(const FormatRecord* rec, IConvertDestination** out);

// Shows the settings dialog of row's destination over parent, on the registry defaults: OK
// saves them and gives S_OK, Cancel gives E_ABORT; S_FALSE (nothing shown) for formats
// without a defaults dialog.
TX_API HRESULT __cdecl ConvDefOutputSettings(HWND parent, const FormatRecord* row);
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

// Library entry and small services.
// Once per process: opens the settings root and reads the referrer id from "Ref.txt" beside
// the library. Returns 0.
TX_API int32_t __cdecl InitTX(const char* text);
// Opens file with the shell's default verb; the shell's result.
TX_API BOOL __cdecl _SHOpen(HWND parent, const char* file, const char* parameters);
// The library file's last-write date (UTC): longDate (256 bytes) as "MMMM d, yyyy", shortDate
// (10 bytes) as "yyMMdd". Both are left alone if the file cannot be found.
TX_API void __cdecl GetTrelvoxDllDateString(char* longDate, char* shortDate);
// Plays the sound file named for event in the "Sounds" settings, asynchronously; null stops
// the sound playing. FALSE if there is no such setting or file.
TX_API BOOL __cdecl PlayEventSound(const char* event);
// address with "?ref=" and the referrer id appended, if there is one. The result is a buffer
// of the library's, valid until the next call from any thread.
TX_API char* __cdecl AddReferer(const char* address);
// With "Settings" "AddToMediaLibrary" on, adds path to Windows Media Player's library through
// a script and waits for it: S_OK, or E_FAIL. S_FALSE, touching nothing, when it is off.
TX_API HRESULT __cdecl AddToMediaLibrary(HWND parent, const char* path);
#ifdef __cplusplus
}
#endif

// The exported names of the two settings readers below, for GetProcAddress (the only way C
// reaches them): bool __cdecl (const char* section, const char* key, int* or char* value).
#define TX_GETPROFILEINTA_EXPORT "?GetProfileIntA@@YA_NPBD0PAH@Z"
#define TX_GETPROFILESTRINGA_EXPORT "?GetProfileStringA@@YA_NPBD0PAD@Z"

#ifdef __cplusplus
// C++ overloads of the Windows functions of the same names. The DLL exports them under
// their MSVC decorations; the MinGW import library maps GCC's names onto those.
// *value is left alone on failure, so the caller presets the default.
TX_API bool __cdecl GetProfileIntA(const char* section, const char* key, int* value);
// value must hold the whole value with its terminator (up to 1024 bytes).
TX_API bool __cdecl GetProfileStringA(const char* section, const char* key, char* value);
#endif
