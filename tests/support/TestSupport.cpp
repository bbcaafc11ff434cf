#include "TestSupport.h"

#include <stdio.h>

#include <fstream>
#include <iterator>

namespace txtest {

namespace {

void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string child = path + "\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
}

} // namespace

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
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    static unsigned counter = 0;
    for (;;) {
        char name[MAX_PATH];
        snprintf(name, sizeof(name), "%stxtest-%lu-%u", base, GetCurrentProcessId(), ++counter);
        if (CreateDirectoryA(name, nullptr)) {
            m_path = name;
            return;
        }
    }
}

TempDir::~TempDir() {
    RemoveTree(m_path);
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
