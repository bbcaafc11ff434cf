// Tag model shared by the library and its callers: containers (IMetadata), tags
// (IMetadataTag) and frames (IMetadataFrame and its six kinds).
//
// The layout rules of TrelvoxConvert.h hold here too: IUnknown's methods are __stdcall, the
// interfaces' own operations are __thiscall, booleans are one byte, no destructors.
// Frame identifiers are the tag library's ID3_FrameID numbers (TIT2 47, TPE1 61, ...), and
// every text that crosses these interfaces is NUL-terminated UTF-16.
#pragma once

#include "TrelvoxConvert.h"

struct IMetadataTag;

// One file's tag container. Nothing touches the file until GetTag or SetTag.
struct IMetadata : public IUnknown {
    // Bit 0: tags can be read; bit 1: tags can be written.
    virtual unsigned TX_THISCALL GetCapabilities() = 0;
    // On S_OK *tag holds a new tag object with one reference owned by the caller.
    virtual HRESULT TX_THISCALL GetTag(IMetadataTag** tag) = 0;
    // tag must come from this library (GetTag or MetadataCreateTag); it is only read. On
    // failure the file is unchanged and GetErrorInfo gives the reason as a line of text.
    virtual HRESULT TX_THISCALL SetTag(IMetadataTag* tag) = 0;
};

// A list of frames. The tag owns every frame in it.
struct IMetadataTag : public IUnknown {
    virtual unsigned TX_THISCALL GetFrameCount() = 0;
    virtual HRESULT TX_THISCALL Reserved(void* a, void* b, void* c) = 0;
    // Wraps the first frame with frameId. The frame object does not own the frame, holds no
    // reference to this tag, and must not be used after the tag is released.
    virtual HRESULT TX_THISCALL GetFrame(int frameId, REFIID iid, void** frame) = 0;
    virtual HRESULT TX_THISCALL RemoveFrames(int frameId) = 0;
};

// The part every frame object shares.
struct IMetadataFrame : public IUnknown {
    // Hands an owned frame to tag (appended) and gives up ownership; otherwise does nothing.
    virtual void TX_THISCALL AttachTo(IMetadataTag* tag) = 0;
    virtual bool TX_THISCALL IsReadOnly() = 0;
    // IDOK or IDCANCEL from the kind's modal dialog; -1 when the kind has none.
    virtual int TX_THISCALL Edit(HWND parent) = 0;
    // Static English text owned by the library.
    virtual const char* TX_THISCALL GetName() = 0;
    virtual void TX_THISCALL GetKind(GUID* kind) = 0;
    virtual int TX_THISCALL GetFrameID() = 0;
    // size is in characters; at most size - 1 are written, then a terminator.
    virtual void TX_THISCALL GetDisplayText(wchar_t* buf, int size) = 0;
    virtual bool TX_THISCALL IsEqual(IMetadataFrame* other) = 0;
    virtual void TX_THISCALL CopyFrom(IMetadataFrame* other) = 0;
};

// Getters below copy at most size - 1 characters and terminate the buffer; when the frame
// lacks the field the buffer is left untouched. Setters copy the text.
struct IMetadataFrameText : public IMetadataFrame {
    virtual void TX_THISCALL SetText(const wchar_t* text) = 0;
    virtual void TX_THISCALL GetText(wchar_t* buf, int size) = 0;
    virtual void TX_THISCALL SetDefaults() = 0;
};

struct IMetadataFrameURL : public IMetadataFrame {
    virtual void TX_THISCALL SetURL(const wchar_t* url) = 0;
    virtual void TX_THISCALL GetURL(wchar_t* buf, int size) = 0;
    virtual void TX_THISCALL SetDefaults() = 0;
};

struct IMetadataFrameUserText : public IMetadataFrame {
    virtual void TX_THISCALL SetDescription(const wchar_t* text) = 0;
    virtual void TX_THISCALL GetDescription(wchar_t* buf, int size) = 0;
    virtual void TX_THISCALL SetText(const wchar_t* text) = 0;
    virtual void TX_THISCALL GetText(wchar_t* buf, int size) = 0;
    virtual void TX_THISCALL SetDefaults() = 0;
};

