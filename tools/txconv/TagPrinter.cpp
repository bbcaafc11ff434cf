#include "TagPrinter.h"

#include "ComRef.h"
#include "Paths.h"

#include "TrelvoxMetadata.h"
#include "Trelvox.h"

#include <string.h>

namespace txconv {

namespace {

// The frame identifiers that have a frame object, with their ID3v2.3 names.
struct FrameName {
    int id;
    const char* name;
};
constexpr FrameName kFrames[] = {
    {47, "TIT2"}, {61, "TPE1"}, {29, "TALB"}, {80, "TYER"}, {68, "TRCK"}, {32, "TCON"}, {4, "COMM"},
    {30, "TBPM"}, {31, "TCOM"}, {33, "TCOP"}, {34, "TDAT"}, {36, "TDLY"}, {42, "TENC"}, {43, "TEXT"},
    {44, "TFLT"}, {45, "TIME"}, {46, "TIT1"}, {48, "TIT3"}, {49, "TKEY"}, {50, "TLAN"}, {51, "TLEN"},
    {53, "TMED"}, {55, "TOAL"}, {56, "TOFN"}, {57, "TOLY"}, {58, "TOPE"}, {59, "TORY"}, {60, "TOWN"},
    {62, "TPE2"}, {63, "TPE3"}, {64, "TPE4"}, {65, "TPOS"}, {67, "TPUB"}, {69, "TRDA"}, {70, "TRSN"},
    {71, "TRSO"}, {72, "TSIZ"}, {76, "TSRC"}, {77, "TSSE"}, {79, "TXXX"}, {2, "APIC"},  {84, "WCOM"},
    {85, "WCOP"}, {86, "WOAF"}, {87, "WOAR"}, {88, "WOAS"}, {89, "WORS"}, {90, "WPAY"}, {91, "WPUB"},
    {92, "WXXX"},
};

// Frame names are ASCII.
std::wstring Widen(const char* ascii) {
    return ascii ? std::wstring(ascii, ascii + strlen(ascii)) : std::wstring();
}

} // namespace

int PrintTags(Console& console, const std::string& path) {
    std::string full = FullPath(path);
    if (!FileExists(full)) {
        console.Report("error", path, "no such file");
        return 1;
    }
    ComRef<IMetadata> metadata;
    if (MetadataCreateFromFile(full.c_str(), metadata.put()) != S_OK) {
        console.Report("error", path, "this file type carries no tags the library reads");
        return 1;
    }
    ComRef<IMetadataTag> tag;
    HRESULT hr = metadata->GetTag(tag.put());
    if (hr != S_OK || !tag) {
        console.Report("error", path, "the tag cannot be read");
        return 1;
    }
    // The model hands out the first frame of each identifier; further frames of the same
    // identifier and frames without a frame object are only counted.
    unsigned shown = 0;
    for (const FrameName& entry : kFrames) {
        ComRef<IMetadataFrame> frame;
        if (tag->GetFrame(entry.id, IID_IMetadataFrame, frame.put_void()) != S_OK || !frame)
            continue;
        wchar_t text[1024] = {};
        frame->GetDisplayText(text, 1024);
        const char* name = frame->GetName();
        console.Result(Widen(entry.name) + L"  " + Widen(name) + L": " + text);
        ++shown;
    }
    unsigned count = tag->GetFrameCount();
    if (count > shown)
        console.Report("info", path, std::to_string(count - shown) + " more frames not shown");
    if (count == 0)
        console.Report("info", path, "no tags");
    return 0;
}

} // namespace txconv
