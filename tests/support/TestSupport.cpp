#include "TestSupport.h"

#include <stdio.h>
#include <stdlib.h>

namespace txtest {

bool RecordingCallback::ConfirmOverwrite(const char*) {
    ++overwriteQuestions;
    return overwriteAnswer;
}

void RecordingCallback::ReportMessage(const char* text) {
    messages.emplace_back(text ? text : "");
}

void RecordingCallback::ReportError(const char* text, const char* kind) {
    lines.push_back({text ? text : "", kind ? kind : ""});
}

void RecordingCallback::SetProgressRange(uint32_t total) {
    progressRange = total;
}

void RecordingCallback::SetProgressPos(uint32_t) {}

void RecordingCallback::StepProgress(uint32_t bytes) {
    progressSteps += bytes;
}

void RecordingCallback::SetStatusText(const char* text) {
    statusTexts.emplace_back(text ? text : "");
}

int32_t RecordingCallback::IsCancelled() {
    return cancelled;
}

void RecordingCallback::SetItemText(const char* text, int32_t) {
    itemTexts.emplace_back(text ? text : "");
}

std::vector<std::string> RecordingCallback::Errors() const {
    std::vector<std::string> errors;
    for (const Line& line : lines) {
        if (line.kind == "e")
            errors.push_back(line.text);
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

std::string TempDir::operator/(const std::string& name) const {
    return m_path + "\\" + name;
}

bool RemoveTree(const std::string& path) {
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
    return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    FILE* file = fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

std::string ReadFile(const std::string& path) {
    std::string bytes;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return bytes;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), file)) > 0)
        bytes.append(buffer, n);
    fclose(file);
    return bytes;
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

std::string Env(const char* name) {
    const char* value = getenv(name);
    return value ? value : "";
}

} // namespace txtest
