// Feeds mutated copies of sound files through the sources of the real DLL: Open, GetMetadata,
// Play into a sink that drops the PCM, Close. The decoders behind them (ACM, DirectShow, the
// Windows Media runtime) are not ours to parse with, so whole files are mutated instead.
//   mutatetool WORKDIR SEED FIRST SECONDS FIXTURE...
// File i (from FIRST on) is a copy of fixture i mod count, mutated by a PRNG seeded with SEED
// and i, written to WORKDIR\mutated-I.<ext> and deleted after it. Before each file a line
// "file I FIXTURE" goes to stdout; after it "done I ms=N". A file that outlasts the watchdog
// ends the program with "HANG I" (exit 3), an unhandled exception with "CRASH I" (exit 4), a
// temporary file it leaves with "LEAK I name" (exit 5 at the end). "HELD I" notes a file still
// open after Close: a decoder abandoned on a stall keeps it. Runs until SECONDS have passed.
#include "StderrCallback.h"
#include "Trelvox.h"
#include "TrelvoxMetadata.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <set>
#include <string>
#include <vector>

namespace {

class NullSink : public IPlayCallback {
public:
    bool TX_THISCALL OnData(const void*, uint32_t bytes) override {
        total += bytes;
        return true;
    }
    uint64_t total = 0;
};

// SplitMix64: the same mutations for the same seed and index on every machine.
class Random {
public:
    explicit Random(uint64_t seed) : m_state(seed) {}
    uint64_t Next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    size_t Below(size_t n) { return n ? static_cast<size_t>(Next() % n) : 0; }

private:
    uint64_t m_state;
};

// A few changes, half of them in the first 512 bytes where the headers are.
void Mutate(std::vector<char>& bytes, Random& random) {
    static const uint32_t kInteresting[] = {0,      1,      0x7F,       0x80,        0xFF,       0x7FFF,
                                            0x8000, 0xFFFF, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu};
    const size_t changes = 1 + random.Below(8);
    for (size_t c = 0; c < changes && !bytes.empty(); ++c) {
        const size_t span = random.Below(2) ? (bytes.size() < 512 ? bytes.size() : 512) : bytes.size();
        const size_t at = random.Below(span);
        switch (random.Below(6)) {
        case 0:
            bytes[at] = static_cast<char>(bytes[at] ^ (1 << random.Below(8)));
            break;
        case 1:
            bytes[at] = static_cast<char>(random.Next());
            break;
        case 2: {
            const uint32_t value = kInteresting[random.Below(sizeof kInteresting / sizeof kInteresting[0])];
            for (size_t k = 0; k < 4 && at + k < bytes.size(); ++k)
                bytes[at + k] =
                    static_cast<char>(random.Below(2) ? value >> (8 * k) : value >> (8 * (3 - k)));
            break;
        }
        case 3:
            bytes.resize(at + 1);
            break;
        case 4: {
            const size_t length = random.Below(bytes.size() - at);
            bytes.erase(bytes.begin() + static_cast<ptrdiff_t>(at),
                        bytes.begin() + static_cast<ptrdiff_t>(at + length));
            break;
        }
        default: {
            const size_t from = random.Below(bytes.size()), length = random.Below(256);
            std::vector<char> copy(bytes.begin() + static_cast<ptrdiff_t>(from),
                                   bytes.begin() + static_cast<ptrdiff_t>(from + length < bytes.size()
                                                                              ? from + length
                                                                              : bytes.size()));
            bytes.insert(bytes.begin() + static_cast<ptrdiff_t>(at), copy.begin(), copy.end());
        }
        }
    }
}

bool ReadWhole(const char* path, std::vector<char>& bytes) {
    FILE* file = fopen(path, "rb");
    if (!file)
        return false;
    char buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    fclose(file);
    return !bytes.empty();
}

bool WriteWhole(const std::string& path, const std::vector<char>& bytes) {
    FILE* file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && ok;
}

// The temporary files of the library's directory and of Windows' own.
std::set<std::string> TempFiles() {
    std::set<std::string> files;
    char dirs[2][MAX_PATH] = {};
    TXTempPath(dirs[0]);
    GetTempPathA(MAX_PATH, dirs[1]);
    for (const char* dir : dirs) {
        std::string pattern =
            std::string(dir) + (dir[0] && dir[strlen(dir) - 1] != '\\' ? "\\" : "") + "*.tmp";
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(pattern.c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        do
            files.insert(pattern.substr(0, pattern.size() - 5) + found.cFileName);
        while (FindNextFileA(search, &found));
        FindClose(search);
    }
    return files;
}

volatile LONG g_current = -1;
volatile LONG g_finished = 0;
DWORD g_watchdogMs = 60000;

DWORD WINAPI Watchdog(void*) {
    LONG seen = -1;
    DWORD since = GetTickCount();
    for (;;) {
        Sleep(500);
        const LONG current = g_current;
        if (current != seen) {
            seen = current;
            since = GetTickCount();
        } else if (current >= 0 && !g_finished && GetTickCount() - since > g_watchdogMs) {
            printf("HANG %ld\n", current);
            fflush(nullptr);
            TerminateProcess(GetCurrentProcess(), 3);
        }
    }
}

LONG WINAPI OnCrash(EXCEPTION_POINTERS* info) {
    printf("CRASH %ld code=%08lX at %p\n", g_current, info->ExceptionRecord->ExceptionCode,
           info->ExceptionRecord->ExceptionAddress);
    fflush(nullptr);
    TerminateProcess(GetCurrentProcess(), 4);
    return EXCEPTION_EXECUTE_HANDLER;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        fprintf(stderr, "usage: mutatetool WORKDIR SEED FIRST SECONDS FIXTURE...\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    SetUnhandledExceptionFilter(OnCrash);
    const std::string work = argv[1];
    const uint64_t seed = strtoull(argv[2], nullptr, 10);
    const long first = atol(argv[3]);
    const DWORD budgetMs = static_cast<DWORD>(atol(argv[4]) * 1000);
    std::vector<std::vector<char>> fixtures;
    std::vector<std::string> extensions;
    for (int i = 5; i < argc; ++i) {
        fixtures.emplace_back();
        const char* dot = strrchr(argv[i], '.');
        if (!ReadWhole(argv[i], fixtures.back()) || !dot) {
            fprintf(stderr, "cannot read %s\n", argv[i]);
            return 2;
        }
        extensions.push_back(dot);
    }
    // The decoders' own stall limit, then some slack for a cancelled decoder to unwind.
    const char* stall = getenv("TRELVOX_STALL_MS");
    g_watchdogMs = 3 * static_cast<DWORD>(stall ? atol(stall) : 30000) + 20000;
    CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr);

    StderrCallback log(true);
    const std::set<std::string> before = TempFiles();
    const DWORD started = GetTickCount();
    int leaks = 0;
    long i = first;
    for (; GetTickCount() - started < budgetMs; ++i) {
        const size_t which = static_cast<size_t>(i) % fixtures.size();
        Random random(seed * 1000003u + static_cast<uint64_t>(i));
        std::vector<char> bytes = fixtures[which];
        Mutate(bytes, random);
        const std::string path = work + "\\mutated-" + std::to_string(i) + extensions[which];
        if (!WriteWhole(path, bytes)) {
            printf("cannot write %s (error %lu)\n", path.c_str(), GetLastError());
            fflush(nullptr);
            TerminateProcess(GetCurrentProcess(), 2);
        }
        printf("file %ld %s\n", i, argv[5 + which]);
        fflush(stdout);
        g_current = i;
        const DWORD fileStarted = GetTickCount();
        FormatRecord row;
        IConvertSource* source = nullptr;
        if (SUCCEEDED(ConvGetFormatOf(&row, path.c_str())) && SUCCEEDED(ConvCreateSource(&row, &source))) {
            source->SetErrorLog(&log);
            source->SetFileName(path.c_str());
            if (source->Open()) {
                IMetadata* tag = nullptr;
                if (source->GetMetadata(&tag) && tag)
                    tag->Release();
                NullSink sink;
                source->Play(&sink);
            }
            source->Close();
            source->SetErrorLog(nullptr);
            source->Release();
        }
        printf("done %ld ms=%lu\n", i, GetTickCount() - fileStarted);
        if (!DeleteFileA(path.c_str()))
            printf("HELD %ld\n", i);
        for (const std::string& name : TempFiles()) {
            if (!before.count(name)) {
                printf("LEAK %ld %s\n", i, name.c_str());
                DeleteFileA(name.c_str());
                ++leaks;
            }
        }
        fflush(stdout);
    }
    g_finished = 1;
    printf("end %ld\n", i);
    fflush(nullptr);
    CoUninitialize();
    // As txconv does: a decoder left behind on a damaged file must not see its libraries unloaded.
    TerminateProcess(GetCurrentProcess(), leaks ? 5 : 0);
    return 0;
}