struct IMetadataFrameUserURL : public IMetadataFrame {
    virtual void TX_THISCALL SetDescription(const wchar_t* text) = 0;
    virtual void TX_THISCALL GetDescription(wchar_t* buf, int size) = 0;
    virtual void TX_THISCALL SetURL(const wchar_t* url) = 0;
    virtual void TX_THISCALL GetURL(wchar_t* buf, int size) = 0;
    virtual void TX_THISCALL SetDefaults() = 0;
};

struct IMetadataFrameComment : public IMetadataFrame {
    virtual void TX_THISCALL SetDescription(const wchar_t* text) = 0;
    virtual void TX_THISCALL GetDescription(wchar_t* buf, int size) = 0;
    // Three-letter code, "enu" by default.
    virtual void TX_THISCALL SetLanguage(const wchar_t* code) = 0;
    virtual void TX_THISCALL GetLanguage(wchar_t* buf, int size) = 0;
    virtual void TX_THISCALL SetText(const wchar_t* text) = 0;
    virtual void TX_THISCALL GetText(wchar_t* buf, int size) = 0;
    virtual void TX_THISCALL SetDefaults() = 0;
};

struct IMetadataFramePicture : public IMetadataFrame {
    virtual void TX_THISCALL SetMimeType(const wchar_t* type) = 0;
    virtual void TX_THISCALL GetMimeType(wchar_t* buf, int size) = 0;
    virtual void TX_THISCALL SetDescription(const wchar_t* text) = 0;
    virtual void TX_THISCALL GetDescription(wchar_t* buf, int size) = 0;
    virtual void TX_THISCALL ReservedA(void* a, void* b) = 0;
    virtual void TX_THISCALL ReservedB(void* a, void* b) = 0;
    // The ID3v2 picture type byte, 0-20.
    virtual void TX_THISCALL SetPictureType(unsigned type) = 0;
    virtual unsigned TX_THISCALL GetPictureType() = 0;
    virtual void TX_THISCALL SetDefaults() = 0;
};

// Turns the caller's report-style list view into a tag editor for one file or several at once.
// The caller owns the control and its parent, and forwards the control's WM_NOTIFY messages to
// OnNotify. Edits change the tags in memory only, until Save.
struct IMetadataLV : public IUnknown {
    // Sets the control's styles, image list and its two columns; call once, on an empty control.
    virtual HRESULT TX_THISCALL Attach(HWND listView) = 0;
    // md becomes the edited file (a reference is kept) and the rows are inserted.
    virtual HRESULT TX_THISCALL SetMetadata(IMetadata* md) = 0;
    // list[0] is shown as SetMetadata shows it; the view keeps a reference to each other file
    // and shows a value only where every file has the same frame. E_INVALIDARG for count 0.
    virtual HRESULT TX_THISCALL SetFiles(IMetadata** list, unsigned count) = 0;
    // Writes every file's tag; on any failure the user is told once and the first failure is
    // returned.
    virtual HRESULT TX_THISCALL Save() = 0;
    // E_FAIL when no row is selected or the view is read-only.
    virtual HRESULT TX_THISCALL EditSelected() = 0;
    virtual HRESULT TX_THISCALL RemoveSelected() = 0;
    virtual HRESULT TX_THISCALL RemoveAll() = 0;
    // The value WM_NOTIFY should return.
    virtual LRESULT TX_THISCALL OnNotify(NMHDR* header) = 0;
    virtual bool TX_THISCALL IsModified() = 0;
};

inline constexpr GUID IID_IMetadata = {
    0x29581bac, 0xedca, 0x4ca5, {0xbc, 0x33, 0x92, 0x26, 0x1a, 0x14, 0x9f, 0xfe}};
