// The common part of every frame object.
#pragma once

#include "ComObject.h"
#include "FieldText.h"
#include "MetadataTag.h"
#include "TrelvoxMetadata.h"

#include <id3/tag.h>
#include <id3/writers.h>

#include <new>
#include <sstream>
#include <string>

namespace trelvox {

// The id3lib frame behind a frame object, reachable from any of its interfaces.
// An owning object deletes its frame; a non-owning one points into a tag and must not
// outlive it.
class MetadataFrameCore {
public:
    MetadataFrameCore(ID3_Frame* frame, bool owns) : m_frame(frame), m_owns(owns) {}
    virtual ~MetadataFrameCore() {
        if (m_owns)
            delete m_frame;
    }
    MetadataFrameCore(const MetadataFrameCore&) = delete;
    MetadataFrameCore& operator=(const MetadataFrameCore&) = delete;

    ID3_Frame& Frame() const { return *m_frame; }

    static MetadataFrameCore* FromInterface(IMetadataFrame* frame) {
        return frame ? dynamic_cast<MetadataFrameCore*>(frame) : nullptr;
    }

protected:
    std::wstring Field(ID3_FieldID id) const {
        std::wstring text;
        ReadFieldText(*m_frame, id, text);
        return text;
    }
    bool HasField(ID3_FieldID id) const { return m_frame->GetField(id) != nullptr; }
    void GetField(ID3_FieldID id, wchar_t* buf, int size) const {
        try {
            std::wstring text;
            if (ReadFieldText(*m_frame, id, text))
                CopyToBuffer(text, buf, size);
        } catch (...) {
            // A getter that cannot allocate leaves the buffer as it was.
        }
    }
    void SetField(ID3_FieldID id, const wchar_t* text) {
        try {
            WriteFieldText(*m_frame, id, text ? std::wstring(text) : std::wstring());
        } catch (...) {
            // Out of memory: the field keeps its old text.
        }
    }

    ID3_Frame* m_frame;
    bool m_owns;
};

// Kind is the frame's kind interface (derived from IMetadataFrame), KindGuid its GUID.
// Derived classes supply the kind operations and DisplayText.
template <class T, class Kind, const GUID& KindGuid>
class CMetadataFrame : public ComObject<Kind>, public MetadataFrameCore {
public:
    CMetadataFrame(ID3_Frame* frame, bool owns) : MetadataFrameCore(frame, owns) {}

    void TX_THISCALL AttachTo(IMetadataTag* tag) override {
        CMetadataTag* target = CMetadataTag::FromInterface(tag);
        if (!m_owns || !target)
            return;
        try {
            target->Tag().AttachFrame(m_frame);
            m_owns = false;
        } catch (...) {
            // Not attached: this object keeps the frame.
        }
    }
    bool TX_THISCALL IsReadOnly() override { return false; }
    // The kinds that can be edited run their dialog instead; the read-only ones have none.
    int TX_THISCALL Edit(HWND) override { return -1; }
    const char* TX_THISCALL GetName() override {
        try {
            return ID3_Frame::GetDescription(m_frame->GetID());
        } catch (...) {
            return nullptr;
        }
    }
    void TX_THISCALL GetKind(GUID* kind) override {
        if (kind)
            *kind = KindGuid;
    }
    int TX_THISCALL GetFrameID() override { return static_cast<int>(m_frame->GetID()); }
    void TX_THISCALL GetDisplayText(wchar_t* buf, int size) override {
        try {
            std::wstring text;
            if (DisplayText(text))
                CopyToBuffer(text, buf, size);
        } catch (...) {
            // The caller's buffer stays as it was.
        }
    }
    bool TX_THISCALL IsEqual(IMetadataFrame* other) override {
        MetadataFrameCore* core = FromInterface(other);
        if (!core)
            return false;
        try {
            return m_frame->GetID() == core->Frame().GetID() && Render(*m_frame) == Render(core->Frame());
        } catch (...) {
            return false;
        }
    }
    void TX_THISCALL CopyFrom(IMetadataFrame* other) override {
        MetadataFrameCore* core = FromInterface(other);
        if (!core || &core->Frame() == m_frame)
            return;
        try {
            *m_frame = core->Frame();
        } catch (...) {
            // The frame library copies field by field; a failure leaves a partial copy.
        }
    }

protected:
    // The one-line text for lists; false leaves the caller's buffer untouched.
    virtual bool DisplayText(std::wstring& text) = 0;

    void* FindInterface(REFIID riid) override {
        if (IsEqualIID(riid, IID_IMetadataFrame) || IsEqualIID(riid, KindGuid))
            return static_cast<Kind*>(this);
        return nullptr;
    }

private:
    // The frame's bytes as an ID3v2 tag would hold them.
    static std::string Render(const ID3_Frame& frame) {
        std::ostringstream bytes;
        ID3_OStreamWriter writer(bytes);
        frame.Render(writer);
        return bytes.str();
    }
};

} // namespace trelvox
