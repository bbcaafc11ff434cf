// Tag model shared by the library and its callers: containers (IMetadata), tags
// (IMetadataTag) and frames (IMetadataFrame and its six kinds).
//
// The layout rules of TrelvoxConvert.h hold here too: IUnknown's methods are __stdcall, the
// interfaces' own operations are __thiscall, booleans are one byte, no destructors.
// Frame identifiers are the tag library's ID3_FrameID numbers (TIT2 47, TPE1 61, ...), and
// every text that crosses these interfaces is NUL-terminated UTF-16.
#pragma once

#include "TrelvoxConvert.h"

#ifndef __cplusplus
/* The interfaces for C callers, slot by slot as in the C++ declarations below. */
typedef struct IMetadataTag IMetadataTag;
typedef struct IMetadataFrame IMetadataFrame;
typedef struct IMetadataFrameText IMetadataFrameText;
typedef struct IMetadataFrameURL IMetadataFrameURL;
typedef struct IMetadataFrameUserText IMetadataFrameUserText;
typedef struct IMetadataFrameUserURL IMetadataFrameUserURL;
typedef struct IMetadataFrameComment IMetadataFrameComment;
typedef struct IMetadataFramePicture IMetadataFramePicture;

typedef struct IMetadataVtbl {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(IMetadata* This, REFIID riid, void** object);
    ULONG(STDMETHODCALLTYPE* AddRef)(IMetadata* This);
    ULONG(STDMETHODCALLTYPE* Release)(IMetadata* This);
    unsigned(TX_CMETHOD* GetCapabilities)(TX_CTHIS(IMetadata));
    HRESULT(TX_CMETHOD* GetTag)(TX_CTHIS_(IMetadata) IMetadataTag** tag);
    HRESULT(TX_CMETHOD* SetTag)(TX_CTHIS_(IMetadata) IMetadataTag* tag);
} IMetadataVtbl;
struct IMetadata {
    const IMetadataVtbl* lpVtbl;
};
static_assert(sizeof(IMetadataVtbl) == 6 * sizeof(void*), "IMetadata has six slots");

typedef struct IMetadataTagVtbl {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(IMetadataTag* This, REFIID riid, void** object);
    ULONG(STDMETHODCALLTYPE* AddRef)(IMetadataTag* This);
    ULONG(STDMETHODCALLTYPE* Release)(IMetadataTag* This);
    unsigned(TX_CMETHOD* GetFrameCount)(TX_CTHIS(IMetadataTag));
    HRESULT(TX_CMETHOD* Reserved)(TX_CTHIS_(IMetadataTag) void* a, void* b, void* c);
    HRESULT(TX_CMETHOD* GetFrame)(TX_CTHIS_(IMetadataTag) int frameId, REFIID iid, void** frame);
    HRESULT(TX_CMETHOD* RemoveFrames)(TX_CTHIS_(IMetadataTag) int frameId);
} IMetadataTagVtbl;
struct IMetadataTag {
    const IMetadataTagVtbl* lpVtbl;
};
static_assert(sizeof(IMetadataTagVtbl) == 7 * sizeof(void*), "IMetadataTag has seven slots");

/* The twelve slots every frame kind starts with, This typed as the kind's own interface. */
#define TX_METADATAFRAME_CSLOTS(type)                                                                        \
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(type * This, REFIID riid, void** object);                     \
    ULONG(STDMETHODCALLTYPE* AddRef)(type * This);                                                           \
    ULONG(STDMETHODCALLTYPE* Release)(type * This);                                                          \
    void(TX_CMETHOD * AttachTo)(TX_CTHIS_(type) IMetadataTag * tag);                                         \
    bool(TX_CMETHOD * IsReadOnly)(TX_CTHIS(type));                                                           \
    int(TX_CMETHOD * Edit)(TX_CTHIS_(type) HWND parent);                                                     \
    const char*(TX_CMETHOD * GetName)(TX_CTHIS(type));                                                       \
    void(TX_CMETHOD * GetKind)(TX_CTHIS_(type) GUID * kind);                                                 \
    int(TX_CMETHOD * GetFrameID)(TX_CTHIS(type));                                                            \
    void(TX_CMETHOD * GetDisplayText)(TX_CTHIS_(type) wchar_t * buf, int size);                              \
    bool(TX_CMETHOD * IsEqual)(TX_CTHIS_(type) IMetadataFrame * other);                                      \
    void(TX_CMETHOD * CopyFrom)(TX_CTHIS_(type) IMetadataFrame * other);

