// SuggestOutputFile: turns a naming scheme into the output path for one source, from the
// source's location, its tags and the clock.
#include "ComPtr.h"
#include "NamingScheme.h"
#include "PathText.h"
#include "SettingsStore.h"
#include "Trelvox.h"
#include "TrelvoxMetadata.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include <new>
#include <string>
#include <vector>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

constexpr char kTooLong[] = "Filename too long (259 character limit)";
// Schemes kept in the string table are single lines.
constexpr int kResourceSchemeSize = 1024;
constexpr size_t kTagTextLimit = 99;
constexpr size_t kGenreLimit = 59;
constexpr size_t kYearLimit = 4;

// The message goes where the path would have gone, cut to the caller's buffer.
int32_t Fail(char* outPath, int32_t outSize, const std::string& message) {
    trelvox::CopyTruncated(outPath, static_cast<size_t>(outSize), message.c_str());
    return 0;
}

// The ANSI form of text, at most limit bytes and never a split character. Characters the
// code page lacks become the code page's default character ('?', which cleaning removes).
std::string ToAnsi(const wchar_t* text, size_t limit) {
    int length = static_cast<int>(wcslen(text));
    // No best-fit guesses (U+2215 is no "/"); code pages that refuse the flag convert without it.
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    while (length > 0) {
        int bytes = WideCharToMultiByte(CP_ACP, flags, text, length, nullptr, 0, nullptr, nullptr);
        if (bytes == 0 && flags != 0) {
            flags = 0;
            continue;
        }
        if (bytes > 0 && static_cast<size_t>(bytes) <= limit) {
            std::string ansi(static_cast<size_t>(bytes), '\0');
            WideCharToMultiByte(CP_ACP, flags, text, length, &ansi[0], bytes, nullptr, nullptr);
            return ansi;
        }
        // Too long for the limit (or not convertible): drop the last character, both halves
        // of a surrogate pair at once.
        --length;
        if (length > 0 && text[length - 1] >= 0xD800 && text[length - 1] <= 0xDBFF)
            --length;
    }
    return std::string();
}

// Reads the text of the tag's first frame of frameId into value (at most limit bytes);
// false when the tag has no such frame.
bool ReadFrameText(IMetadataTag* tag, int frameId, size_t limit, std::string& value) {
    void* object = nullptr;
    if (tag->GetFrame(frameId, IID_IMetadataFrameText, &object) != S_OK || !object)
        return false;
    trelvox::ComPtr<IMetadataFrameText> frame(static_cast<IMetadataFrameText*>(object));
    // A limit in characters is also enough room for the same number of single bytes.
    std::vector<wchar_t> text(limit + 1, L'\0');
    frame->GetText(text.data(), static_cast<int>(text.size()));
    text.back() = L'\0';
    value = ToAnsi(text.data(), limit);
    return true;
}

// Fills the tag values from the source's tag; returns the number of frames found. A source
// without metadata or without a tag has none, which is not an error.
int ReadTagValues(IConvertSource* source, trelvox::NamingValues& values) {
    IMetadata* metadata = nullptr;
    if (!source->GetMetadata(&metadata) || !metadata)
        return 0;
    trelvox::ComPtr<IMetadata> metadataOwner(metadata);
    IMetadataTag* tag = nullptr;
    if (metadata->GetTag(&tag) != S_OK || !tag)
        return 0;
    trelvox::ComPtr<IMetadataTag> tagOwner(tag);

    struct Field {
        int frameId;
        size_t limit;
        std::string* value;
    };
    const Field fields[] = {
        {47, kTagTextLimit, &values.title},  // TIT2
        {29, kTagTextLimit, &values.album},  // TALB
        {61, kTagTextLimit, &values.artist}, // TPE1
        {80, kYearLimit, &values.year},      // TYER
        {32, kGenreLimit, &values.genre},    // TCON
    };
    int found = 0;
    for (const Field& field : fields) {
        if (ReadFrameText(tag, field.frameId, field.limit, *field.value)) {
            trelvox::CleanTagText(*field.value, true);
            ++found;
        }
    }
    std::string track;
    if (ReadFrameText(tag, 68, kTagTextLimit, track)) { // TRCK
        values.trackNumber = trelvox::TrackNumberOf(track);
        trelvox::CleanTagText(values.trackNumber, false);
        ++found;
    }
    return found;
}

void ReadSourceLocation(IConvertSource* source, trelvox::NamingValues& values) {
    char text[MAX_PATH] = "";
    if (source->GetFileTitle(text, sizeof(text))) {
        values.sourceName = text;
        size_t dot = values.sourceName.rfind('.');
        if (dot != std::string::npos)
            values.sourceName.erase(dot);
    }
    text[0] = '\0';
    if (source->GetFileDir(text, sizeof(text)))
        values.sourceDir = text;
}

