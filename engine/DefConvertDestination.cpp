#include "DefConvertDestination.h"

#include "PathText.h"

#include <string.h>

namespace trelvox {

bool CreateDirectoryChain(const char* dir) {
    char prefix[MAX_PATH];
    size_t length = strlen(dir);
    if (length >= MAX_PATH)
        return false;
    // Skip the root part: a drive ("C:\"), a UNC server and share ("\\server\share\"), or
    // a leading separator. None of these can be created.
    size_t start = 0;
    if (length >= 2 && dir[1] == ':')
        start = 2;
    else if (length >= 2 && (dir[0] == '\\' || dir[0] == '/') && (dir[1] == '\\' || dir[1] == '/')) {
        int separators = 0;
        for (start = 2; start < length && separators < 2; ++start) {
            if (dir[start] == '\\' || dir[start] == '/')
                ++separators;
        }
    }
    for (size_t i = start; i <= length; ++i) {
        bool boundary = i == length || dir[i] == '\\' || dir[i] == '/';
        if (!boundary || i == 0 || dir[i - 1] == '\\' || dir[i - 1] == '/' || dir[i - 1] == ':')
            continue;
        memcpy(prefix, dir, i);
        prefix[i] = '\0';
        if (!IsDirectory(prefix))
            CreateDirectoryA(prefix, nullptr);
    }
    return IsDirectory(dir);
}

} // namespace trelvox

CDefConvertDestination::~CDefConvertDestination() {
    if (m_source)
        m_source->Release();
}

void* CDefConvertDestination::FindInterface(REFIID riid) {
    if (IsEqualIID(riid, IID_IConvertDestination))
        return static_cast<IConvertDestination*>(this);
    return nullptr;
}

int32_t CDefConvertDestination::GetFormatIndex() {
    return m_formatIndex;
}

int32_t CDefConvertDestination::SetFormatIndex(int32_t index) {
    m_formatIndex = index;
    return index;
}

bool CDefConvertDestination::SetFileName(const char* path) {
    return trelvox::CopyPath(m_path, path);
}

bool CDefConvertDestination::GetFileName(char* buf, int size) {
    if (!m_path[0] || !buf || size <= 0)
        return false;
    trelvox::CopyTruncated(buf, static_cast<size_t>(size), m_path);
    return true;
}

bool CDefConvertDestination::Open() {
    char dir[MAX_PATH];
    strcpy(dir, m_path);
    *const_cast<char*>(trelvox::FileNamePart(dir)) = '\0';
    // Strip the separator the file name leaves behind, except after a bare drive ("C:\").
    size_t length = strlen(dir);
    if (length > 1 && (dir[length - 1] == '\\' || dir[length - 1] == '/') && dir[length - 2] != ':')
        dir[length - 1] = '\0';
    if (dir[0] && !trelvox::CreateDirectoryChain(dir)) {
        SetError("Directory cannot be created: %s", dir);
        return false;
    }
    while (trelvox::PathExists(m_path)) {
        // Without a callback nobody can agree to the replacement, so the file stays.
        IConvertCallback* cb = Callback();
        if (!cb || !cb->ConfirmOverwrite(m_path)) {
            SetError("Output file already exists");
            return false;
        }
        if (!DeleteFileA(m_path)) {
            SetError("Output file cannot be replaced");
            return false;
        }
    }
    return true;
}

bool CDefConvertDestination::Write(uint32_t, const void*) {
    return true;
}

bool CDefConvertDestination::Close() {
    return true;
}

bool CDefConvertDestination::GetMetadata(IMetadata**) {
    return false;
}

bool CDefConvertDestination::SetSource(IConvertSource* src) {
    if (m_source) {
        m_source->Release();
        m_source = nullptr;
    }
    if (!src)
        return false;
    src->AddRef();
    m_source = src;
    return true;
}

bool CDefConvertDestination::EstimateSize(uint32_t, const WAVEFORMATEX*, uint32_t*) {
    return false;
}

bool CDefConvertDestination::SetFormat(const WAVEFORMATEX* wfx) {
    if (!wfx)
        return false;
    memcpy(&m_format, wfx, sizeof(WAVEFORMATEX));
    return true;
}

bool CDefConvertDestination::ShowSettingsDialog(HWND, IConvertDestination**) {
    return false;
}

bool CDefConvertDestination::GetSettingsText(char* buf, int size) {
    if (!buf || size <= 0)
        return false;
    trelvox::CopyTruncated(buf, static_cast<size_t>(size), "None");
    return true;
}

bool CDefConvertDestination::SetOption(const char*, const char*, char*) {
    return false;
}

void CDefConvertDestination::SetErrorLog(IConvertCallback* cb) {
    SetCallback(cb);
}
