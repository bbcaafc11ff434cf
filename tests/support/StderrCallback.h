// The callback of the small command-line helpers that native checks run: message and error
// lines go to stderr as the library wrote them, progress is ignored, nothing is cancelled, and
// an existing output is replaced or not as the helper chose.
#pragma once

#include "TrelvoxConvert.h"

#include <stdio.h>

class StderrCallback : public IConvertCallback {
public:
    explicit StderrCallback(bool replaceExisting) : m_replaceExisting(replaceExisting) {}

    bool TX_THISCALL ConfirmOverwrite(const char*) override { return m_replaceExisting; }
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

private:
    bool m_replaceExisting;
};