// Time and date are read once, so a scheme using both cannot straddle midnight.
void ReadClock(trelvox::NamingValues& values) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[64] = "";
    if (GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &now, "HH-mm", text, sizeof(text)) > 0)
        values.time = text;
    text[0] = '\0';
    if (GetDateFormatA(LOCALE_USER_DEFAULT, 0, &now, "MM-dd-yyyy", text, sizeof(text)) > 0)
        values.date = text;
}

std::string LoadScheme(const char* scheme) {
    if (reinterpret_cast<uintptr_t>(scheme) >= 0x10000)
        return scheme;
    char text[kResourceSchemeSize] = "";
    int length = LoadStringA(reinterpret_cast<HINSTANCE>(&__ImageBase),
                             static_cast<UINT>(reinterpret_cast<uintptr_t>(scheme)), text, sizeof(text));
    return std::string(text, length > 0 ? static_cast<size_t>(length) : 0);
}

void TrimWhiteSpace(std::string& text) {
    size_t end = text.size();
    while (end > 0 && isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    size_t start = 0;
    while (start < end && isspace(static_cast<unsigned char>(text[start])))
        ++start;
    text = text.substr(start, end - start);
}

bool EndsWithNoCase(const std::string& text, const char* suffix) {
    size_t length = strlen(suffix);
    return length <= text.size() && lstrcmpiA(text.c_str() + text.size() - length, suffix) == 0;
}

int32_t Suggest(const char* schemeArgument, int32_t formatIndex, IConvertSource* source, char* outPath,
                int32_t outSize) {
    const size_t maxLength = static_cast<size_t>(outSize) - 1;
    std::string scheme = LoadScheme(schemeArgument);
    if (scheme == "CONOUT$") {
        trelvox::CopyTruncated(outPath, static_cast<size_t>(outSize), "CONOUT$");
        return 1;
    }

    trelvox::NamingValues values;
    if (source)
        ReadSourceLocation(source, values);
    int framesFound = 0;
    if (source && trelvox::MentionsTagElement(scheme))
        framesFound = ReadTagValues(source, values);
    if (framesFound == 0 && trelvox::ReadSettingInt("Settings", "UseOriginalFileNameIfNoID3Tag", 1) != 0)
        scheme = trelvox::FallBackToSourceName(scheme);
    ReadClock(values);

    std::string path;
    if (!trelvox::ExpandScheme(scheme, values, path))
        return Fail(outPath, outSize, path);
    TrimWhiteSpace(path);
    if (path.empty())
        return Fail(outPath, outSize, "Empty output file name specifed");
    if (path.size() > maxLength)
        return Fail(outPath, outSize, kTooLong);

    if (formatIndex == -1) {
        // A playlist: its own extension, and an existing list is simply replaced.
        const char* name = trelvox::FileNamePart(path.c_str());
        const char* dot = strrchr(name, '.');
        if (dot)
            path.erase(static_cast<size_t>(dot - path.c_str()));
        path += ".m3u";
        if (path.size() > maxLength)
            return Fail(outPath, outSize, kTooLong);
        trelvox::CopyTruncated(outPath, static_cast<size_t>(outSize), path.c_str());
        return 1;
    }

    FormatRecord format;
    if (ConvGetFormatAt(&format, static_cast<uint32_t>(formatIndex)) != S_OK)
        return Fail(outPath, outSize, "Invalid output format");
    const std::string extension = format.extensions; // the first one of the list
    if (EndsWithNoCase(path, extension.c_str()))
        path.erase(path.size() - extension.size());
    const std::string base = path;
    if (base.size() + extension.size() > maxLength)
        return Fail(outPath, outSize, kTooLong);
    path = base + extension;

    if (trelvox::ReadSettingInt("Settings", "RenameOnCollision", 0) != 0) {
        for (int n = 2; trelvox::PathExists(path.c_str()); ++n) {
            path = base + " (" + std::to_string(n) + ")" + extension;
            if (path.size() > maxLength) {
                char message[64];
                snprintf(message, sizeof(message), "Filename too long (%d character limit)", outSize - 1);
                return Fail(outPath, outSize, message);
            }
        }
    }
    trelvox::CopyTruncated(outPath, static_cast<size_t>(outSize), path.c_str());
    return 1;
}

} // namespace

extern "C" int32_t __cdecl SuggestOutputFile(const char* scheme, int32_t formatIndex, IConvertSource* source,
                                             char* outPath, int32_t outSize) {
    if (!outPath || outSize <= 0)
        return 0;
    try {
        return Suggest(scheme, formatIndex, source, outPath, outSize);
    } catch (const std::bad_alloc&) {
        return Fail(outPath, outSize, "Out of memory");
    } catch (...) {
        return Fail(outPath, outSize, "Output file name cannot be made");
    }
}
