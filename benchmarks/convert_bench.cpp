// The conversion side of the encoder benchmark: a Wave file read by the library's Wave source
// and pushed block by block into the destination of a format-table row, as a conversion does.
// usage: convert_bench IN.wav OUT FORMAT [NAME=VALUE...]
#include "Trelvox.h"

#include <stdio.h>

#include <string>

namespace {

class Printer : public IConvertCallback {
public:
    bool TX_THISCALL ConfirmOverwrite(const char*) override { return true; }
    void TX_THISCALL ReportMessage(const char* text) override { fputs(text, stderr); }
    void TX_THISCALL ReportError(const char* text, const char* kind) override {
        fprintf(stderr, "%s: %s", kind, text);
    }
    void TX_THISCALL SetProgressRange(uint32_t) override {}
    void TX_THISCALL SetProgressPos(uint32_t) override {}
    void TX_THISCALL StepProgress(uint32_t) override {}
    void TX_THISCALL SetStatusText(const char*) override {}
    int32_t TX_THISCALL IsCancelled() override { return 0; }
    void TX_THISCALL SetItemText(const char*, int32_t) override {}
};

class Pump : public IPlayCallback {
public:
    explicit Pump(IConvertDestination* dest) : m_dest(dest) {}
    bool TX_THISCALL OnData(const void* pcm, uint32_t bytes) override { return m_dest->Write(bytes, pcm); }

private:
    IConvertDestination* m_dest;
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 4)
        return 2;
    Printer printer;
    FormatRecord in, out;
    IConvertSource* source = nullptr;
    IConvertDestination* dest = nullptr;
    if (ConvGetFormatOf(&in, argv[1]) != S_OK || ConvCreateSource(&in, &source) != S_OK ||
        ConvGetFormatByName(&out, argv[3]) != S_OK || ConvCreateDest(&out, &dest) != S_OK)
        return 3;
    source->SetErrorLog(&printer);
    dest->SetErrorLog(&printer);
    for (int i = 4; i < argc; ++i) {
        std::string option = argv[i];
        size_t equals = option.find('=');
        char message[1024] = {};
        std::string name = option.substr(0, equals);
        if (!dest->SetOption(name.c_str(), equals == std::string::npos ? nullptr : argv[i] + equals + 1,
                             message)) {
            fprintf(stderr, "option %s refused: %s\n", argv[i], message);
            return 4;
        }
    }
    WAVEFORMATEX format = {};
    Pump pump(dest);
    bool ok = source->SetFileName(argv[1]) && source->Open() && source->GetFormat(&format) &&
              dest->SetFileName(argv[2]) && dest->SetFormat(&format) && dest->Open() && source->Play(&pump);
    ok = dest->Close() && ok;
    source->Close();
    source->SetErrorLog(nullptr);
    dest->SetErrorLog(nullptr);
    dest->Release();
    source->Release();
    return ok ? 0 : 1;
}
