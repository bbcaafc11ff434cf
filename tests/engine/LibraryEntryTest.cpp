// The library's small services: the referrer id, the build date, event sounds that cannot
// play, and the media-library script.
#include "LibraryEntry.h"
#include "Trelvox.h"

#include "TestSupport.h"

#include <shlwapi.h>
#include <sys/stat.h>
#include <time.h>

namespace {

// Sets a registry default value under HKEY_CLASSES_ROOT and puts the old one back at the end
// (or, if there was none, removes the key's top-level key).
class ClassValue {
public:
    ClassValue(const std::string& key, const std::string& value) : m_key(key) {
        char old[MAX_PATH];
        LONG size = sizeof(old);
        m_had = RegQueryValueA(HKEY_CLASSES_ROOT, key.c_str(), old, &size) == ERROR_SUCCESS;
        if (m_had)
            m_old = old;
        RegSetValueA(HKEY_CLASSES_ROOT, key.c_str(), REG_SZ, value.c_str(), DWORD(value.size()));
    }
    ~ClassValue() {
        if (m_had)
            RegSetValueA(HKEY_CLASSES_ROOT, m_key.c_str(), REG_SZ, m_old.c_str(), DWORD(m_old.size()));
        else
            SHDeleteKeyA(HKEY_CLASSES_ROOT, m_key.substr(0, m_key.find('\\')).c_str());
    }

private:
    std::string m_key, m_old;
    bool m_had = false;
};

} // namespace

TEST(LibraryEntry, Referrer) {
    InitTX(nullptr);
    // No "Ref.txt" beside the program: addresses pass unchanged.
    EXPECT_STREQ("https://www.trelvox.net/buy", AddReferer("https://www.trelvox.net/buy"));

    txtest::TempDir dir;
    char referrer[trelvox::kReferrerLength + 1] = "kept";
    trelvox::ReadReferrer((dir / "missing.txt").c_str(), referrer);
    EXPECT_STREQ("kept", referrer);
    txtest::WriteFile(dir / "Ref.txt", "ab-c 1");
    trelvox::ReadReferrer((dir / "Ref.txt").c_str(), referrer);
    EXPECT_STREQ("abxcx1", referrer);
    // Only the first 80 bytes count, line end and all.
    txtest::WriteFile(dir / "Ref.txt", std::string(79, 'z') + "\r\nmore");
    trelvox::ReadReferrer((dir / "Ref.txt").c_str(), referrer);
    EXPECT_EQ(std::string(79, 'z') + "x", referrer);
}

// The date of the file that holds the library, in UTC, in both pictures.
TEST(LibraryEntry, BuildDate) {
    char program[MAX_PATH];
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    struct _stat info;
    ASSERT_EQ(0, _stat(program, &info));
    time_t written = info.st_mtime;
    struct tm utc = *gmtime(&written);
    static const char* const kMonths[] = {"January",   "February", "March",    "April",
                                          "May",       "June",     "July",     "August",
                                          "September", "October",  "November", "December"};
    char expectedLong[64], expectedShort[16];
    snprintf(expectedLong, sizeof(expectedLong), "%s %d, %d", kMonths[utc.tm_mon], utc.tm_mday,
             utc.tm_year + 1900);
    strftime(expectedShort, sizeof(expectedShort), "%y%m%d", &utc);

    char longDate[256] = "", shortDate[10] = "";
    GetTrelvoxDllDateString(longDate, shortDate);
    EXPECT_STREQ(expectedLong, longDate);
    EXPECT_STREQ(expectedShort, shortDate);
}

TEST(LibraryEntry, EventSoundWithoutFile) {
    InitTX(nullptr);
    txtest::TempDir dir;
    std::string path = dir / "gone.wav";
    txtest::WriteFile(path, "RIFF");
    ASSERT_TRUE(PutProfileString("Sounds", "TxLibraryEntryTest", path.c_str()));
    DeleteFileA(path.c_str());
    EXPECT_FALSE(PlayEventSound("TxLibraryEntryTest"));
    PutProfileString("Sounds", "TxLibraryEntryTest", std::string(300, 'x').c_str());
    EXPECT_FALSE(PlayEventSound("TxLibraryEntryTest"));
    EXPECT_FALSE(PlayEventSound("TxNoSuchEvent"));
    PutProfileString("Sounds", "TxLibraryEntryTest", nullptr);
}

// Off, nothing is written. On, the script goes through the shell's default verb for .vbs, the
// call waits for it, and neither of its files stays behind.
TEST(LibraryEntry, AddToMediaLibrary) {
    InitTX(nullptr);
    txtest::TempDir dir;
    char temp[MAX_PATH] = {};
    TXTempPath(temp);
    const std::vector<std::string> before = txtest::FilesIn(temp, "vbs*");
    const std::string song = dir / "song.mp3";

    PutProfileInt("Settings", "AddToMediaLibrary", 0);
    EXPECT_EQ(S_FALSE, AddToMediaLibrary(nullptr, song.c_str()));
    EXPECT_EQ(before, txtest::FilesIn(temp, "vbs*"));

    ASSERT_TRUE(PutProfileInt("Settings", "AddToMediaLibrary", 1));
    {
        // A stand-in handler copies the script it is given.
        const std::string copy = dir / "copy.vbs";
        ClassValue verb("TxCaptureScript\\shell\\open\\command",
                        "cmd.exe /c copy /b \"%1\" \"" + copy + "\"");
        ClassValue type(".vbs", "TxCaptureScript");
        EXPECT_EQ(S_OK, AddToMediaLibrary(nullptr, song.c_str()));
        EXPECT_EQ("On Error Resume Next\r\nDim Player\r\nSet Player = CreateObject(\"WMPlayer.OCX\")\r\n"
                  "Player.MediaCollection.add(\"" +
                      song + "\")",
                  txtest::ReadFile(copy));
    }
    EXPECT_EQ(before, txtest::FilesIn(temp, "vbs*"));

    // Wine's own script host runs it: a path that closes the call and adds a line of its own
    // shows that the script ran to its end before the call returned.
    const std::string ran = dir / "ran.txt";
    const std::string injected = song +
                                 "\")\r\nCreateObject(\"Scripting.FileSystemObject\").CreateTextFile(\"" +
                                 ran + "\")\r\nREM (\"";
    EXPECT_EQ(S_OK, AddToMediaLibrary(nullptr, injected.c_str()));
    EXPECT_TRUE(txtest::FileExists(ran));
    EXPECT_EQ(before, txtest::FilesIn(temp, "vbs*"));
    PutProfileInt("Settings", "AddToMediaLibrary", 0);
}
