#include "TempFile.h"

#include "Trelvox.h"

bool TempFile::Create(const char* prefix) {
    Reset();
    char dir[MAX_PATH] = {};
    TXTempPath(dir);
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

void TempFile::Reset() {
    m_file.reset();
    if (m_path[0]) {
        DeleteFileA(m_path);
        m_path[0] = '\0';
    }
}
