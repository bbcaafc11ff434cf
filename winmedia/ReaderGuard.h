// A pass-through filter that the DirectShow source puts between the file source and the parser
// the graph finds for it. It hands the file source's IAsyncReader on unchanged, with two
// additions: a read that reaches further into the file than any read before counts as progress
// on the source's clock, and once cancelled, every read fails. Wine's GStreamer parsers loop for
// ever at the end of some damaged files, asking again and again for the bytes past the end; a
// failed read makes them give up with an error, so that the graph call waiting for them returns.
#pragma once

#include "ComPtr.h"
#include "FilterParts.h"
#include "RuntimeCaller.h"

#include <memory>

class CGuardPin;
class CReaderGuardInput;
class CReaderGuardOutput;
class CGuardReader;

class CReaderGuard : public trelvox::CBaseFilter, public trelvox::StallCancel {
public:
    // clock is shared with the source, which the filter may outlive inside an abandoned graph.
    explicit CReaderGuard(std::shared_ptr<trelvox::ProgressClock> clock);
    ~CReaderGuard() override;

    // The pins, without a reference: they live as long as the filter.
    IPin* Input() const;
    IPin* Output() const;

    // From now on every read fails; threads waiting for a read are woken. Any thread.
    void CancelStalled() override;

    // IBaseFilter.
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** pins) override;
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override;

private:
    friend class CGuardPin;
    friend class CReaderGuardInput;
    friend class CReaderGuardOutput;
    friend class CGuardReader;

    // The file source's reader while the input is connected and reads are allowed, else null.
    trelvox::ComPtr<IAsyncReader> Upstream();

    trelvox::ReadWatch m_reads;
    std::unique_ptr<CReaderGuardInput> m_input;   // both pins share this filter's reference count
    std::unique_ptr<CReaderGuardOutput> m_output; // the common part's lock guards the pins' connections
};
