#include "Editor.h"

#include "Handles.h"
#include "ReplacementFile.h"

namespace wmruntime {

namespace {

constexpr size_t kHeaderStart = 30; // the header object's GUID, size, count and reserved bytes

HRESULT FileError(DWORD code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? NS_E_FILE_OPEN_FAILED
                                                                        : HRESULT_FROM_WIN32(code);
}

bool ReadExactly(HANDLE file, void* buffer, DWORD size) {
    DWORD got = 0;
    return ReadFile(file, buffer, size, &got, nullptr) && got == size;
}

HRESULT LoadHeader(const std::u16string& path, AsfHeader* header, uint64_t* fileSize) {
    trelvox::UniqueHandle file(CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        file.release();
        return FileError(code);
    }
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.get(), &size))
        return HRESULT_FROM_WIN32(GetLastError());
    uint8_t start[kHeaderStart];
    if (static_cast<uint64_t>(size.QuadPart) < kHeaderStart ||
        !ReadExactly(file.get(), start, kHeaderStart) || memcmp(start, kAsfHeaderGuid, 16) != 0)
        return NS_E_INVALID_INPUT_FORMAT;
    uint64_t headerSize = 0;
    for (int i = 7; i >= 0; --i)
        headerSize = (headerSize << 8) | start[16 + i];
    if (headerSize < kHeaderStart || headerSize > static_cast<uint64_t>(size.QuadPart) ||
        headerSize > (64u << 20))
        return ASF_E_INVALIDHEADER;
    std::vector<uint8_t> bytes(start, start + kHeaderStart);
    bytes.resize(static_cast<size_t>(headerSize));
    if (!ReadExactly(file.get(), bytes.data() + kHeaderStart, static_cast<DWORD>(headerSize - kHeaderStart)))
        return NS_E_FILE_READ;
    std::string why;
    if (!header->Parse(bytes.data(), bytes.size(), &why))
        return ASF_E_INVALIDHEADER;
    *fileSize = static_cast<uint64_t>(size.QuadPart);
    return S_OK;
}

// The path in the ANSI code page for the file replacement, or its short form when some
// character has no ANSI equivalent.
bool AnsiPath(const std::u16string& path, std::string* ansi) {
    auto convert = [ansi](const WCHAR* wide) {
        BOOL lossy = FALSE;
        char buffer[MAX_PATH];
        int length = WideCharToMultiByte(CP_ACP, 0, wide, -1, buffer, MAX_PATH, nullptr, &lossy);
        if (length <= 0 || lossy)
            return false;
        *ansi = buffer;
        return true;
    };
    if (convert(W(path)))
        return true;
    WCHAR shortPath[MAX_PATH];
    DWORD length = GetShortPathNameW(W(path), shortPath, MAX_PATH);
    return length > 0 && length < MAX_PATH && convert(shortPath);
}

} // namespace

HRESULT ReadFileAttributes(const std::u16string& path, std::vector<Attribute>* attributes) {
    AsfHeader header;
    uint64_t fileSize = 0;
    HRESULT hr = LoadHeader(path, &header, &fileSize);
    if (SUCCEEDED(hr))
        *attributes = header.Attributes();
    return hr;
}

HRESULT WriteFileAttributes(const std::u16string& path, const std::vector<Attribute>& list) {
    AsfHeader header;
    uint64_t fileSize = 0;
    HRESULT hr = LoadHeader(path, &header, &fileSize);
    if (FAILED(hr))
        return hr;
    uint64_t rest = fileSize - header.ParsedSize();
    header.SetAttributes(list);
    std::vector<uint8_t> bytes = header.Serialize(rest);
    std::string ansi;
    if (!AnsiPath(path, &ansi))
        return NS_E_INVALID_NAME;
    ReplacementFile replacement;
    if (!replacement.Begin(ansi.c_str()) || replacement.OriginalSize() != fileSize ||
        !replacement.Write(bytes.data(), bytes.size()) ||
        !replacement.CopyOriginal(header.ParsedSize(), rest) || !replacement.Commit())
        return NS_E_FILE_WRITE;
    return S_OK;
}

void* Editor::FindInterface(REFIID riid) {
    if (IsEqualIID(riid, __uuidof(IWMMetadataEditor)))
        return static_cast<IWMMetadataEditor*>(this);
    if (IsEqualIID(riid, __uuidof(IWMHeaderInfo)) || IsEqualIID(riid, __uuidof(IWMHeaderInfo2)) ||
        IsEqualIID(riid, __uuidof(IWMHeaderInfo3)))
        return static_cast<IWMHeaderInfo3*>(this);
    return nullptr;
}

HRESULT Editor::AttributesReady(bool) const {
    return m_path.empty() ? NS_E_INVALID_REQUEST : S_OK;
}

HRESULT Editor::Open(const WCHAR* path) {
    if (!path)
        return E_POINTER;
    if (!m_path.empty())
        return NS_E_INVALID_REQUEST;
    return Guard([&] {
        std::vector<Attribute> attributes;
        HRESULT hr = ReadFileAttributes(U16(path), &attributes);
        if (FAILED(hr))
            return hr;
        m_path = U16(path);
        m_original = attributes;
        Attributes() = std::move(attributes);
        return S_OK;
    });
}

HRESULT Editor::Close() {
    if (m_path.empty())
        return NS_E_INVALID_REQUEST;
    m_path.clear();
    Attributes().clear();
    m_original.clear();
    return S_OK;
}

HRESULT Editor::Flush() {
    if (m_path.empty())
        return NS_E_INVALID_REQUEST;
    return Guard([&] {
        auto same = [](const Attribute& a, const Attribute& b) {
            return a.name == b.name && a.type == b.type && a.value == b.value;
        };
        const std::vector<Attribute>& now = Attributes();
        bool changed =
            now.size() != m_original.size() || !std::equal(now.begin(), now.end(), m_original.begin(), same);
        HRESULT hr = changed ? WriteFileAttributes(m_path, now) : S_OK;
        Close();
        return hr;
    });
}

} // namespace wmruntime
