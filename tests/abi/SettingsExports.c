/* The settings store's exports as an MSVC-built caller binds them: by name from the export
 * table, the two readers under their C++ decorations, every one cdecl with a one-byte boolean
 * result. Each value goes in through a writer and comes back through a reader. */
#include "CConvert.h"

typedef bool(__cdecl* GetIntFn)(const char*, const char*, int*);
typedef bool(__cdecl* GetStringFn)(const char*, const char*, char*);
typedef bool(__cdecl* GetBinaryFn)(const char*, const char*, void*, uint32_t*);
typedef bool(__cdecl* PutIntFn)(const char*, const char*, int);
typedef bool(__cdecl* PutStringFn)(const char*, const char*, const char*);
typedef bool(__cdecl* PutBinaryFn)(const char*, const char*, const void*, uint32_t);

static const char kSection[] = "TxSettingsExports";

int main(void) {
    HMODULE dll = LoadTrelvox();
    if (!dll)
        return 1;
    GetIntFn getInt = (GetIntFn)ExportOf(dll, "?GetProfileIntA@@YA_NPBD0PAH@Z");
    GetStringFn getString = (GetStringFn)ExportOf(dll, "?GetProfileStringA@@YA_NPBD0PAD@Z");
    GetBinaryFn getBinary = (GetBinaryFn)ExportOf(dll, "GetProfileBinary");
    PutIntFn putInt = (PutIntFn)ExportOf(dll, "PutProfileInt");
    PutStringFn putString = (PutStringFn)ExportOf(dll, "PutProfileString");
    PutBinaryFn putBinary = (PutBinaryFn)ExportOf(dll, "PutProfileBinary");
    if (g_failures) {
        FreeLibrary(dll);
        return 1;
    }
    putString(kSection, NULL, NULL);

    CHECK(putInt(kSection, "Int", -1234567));
    int value = 0;
    CHECK(getInt(kSection, "Int", &value));
    CHECK_EQ(-1234567, value);
    /* A missing value leaves the caller's default alone. */
    value = 42;
    CHECK(!getInt(kSection, "Missing", &value));
    CHECK_EQ(42, value);

    CHECK(putString(kSection, "Text", "C:\\Music\\<artist> - <title>"));
    char text[1024] = "";
    CHECK(getString(kSection, "Text", text));
    CHECK_STR("C:\\Music\\<artist> - <title>", text);
    CHECK(putString(kSection, "Text", NULL));
    strcpy(text, "kept");
    CHECK(!getString(kSection, "Text", text));
    CHECK_STR("kept", text);

    const unsigned char bytes[5] = {0x00, 0xFF, 0x10, 0x80, 0x7F};
    CHECK(putBinary(kSection, "Bytes", bytes, sizeof(bytes)));
    unsigned char back[16];
    memset(back, 0xCC, sizeof(back));
    uint32_t size = sizeof(back);
    CHECK(getBinary(kSection, "Bytes", back, &size));
    CHECK_EQ(sizeof(bytes), size);
    CHECK(memcmp(bytes, back, sizeof(bytes)) == 0);

    /* The whole section goes with a null key. */
    CHECK(putString(kSection, NULL, NULL));
    value = 7;
    CHECK(!getInt(kSection, "Int", &value));
    CHECK_EQ(7, value);

    FreeLibrary(dll);
    printf("%d checks, %d failed\n", g_checks, g_failures);
    return g_failures ? 1 : 0;
}