typedef struct IMetadataFrameVtbl {
    TX_METADATAFRAME_CSLOTS(IMetadataFrame)
} IMetadataFrameVtbl;
struct IMetadataFrame {
    const IMetadataFrameVtbl* lpVtbl;
};
static_assert(sizeof(IMetadataFrameVtbl) == 12 * sizeof(void*), "IMetadataFrame has 12 slots");

typedef struct IMetadataFrameTextVtbl {
    TX_METADATAFRAME_CSLOTS(IMetadataFrameText)
    void(TX_CMETHOD* SetText)(TX_CTHIS_(IMetadataFrameText) const wchar_t* text);
    void(TX_CMETHOD* GetText)(TX_CTHIS_(IMetadataFrameText) wchar_t* buf, int size);
    void(TX_CMETHOD* SetDefaults)(TX_CTHIS(IMetadataFrameText));
} IMetadataFrameTextVtbl;
struct IMetadataFrameText {
    const IMetadataFrameTextVtbl* lpVtbl;
};
static_assert(sizeof(IMetadataFrameTextVtbl) == 15 * sizeof(void*), "IMetadataFrameText has 15 slots");

typedef struct IMetadataFrameURLVtbl {
    TX_METADATAFRAME_CSLOTS(IMetadataFrameURL)
    void(TX_CMETHOD* SetURL)(TX_CTHIS_(IMetadataFrameURL) const wchar_t* url);
    void(TX_CMETHOD* GetURL)(TX_CTHIS_(IMetadataFrameURL) wchar_t* buf, int size);
    void(TX_CMETHOD* SetDefaults)(TX_CTHIS(IMetadataFrameURL));
} IMetadataFrameURLVtbl;
struct IMetadataFrameURL {
    const IMetadataFrameURLVtbl* lpVtbl;
};
static_assert(sizeof(IMetadataFrameURLVtbl) == 15 * sizeof(void*), "IMetadataFrameURL has 15 slots");

typedef struct IMetadataFrameUserTextVtbl {
    TX_METADATAFRAME_CSLOTS(IMetadataFrameUserText)
    void(TX_CMETHOD* SetDescription)(TX_CTHIS_(IMetadataFrameUserText) const wchar_t* text);
    void(TX_CMETHOD* GetDescription)(TX_CTHIS_(IMetadataFrameUserText) wchar_t* buf, int size);
    void(TX_CMETHOD* SetText)(TX_CTHIS_(IMetadataFrameUserText) const wchar_t* text);
    void(TX_CMETHOD* GetText)(TX_CTHIS_(IMetadataFrameUserText) wchar_t* buf, int size);
    void(TX_CMETHOD* SetDefaults)(TX_CTHIS(IMetadataFrameUserText));
} IMetadataFrameUserTextVtbl;
struct IMetadataFrameUserText {
    const IMetadataFrameUserTextVtbl* lpVtbl;
};
static_assert(sizeof(IMetadataFrameUserTextVtbl) == 17 * sizeof(void*),
              "IMetadataFrameUserText has 17 slots");

typedef struct IMetadataFrameUserURLVtbl {
    TX_METADATAFRAME_CSLOTS(IMetadataFrameUserURL)
    void(TX_CMETHOD* SetDescription)(TX_CTHIS_(IMetadataFrameUserURL) const wchar_t* text);
    void(TX_CMETHOD* GetDescription)(TX_CTHIS_(IMetadataFrameUserURL) wchar_t* buf, int size);
    void(TX_CMETHOD* SetURL)(TX_CTHIS_(IMetadataFrameUserURL) const wchar_t* url);
    void(TX_CMETHOD* GetURL)(TX_CTHIS_(IMetadataFrameUserURL) wchar_t* buf, int size);
    void(TX_CMETHOD* SetDefaults)(TX_CTHIS(IMetadataFrameUserURL));
} IMetadataFrameUserURLVtbl;
struct IMetadataFrameUserURL {
    const IMetadataFrameUserURLVtbl* lpVtbl;
};
static_assert(sizeof(IMetadataFrameUserURLVtbl) == 17 * sizeof(void*), "IMetadataFrameUserURL has 17 slots");