inline constexpr GUID IID_IMetadataTag = {
    0x988f0d3e, 0x1eb6, 0x4652, {0x81, 0xea, 0xfa, 0x6b, 0xd5, 0x95, 0x81, 0x1c}};
inline constexpr GUID IID_IMetadataFrame = {
    0x0e8f76a2, 0xc37d, 0x4f10, {0xa3, 0x7d, 0x9e, 0x1e, 0x25, 0xff, 0x34, 0x73}};
inline constexpr GUID IID_IMetadataLV = {
    0xae00befb, 0x6881, 0x4573, {0x88, 0x79, 0x3c, 0xb8, 0x7c, 0x03, 0x75, 0x6a}};

// Each kind interface's IID is also the kind GUID that GetKind writes. The user-text and
// comment kinds share one value; GetFrameID (TXXX 79, COMM 4) tells them apart.
inline constexpr GUID GUID_MetadataFrameText = {
    0xbc4f452c, 0xe9fb, 0x45c8, {0xa6, 0x45, 0x1e, 0xbb, 0xfb, 0x41, 0xac, 0x9a}};
inline constexpr GUID GUID_MetadataFrameUserText = {
    0x07e70fcf, 0xa417, 0x48a9, {0xbd, 0xb4, 0x34, 0xda, 0x5f, 0x3f, 0x16, 0x08}};
inline constexpr GUID GUID_MetadataFrameComment = GUID_MetadataFrameUserText;
inline constexpr GUID GUID_MetadataFramePicture = {
    0x2da387d7, 0xa446, 0x4e67, {0xb3, 0x06, 0x02, 0xc5, 0xc3, 0x42, 0x3b, 0x67}};
inline constexpr GUID GUID_MetadataFrameURL = {
    0x9a7890db, 0x8046, 0x4a2f, {0x8f, 0x58, 0xad, 0xf1, 0x40, 0xa8, 0x36, 0x2c}};
inline constexpr GUID GUID_MetadataFrameUserURL = {
    0x483df92d, 0x4c00, 0x4d8a, {0xbc, 0x13, 0x01, 0xc9, 0xeb, 0x1a, 0x0d, 0xbf}};
inline constexpr GUID IID_IMetadataFrameText = GUID_MetadataFrameText;
inline constexpr GUID IID_IMetadataFrameUserText = GUID_MetadataFrameUserText;
inline constexpr GUID IID_IMetadataFrameComment = GUID_MetadataFrameComment;
inline constexpr GUID IID_IMetadataFramePicture = GUID_MetadataFramePicture;
inline constexpr GUID IID_IMetadataFrameURL = GUID_MetadataFrameURL;
inline constexpr GUID IID_IMetadataFrameUserURL = GUID_MetadataFrameUserURL;

extern "C" {
// Writes ".mp3\0.mp2\0...\0.flac\0\0" into buf (at least 58 bytes); returns 57.
TX_API int __cdecl MetadataGetFormats(char* buf);
// Chooses the container by the extension of path; *md receives one reference.
TX_API HRESULT __cdecl MetadataCreateFromFile(const char* path, IMetadata** md);
TX_API HRESULT __cdecl MetadataCreateMP3(const char* path, IMetadata** md);
// A new empty tag with one reference owned by the caller.
TX_API HRESULT __cdecl MetadataCreateTag(IMetadataTag** tag);
// A new frame object owning a new frame of frameId until AttachTo.
TX_API HRESULT __cdecl MetadataCreateFrame(int frameId, REFIID iid, void** frame);
TX_API int __cdecl AutoTag();

// The ID3v1 genre list, 80 names, each padded with spaces to 15 characters.
TX_API int __cdecl GenreGetCount();
// Static text owned by the library; null when index is 80 or more.
TX_API const char* __cdecl GenreGet(unsigned index);
// The index whose trimmed name equals name exactly, or -1.
TX_API int __cdecl GenreToNum(const char* name);

// A new, empty list view object with one reference owned by the caller.
TX_API HRESULT __cdecl CreateMetaDataLV(IMetadataLV** lv);
}
