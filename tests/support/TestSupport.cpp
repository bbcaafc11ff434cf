#include "TestSupport.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace txtest {

std::string RecordingCallback::Errors() const {
    std::string errors;
    for (const Line& line : lines) {
        if (line.kind == "e")
            errors += line.text;
    }
    return errors;
}

std::string RecordingCallback::AllText() const {
    std::string all;
    for (const Line& line : lines)
        all += line.kind + ": " + line.text;
    return all;
}

TempDir::TempDir() {
    static unsigned counter = 0;
    do {
        std::string name =
            "txtest-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
        m_path = (std::filesystem::temp_directory_path() / name).string();
    } while (!CreateDirectoryA(m_path.c_str(), nullptr));
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary);
    ASSERT_TRUE(file.write(bytes.data(), std::streamsize(bytes.size()))) << path;
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> FilesIn(const std::string& dir, const std::string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search =
        FindFirstFileA((dir + (dir.empty() || dir.back() == '\\' ? "" : "\\") + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do
        names.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

ULONG RefCount(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

void CheckInterfaces(IUnknown* object, std::initializer_list<IID> supported,
                     std::initializer_list<IID> unsupported) {
    IUnknown* identity = nullptr;
    ASSERT_EQ(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    for (const IID& iid : supported) {
        IUnknown* answer = nullptr;
        EXPECT_EQ(object->QueryInterface(iid, reinterpret_cast<void**>(&answer)), S_OK);
        if (!answer)
            continue;
        IUnknown* answerIdentity = nullptr;
        EXPECT_EQ(answer->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&answerIdentity)), S_OK);
        EXPECT_EQ(answerIdentity, identity);
        if (answerIdentity)
            answerIdentity->Release();
        answer->Release();
    }
    for (const IID& iid : unsupported) {
        void* answer = reinterpret_cast<void*>(1);
        EXPECT_EQ(object->QueryInterface(iid, &answer), E_NOINTERFACE);
        EXPECT_EQ(answer, nullptr);
    }
    identity->Release();
}

} // namespace txtest