typedef struct IMetadataFrameCommentVtbl {
    TX_METADATAFRAME_CSLOTS(IMetadataFrameComment)
    void(TX_CMETHOD* SetDescription)(TX_CTHIS_(IMetadataFrameComment) const wchar_t* text);
    void(TX_CMETHOD* GetDescription)(TX_CTHIS_(IMetadataFrameComment) wchar_t* buf, int size);
    void(TX_CMETHOD* SetLanguage)(TX_CTHIS_(IMetadataFrameComment) const wchar_t* code);
    void(TX_CMETHOD* GetLanguage)(TX_CTHIS_(IMetadataFrameComment) wchar_t* buf, int size);
    void(TX_CMETHOD* SetText)(TX_CTHIS_(IMetadataFrameComment) const wchar_t* text);
    void(TX_CMETHOD* GetText)(TX_CTHIS_(IMetadataFrameComment) wchar_t* buf, int size);
    void(TX_CMETHOD* SetDefaults)(TX_CTHIS(IMetadataFrameComment));
} IMetadataFrameCommentVtbl;
struct IMetadataFrameComment {
    const IMetadataFrameCommentVtbl* lpVtbl;
};
static_assert(sizeof(IMetadataFrameCommentVtbl) == 19 * sizeof(void*), "IMetadataFrameComment has 19 slots");

typedef struct IMetadataFramePictureVtbl {
    TX_METADATAFRAME_CSLOTS(IMetadataFramePicture)
    void(TX_CMETHOD* SetMimeType)(TX_CTHIS_(IMetadataFramePicture) const wchar_t* type);
    void(TX_CMETHOD* GetMimeType)(TX_CTHIS_(IMetadataFramePicture) wchar_t* buf, int size);
    void(TX_CMETHOD* SetDescription)(TX_CTHIS_(IMetadataFramePicture) const wchar_t* text);
    void(TX_CMETHOD* GetDescription)(TX_CTHIS_(IMetadataFramePicture) wchar_t* buf, int size);
    void(TX_CMETHOD* ReservedA)(TX_CTHIS_(IMetadataFramePicture) void* a, void* b);
    void(TX_CMETHOD* ReservedB)(TX_CTHIS_(IMetadataFramePicture) void* a, void* b);
    void(TX_CMETHOD* SetPictureType)(TX_CTHIS_(IMetadataFramePicture) unsigned type);
    unsigned(TX_CMETHOD* GetPictureType)(TX_CTHIS(IMetadataFramePicture));
    void(TX_CMETHOD* SetDefaults)(TX_CTHIS(IMetadataFramePicture));
} IMetadataFramePictureVtbl;
struct IMetadataFramePicture {
    const IMetadataFramePictureVtbl* lpVtbl;
};
static_assert(sizeof(IMetadataFramePictureVtbl) == 21 * sizeof(void*), "IMetadataFramePicture has 21 slots");
#else
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
#endif

#ifndef __cplusplus
typedef struct IMetadataLV IMetadataLV;
typedef struct IMetadataLVVtbl {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(IMetadataLV* This, REFIID riid, void** object);
    ULONG(STDMETHODCALLTYPE* AddRef)(IMetadataLV* This);
    ULONG(STDMETHODCALLTYPE* Release)(IMetadataLV* This);
    HRESULT(TX_CMETHOD* Attach)(TX_CTHIS_(IMetadataLV) HWND listView);
    HRESULT(TX_CMETHOD* SetMetadata)(TX_CTHIS_(IMetadataLV) IMetadata* md);
    HRESULT(TX_CMETHOD* SetFiles)(TX_CTHIS_(IMetadataLV) IMetadata** list, unsigned count);
    HRESULT(TX_CMETHOD* Save)(TX_CTHIS(IMetadataLV));
    HRESULT(TX_CMETHOD* EditSelected)(TX_CTHIS(IMetadataLV));
    HRESULT(TX_CMETHOD* RemoveSelected)(TX_CTHIS(IMetadataLV));
    HRESULT(TX_CMETHOD* RemoveAll)(TX_CTHIS(IMetadataLV));
    LRESULT(TX_CMETHOD* OnNotify)(TX_CTHIS_(IMetadataLV) NMHDR* header);
    bool(TX_CMETHOD* IsModified)(TX_CTHIS(IMetadataLV));
} IMetadataLVVtbl;
struct IMetadataLV {
    const IMetadataLVVtbl* lpVtbl;
};
static_assert(sizeof(IMetadataLVVtbl) == 12 * sizeof(void*), "IMetadataLV has 12 slots");
#else
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
#endif

TX_DEFINE_GUID(IID_IMetadata, 0x29581bac, 0xedca, 0x4ca5, 0xbc, 0x33, 0x92, 0x26, 0x1a, 0x14, 0x9f, 0xfe);
TX_DEFINE_GUID(IID_IMetadataTag, 0x988f0d3e, 0x1eb6, 0x4652, 0x81, 0xea, 0xfa, 0x6b, 0xd5, 0x95, 0x81, 0x1c);
TX_DEFINE_GUID(IID_IMetadataFrame, 0x0e8f76a2, 0xc37d, 0x4f10, 0xa3, 0x7d, 0x9e, 0x1e, 0x25, 0xff, 0x34,
               0x73);
