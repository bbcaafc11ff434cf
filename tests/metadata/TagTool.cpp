// A small command-line front to the tag model, for the checks against native tag tools.
//   TagTool dump <file>                 prints "<frame id>=<display text>" per readable frame
//   TagTool write <file> <id>=<text>... replaces the file's tag by these text frames, and
//                                       prints "HR=<result>" and on failure "MSG=<reason>"
// Output texts are UTF-8.
#include "TrelvoxMetadata.h"
#include "Trelvox.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include <oleauto.h>
#include <shellapi.h>

#include <string>

namespace {

std::string ToUtf8(const wchar_t* text) {
    char buf[1024] = "";
    WideCharToMultiByte(CP_UTF8, 0, text, -1, buf, sizeof buf, nullptr, nullptr);
    return buf;
}

int Dump(const char* path) {
    IMetadata* md = nullptr;
    IMetadataTag* tag = nullptr;
    if (MetadataCreateFromFile(path, &md) != S_OK || md->GetTag(&tag) != S_OK)
        return 2;
    printf("COUNT=%u\n", tag->GetFrameCount());
    for (int id = 1; id < 120; ++id) {
        IMetadataFrame* frame = nullptr;
        if (tag->GetFrame(id, IID_IMetadataFrame, reinterpret_cast<void**>(&frame)) != S_OK)
            continue;
        wchar_t text[512] = L"";
        frame->GetDisplayText(text, 512);
        printf("%d=%s\n", id, ToUtf8(text).c_str());
        frame->Release();
    }
    tag->Release();
    md->Release();
    return 0;
}

// The wide command line: the 8-bit argv has already lost what the ANSI code page lacks.
int Write(const char* path, int count, wchar_t** items) {
    InitTX(nullptr);
    IMetadataTag* tag = nullptr;
    if (MetadataCreateTag(&tag) != S_OK)
        return 2;
    for (int i = 0; i < count; ++i) {
        const wchar_t* equals = wcschr(items[i], L'=');
        IMetadataFrameText* frame = nullptr;
        if (!equals || MetadataCreateFrame(_wtoi(items[i]), IID_IMetadataFrameText,
                                           reinterpret_cast<void**>(&frame)) != S_OK)
            return 2;
        frame->SetText(equals + 1);
        frame->AttachTo(tag);
        frame->Release();
    }
    IMetadata* md = nullptr;
    if (MetadataCreateFromFile(path, &md) != S_OK)
        return 2;
    HRESULT hr = md->SetTag(tag);
    md->Release();
    tag->Release();
    printf("HR=%08lX\n", static_cast<unsigned long>(hr));
    IErrorInfo* info = nullptr;
    BSTR reason = nullptr;
    if (FAILED(hr) && GetErrorInfo(0, &info) == S_OK && info && SUCCEEDED(info->GetDescription(&reason)))
        printf("MSG=%s\n", ToUtf8(reason ? reason : L"").c_str());
    SysFreeString(reason);
    if (info)
        info->Release();
    return hr == S_OK ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && strcmp(argv[1], "dump") == 0)
        return Dump(argv[2]);
    if (argc >= 3 && strcmp(argv[1], "write") == 0) {
        int wideCount = 0;
        wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &wideCount);
        int result = wide && wideCount == argc ? Write(argv[2], argc - 3, wide + 3) : 2;
        LocalFree(wide);
        return result;
    }
    fprintf(stderr, "usage: TagTool dump|write <file> [<id>=<text>...]\n");
    return 2;
}
