#include "TempFile.h"

#include "Trelvox.h"

#include <io.h>

bool TempFile::Create(const char* prefix) {
    char dir[MAX_PATH] = {};
    TXTempPath(dir);
    return CreateIn(dir, prefix);
}

bool TempFile::CreateIn(const char* dir, const char* prefix) {
    Reset();
    // GetTempFileName creates the (empty) file, so that the name stays ours.
    if (!GetTempFileNameA(dir, prefix, 0, m_path)) {
        m_path[0] = '\0';
        return false;
    }
    m_file.reset(fopen(m_path, "w+b"));
    if (!m_file) {
        DeleteFileA(m_path);
        m_path[0] = '\0';
        return false;
    }
    return true;
}

HANDLE TempFile::Handle() const {
    return m_file ? reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(m_file.get()))) : INVALID_HANDLE_VALUE;
}

bool TempFile::Close() {
    FILE* file = m_file.release();
    return !file || fclose(file) == 0;
}

void TempFile::Reset() {
    m_file.reset();
    if (m_path[0]) {
        DeleteFileA(m_path);
        m_path[0] = '\0';
    }
}