TX_DEFINE_GUID(IID_IMetadataLV, 0xae00befb, 0x6881, 0x4573, 0x88, 0x79, 0x3c, 0xb8, 0x7c, 0x03, 0x75, 0x6a);

// Each kind interface's IID is also the kind GUID that GetKind writes. The user-text and
// comment kinds share one value; GetFrameID (TXXX 79, COMM 4) tells them apart.
TX_DEFINE_GUID(GUID_MetadataFrameText, 0xbc4f452c, 0xe9fb, 0x45c8, 0xa6, 0x45, 0x1e, 0xbb, 0xfb, 0x41, 0xac,
               0x9a);
TX_DEFINE_GUID(GUID_MetadataFrameUserText, 0x07e70fcf, 0xa417, 0x48a9, 0xbd, 0xb4, 0x34, 0xda, 0x5f, 0x3f,
               0x16, 0x08);
TX_DEFINE_GUID(GUID_MetadataFramePicture, 0x2da387d7, 0xa446, 0x4e67, 0xb3, 0x06, 0x02, 0xc5, 0xc3, 0x42,
               0x3b, 0x67);
TX_DEFINE_GUID(GUID_MetadataFrameURL, 0x9a7890db, 0x8046, 0x4a2f, 0x8f, 0x58, 0xad, 0xf1, 0x40, 0xa8, 0x36,
               0x2c);
TX_DEFINE_GUID(GUID_MetadataFrameUserURL, 0x483df92d, 0x4c00, 0x4d8a, 0xbc, 0x13, 0x01, 0xc9, 0xeb, 0x1a,
               0x0d, 0xbf);
#ifdef __cplusplus
inline constexpr GUID GUID_MetadataFrameComment = GUID_MetadataFrameUserText;
inline constexpr GUID IID_IMetadataFrameText = GUID_MetadataFrameText;
inline constexpr GUID IID_IMetadataFrameUserText = GUID_MetadataFrameUserText;
inline constexpr GUID IID_IMetadataFrameComment = GUID_MetadataFrameComment;
inline constexpr GUID IID_IMetadataFramePicture = GUID_MetadataFramePicture;
inline constexpr GUID IID_IMetadataFrameURL = GUID_MetadataFrameURL;
inline constexpr GUID IID_IMetadataFrameUserURL = GUID_MetadataFrameUserURL;
#else
#define GUID_MetadataFrameComment GUID_MetadataFrameUserText
#define IID_IMetadataFrameText GUID_MetadataFrameText
#define IID_IMetadataFrameUserText GUID_MetadataFrameUserText
#define IID_IMetadataFrameComment GUID_MetadataFrameComment
#define IID_IMetadataFramePicture GUID_MetadataFramePicture
#define IID_IMetadataFrameURL GUID_MetadataFrameURL
#define IID_IMetadataFrameUserURL GUID_MetadataFrameUserURL
#endif

#ifdef __cplusplus
extern "C" {
#endif
// Writes ".mp3\0.mp2\0...\0.flac\0\0" into buf (at least 58 bytes); returns 57.
TX_API int __cdecl MetadataGetFormats(char* buf);
// Chooses the container by the extension of path; *md receives one reference.
TX_API HRESULT __cdecl MetadataCreateFromFile(const char* path, IMetadata** md);
TX_API HRESULT __cdecl MetadataCreateMP3(const char* path, IMetadata** md);
// A new empty tag with one reference owned by the caller.
TX_API HRESULT __cdecl MetadataCreateTag(IMetadataTag** tag);
// A new frame object owning a new frame of frameId until AttachTo.
TX_API HRESULT __cdecl MetadataCreateFrame(int frameId, REFIID iid, void** frame);
TX_API int __cdecl AutoTag(void);

// The ID3v1 genre list, 80 names, each padded with spaces to 15 characters.
TX_API int __cdecl GenreGetCount(void);
// Static text owned by the library; null when index is 80 or more.
TX_API const char* __cdecl GenreGet(unsigned index);
// The index whose trimmed name equals name exactly, or -1.
TX_API int __cdecl GenreToNum(const char* name);

// A new, empty list view object with one reference owned by the caller.
TX_API HRESULT __cdecl CreateMetaDataLV(IMetadataLV** lv);
#ifdef __cplusplus
}
#endif
