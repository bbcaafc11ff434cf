// txconv: the command-line front end of Trelvox.
#include "ComRef.h"
#include "Console.h"
#include "Demo.h"
#include "CdBurn.h"
#include "CdRip.h"
#include "JobRunner.h"
#include "Options.h"
#include "Player.h"
#include "Playlists.h"
#include "ScopedSetting.h"
#include "TagPrinter.h"

#include "Trelvox.h"

#include <io.h>
#include <stdio.h>
#include <string.h>

#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace {

using txconv::Console;

// Whether the library can make an object of this kind for the row. A row may name a class
// that this build of the library does not have (the factory then says E_NOTIMPL), so asking
// the factory is the only true answer.
template <class T>
bool CanCreate(HRESULT(__cdecl* create)(const FormatRecord*, T**), const FormatRecord& rec) {
    txconv::ComRef<T> object;
    return create(&rec, object.put()) == S_OK && object;
}

// Prints one line per row of the format table: index, name, read/write, extensions, description.
int ListFormats() {
    int32_t count = ConvGetFormatCount();
    for (int32_t i = 0; i < count; ++i) {
        FormatRecord rec;
        if (ConvGetFormatAt(&rec, static_cast<uint32_t>(i)) != S_OK)
            return 1;
        std::string extensions;
        for (const char* ext = rec.extensions; *ext; ext += strlen(ext) + 1)
            extensions += (extensions.empty() ? "" : " ") + std::string(ext);
        printf("%2d  %-14s %c%c  %-24s %s\n", i, rec.name, CanCreate(ConvCreateSource, rec) ? 'r' : '-',
               CanCreate(ConvCreateDest, txconv::WriterRecord(rec)) ? 'w' : '-', extensions.c_str(),
               rec.description);
    }
    return 0;
}

// Ctrl-C and Ctrl-Break cancel the running conversions through IsCancelled; the conversions
// then end, report their partial outputs, files not yet started are skipped, and the settings
// are restored on the way out.
Console* g_console = nullptr;

// A second Ctrl-C, while the first is still being acted on, ends the process at once.
BOOL WINAPI OnConsoleControl(DWORD event) {
    if ((event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) && g_console && !g_console->Cancelled()) {
        g_console->Cancel();
        return TRUE;
    }
    return FALSE;
}

int Run(int argc, char** argv) {
    InitTX(nullptr);
    txconv::Options options;
    std::string error;
    if (!txconv::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        txconv::WriteText(stderr, "error: " + error + "\ninfo: txconv --help lists the options\n");
        return 2;
    }
    if (options.help) {
        fputs(txconv::UsageText(), stdout);
        return 0;
    }
    if (options.listFormats)
        return ListFormats();

    // The C runtime writes an unbuffered stream one character per system call; WriteText
    // flushes after each piece of text, so a buffer only joins those calls.
    setvbuf(stderr, nullptr, _IOFBF, 4096);
    // The progress line only makes sense on a console; questions only with one to answer them.
    Console console(_isatty(_fileno(stderr)) != 0, _isatty(_fileno(stdin)) != 0);
    if (!options.tagFiles.empty()) {
        int status = 0;
        for (const std::string& file : options.tagFiles)
            status |= txconv::PrintTags(console, file);
        return status;
    }

    if (!options.play.empty()) {
        g_console = &console;
        SetConsoleCtrlHandler(OnConsoleControl, TRUE);
        int status = txconv::PlayFile(console, options.play);
        SetConsoleCtrlHandler(OnConsoleControl, FALSE);
        g_console = nullptr;
        return status;
    }

    // A rip plans its own conversions, once it has found the drive and the tracks; a burn
    // converts through the library's disc recording.
    const bool burning = options.burn.drive >= 0;
    txconv::JobRunner runner(options, console);
    if (!options.cd.enabled && !burning && !runner.Prepare())
        return 2;
    g_console = &console;
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    int status = 0;
    {
        std::unique_ptr<txconv::ScopedSetting> bpm;
        if (options.bpm) {
            bpm = std::make_unique<txconv::ScopedSetting>("Settings", "BPMAnalysis", 1);
            if (!bpm->Applied())
                console.Report("info", "", "the tempo setting cannot be stored; --bpm has no effect");
        }
        if (burning) {
            status = txconv::RunBurn(options, console);
        } else if (options.cd.enabled) {
            status = txconv::RunCd(options, console);
        } else if (options.files.empty()) {
            status = txconv::RunDemo(options, console, runner);
        } else {
            int listStatus = 0;
            for (const std::string& file : options.files) {
                std::vector<std::string> entries;
                if (!txconv::IsPlaylist(file))
                    runner.AddFile(file);
                else if (txconv::ReadPlaylist(console, file, entries))
                    for (const std::string& entry : entries)
                        runner.AddFile(entry);
                else
                    listStatus = 1;
            }
            status = runner.Run();
            if (status != 130 && !options.playlist.empty() &&
                !txconv::WritePlaylist(console, options.playlist, runner.ConvertedOutputs()))
                listStatus = 1;
            if (status == 0)
                status = listStatus;
        }
    }
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    g_console = nullptr;
    return status;
}

} // namespace

int main(int argc, char** argv) {
    int status = 1;
    try {
        status = Run(argc, argv);
    } catch (const std::exception& e) {
        txconv::WriteText(stderr, std::string("error: ") + e.what() + "\n");
    }
    // Everything of ours is closed and restored by now. A decoder that the library had to leave
    // behind on a damaged file may still run threads of its own, and an orderly exit unloads the
    // decoding libraries under them, which can crash Wine: ending here skips the unloading.
    fflush(nullptr);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
    return status;
}
