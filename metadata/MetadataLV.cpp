#include "MetadataLV.h"

#include "FrameTexts.h"
#include "HResultGuard.h"
#include "ResourceIds.h"
#include "TextRules.h"

#include <memory>
#include <string>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

using trelvox::ComPtr;

constexpr int kLastFrameId = 94;
constexpr UINT kFirstValueCommand = 10000;
constexpr int kMaxValueChoices = 100;
constexpr int kHeaderImage = 8;
constexpr int kDisplayChars = 1024;

HINSTANCE Module() {
    return reinterpret_cast<HINSTANCE>(&__ImageBase);
}

// The frames of the "Audio Information" section; every other frame kind is extended.
bool IsMainFrame(int frameId) {
    switch (frameId) {
    case 4:  // COMM
    case 29: // TALB
    case 32: // TCON
    case 47: // TIT2
    case 61: // TPE1
    case 68: // TRCK
    case 80: // TYER
        return true;
    }
    return false;
}

ComPtr<IMetadataFrame> FrameOf(IMetadataTag* tag, int frameId) {
    ComPtr<IMetadataFrame> frame;
    if (tag)
        tag->GetFrame(frameId, IID_IMetadataFrame, frame.putVoid());
    return frame;
}

// The tag's frame of frameId, or a new one (owning its frame until AttachTo).
ComPtr<IMetadataFrame> FrameOrNew(IMetadataTag* tag, int frameId) {
    ComPtr<IMetadataFrame> frame = FrameOf(tag, frameId);
    if (!frame)
        MetadataCreateFrame(frameId, IID_IMetadataFrame, frame.putVoid());
    return frame;
}

std::wstring DisplayText(IMetadataFrame* frame) {
    wchar_t text[kDisplayChars + 1] = {};
    frame->GetDisplayText(text, kDisplayChars + 1);
    return text;
}

// The tag of a file, or an empty one when the file's cannot be read.
ComPtr<IMetadataTag> TagOf(IMetadata* md) {
    ComPtr<IMetadataTag> tag;
    if (FAILED(md->GetTag(tag.put())) || !tag)
        MetadataCreateTag(tag.put());
    return tag;
}

struct MenuCloser {
    void operator()(HMENU menu) const { DestroyMenu(menu); }
};
using UniqueMenu = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuCloser>;

} // namespace

CMetadataLV::~CMetadataLV() {
    if (m_boldFont)
        DeleteObject(m_boldFont);
}

void* CMetadataLV::FindInterface(REFIID riid) {
    if (IsEqualIID(riid, IID_IMetadataLV))
        return static_cast<IMetadataLV*>(this);
    return nullptr;
}

HRESULT TX_THISCALL CMetadataLV::Attach(HWND listView) {
    if (!IsWindow(listView))
        return E_INVALIDARG;
    m_listView = listView;
    DWORD styles = LVS_EX_INFOTIP | LVS_EX_HEADERDRAGDROP;
    SendMessageA(listView, LVM_SETEXTENDEDLISTVIEWSTYLE, styles, styles);
    // Red marks the transparent pixels of the strip. Without LVS_SHAREIMAGELISTS the control
    // destroys the list with itself.
    HIMAGELIST images = ImageList_LoadImageA(Module(), MAKEINTRESOURCEA(IDB_METADATA_LV), 16, 0,
                                             RGB(255, 0, 0), IMAGE_BITMAP, LR_CREATEDIBSECTION);
    if (images)
        SendMessageA(listView, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
    const struct {
        UINT text;
        int width;
    } columns[] = {{21, 160}, {22, 169}};
    for (int i = 0; i < 2; ++i) {
        char title[64] = "";
        LoadStringA(Module(), columns[i].text, title, sizeof(title));
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = title;
        column.cx = columns[i].width;
        column.iSubItem = i;
        SendMessageA(listView, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
    }
    return S_OK;
}

HRESULT TX_THISCALL CMetadataLV::SetMetadata(IMetadata* md) {
    return trelvox::GuardHResult([&]() -> HRESULT {
        if (!md)
            return E_INVALIDARG;
        m_metadata.assign(md);
        m_modified = false;
        m_readOnly = (md->GetCapabilities() & 2) == 0;
        m_tag = TagOf(md);
        m_otherTags.clear();
        for (const ComPtr<IMetadata>& other : m_otherFiles) {
            if ((other->GetCapabilities() & 2) == 0)
                m_readOnly = true;
            m_otherTags.push_back(TagOf(other.get()));
        }
        InsertRows();
        return S_OK;
    });
}

HRESULT TX_THISCALL CMetadataLV::SetFiles(IMetadata** list, unsigned count) {
    return trelvox::GuardHResult([&]() -> HRESULT {
        if (!list || count == 0)
            return E_INVALIDARG;
        m_otherTags.clear();
        m_otherFiles.clear();
        for (unsigned i = 1; i < count; ++i) {
            if (!list[i])
                return E_INVALIDARG;
            m_otherFiles.emplace_back();
            m_otherFiles.back().assign(list[i]);
        }
        return SetMetadata(list[0]);
    });
}

void CMetadataLV::InsertRows() {
    if (!m_listView)
        return;
    // The view is refilled for each new set of files; the rows of the last one go first.
    SendMessageA(m_listView, WM_SETREDRAW, FALSE, 0);
    SendMessageA(m_listView, LVM_DELETEALLITEMS, 0, 0);
    const char* sections[] = {"Audio Information", "Extended Information"};
    for (int i = 0; i < 2; ++i) {
        LVITEMA item = {};
        item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_INDENT;
        item.iItem = i;
        item.pszText = const_cast<char*>(sections[i]);
        item.iImage = kHeaderImage;
        SendMessageA(m_listView, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    }
    int several = m_otherTags.empty() ? 0 : 4;
    for (int id = 1; id <= kLastFrameId; ++id) {
        ComPtr<IMetadataFrame> frame;
        if (FAILED(MetadataCreateFrame(id, IID_IMetadataFrame, frame.putVoid())) || !frame)
            continue;
        bool main = IsMainFrame(id);
        bool readOnly = m_readOnly || frame->IsReadOnly();
        LVITEMA item = {};
        item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_INDENT;
        // Each main frame goes directly under its header, so the last one inserted ends up on top.
        item.iItem = main ? 1 : static_cast<int>(SendMessageA(m_listView, LVM_GETITEMCOUNT, 0, 0));
        item.pszText = const_cast<char*>(frame->GetName() ? frame->GetName() : "");
        item.iImage = several + (readOnly ? 1 : 0) + (main ? 2 : 0);
        item.lParam = id;
        item.iIndent = 1;
        SendMessageA(m_listView, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        RefreshRow(id);
    }
    SendMessageA(m_listView, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(m_listView, nullptr, TRUE);
}

int CMetadataLV::RowOf(int frameId) const {
    LVFINDINFOA find = {};
    find.flags = LVFI_PARAM;
    find.lParam = frameId;
    return static_cast<int>(
        SendMessageA(m_listView, LVM_FINDITEMA, WPARAM(-1), reinterpret_cast<LPARAM>(&find)));
}

int CMetadataLV::FrameAt(int row) const {
    if (row < 0)
        return 0;
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!SendMessageA(m_listView, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
        return 0;
    return static_cast<int>(item.lParam);
}

int CMetadataLV::SelectedFrame() const {
    if (!m_listView)
        return 0;
    return FrameAt(static_cast<int>(SendMessageA(m_listView, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED)));
}

HWND CMetadataLV::Owner() const {
    return m_listView ? GetParent(m_listView) : nullptr;
}

void CMetadataLV::RefreshRow(int frameId) {
    int row = RowOf(frameId);
    if (row < 0 || !m_tag)
        return;
    ComPtr<IMetadataFrame> primary = FrameOf(m_tag.get(), frameId);
    bool same = static_cast<bool>(primary);
    for (const ComPtr<IMetadataTag>& tag : m_otherTags) {
        if (!same)
            break;
        ComPtr<IMetadataFrame> other = FrameOf(tag.get(), frameId);
        same = other && primary->IsEqual(other.get());
    }
    std::string value = same ? trelvox::Narrow(DisplayText(primary.get()), CP_ACP) : std::string();
    LVITEMA item = {};
    item.iSubItem = 1;
    item.pszText = const_cast<char*>(value.c_str());
    SendMessageA(m_listView, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    item.stateMask = LVIS_CUT;
    item.state = same ? 0 : LVIS_CUT;
    SendMessageA(m_listView, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

void CMetadataLV::EditFrame(int frameId) {
    ComPtr<IMetadataFrame> frame = FrameOrNew(m_tag.get(), frameId);
    if (!frame || frame->Edit(Owner()) != IDOK)
        return;
    for (const ComPtr<IMetadataTag>& tag : m_otherTags) {
        ComPtr<IMetadataFrame> copy = FrameOrNew(tag.get(), frameId);
        if (!copy)
            continue;
        copy->CopyFrom(frame.get());
        copy->AttachTo(tag.get());
    }
    frame->AttachTo(m_tag.get());
    m_modified = true;
    RefreshRow(frameId);
}

void CMetadataLV::RemoveFrame(int frameId) {
    if (m_readOnly || !m_tag)
        return;
    for (IMetadataTag* tag : AllTags())
        tag->RemoveFrames(frameId);
    m_modified = true;
    RefreshRow(frameId);
}

void CMetadataLV::ChooseValue(int frameId, IMetadataFrame* chosen, IMetadataTag* source) {
    // The chosen frame lives in source, which keeps it; every other tag gets a copy.
    for (IMetadataTag* tag : AllTags()) {
        if (tag == source)
            continue;
        tag->RemoveFrames(frameId);
        ComPtr<IMetadataFrame> copy;
        if (FAILED(MetadataCreateFrame(frameId, IID_IMetadataFrame, copy.putVoid())) || !copy)
            continue;
        copy->CopyFrom(chosen);
        copy->AttachTo(tag);
    }
    m_modified = true;
    RefreshRow(frameId);
}

std::vector<IMetadataTag*> CMetadataLV::AllTags() const {
    std::vector<IMetadataTag*> tags{m_tag.get()};
    for (const ComPtr<IMetadataTag>& tag : m_otherTags)
        tags.push_back(tag.get());
    return tags;
}

HRESULT TX_THISCALL CMetadataLV::Save() {
    return trelvox::GuardHResult([&]() -> HRESULT {
        if (!m_metadata || !m_tag)
            return E_INVALIDARG;
        HRESULT result = m_metadata->SetTag(m_tag.get());
        for (size_t i = 0; i < m_otherFiles.size() && i < m_otherTags.size(); ++i) {
            HRESULT hr = m_otherFiles[i]->SetTag(m_otherTags[i].get());
            if (SUCCEEDED(result) && FAILED(hr))
                result = hr;
        }
        if (FAILED(result))
            MessageBoxA(Owner(),
                        "At least one file could not be saved. Please make sure it is not used by other "
                        "applications.",
                        "Harvane", MB_ICONHAND);
        return result;
    });
}

HRESULT CMetadataLV::OnSelectedFrame(void (CMetadataLV::*action)(int frameId)) {
    return trelvox::GuardHResult([&]() -> HRESULT {
        int frameId = SelectedFrame();
        if (m_readOnly || frameId == 0 || !m_tag)
            return E_FAIL;
        (this->*action)(frameId);
        return S_OK;
    });
}

HRESULT TX_THISCALL CMetadataLV::EditSelected() {
    return OnSelectedFrame(&CMetadataLV::EditFrame);
}

HRESULT TX_THISCALL CMetadataLV::RemoveSelected() {
    return OnSelectedFrame(&CMetadataLV::RemoveFrame);
}

HRESULT TX_THISCALL CMetadataLV::RemoveAll() {
    return trelvox::GuardHResult([&]() -> HRESULT {
        if (m_readOnly || !m_tag)
            return S_OK;
        for (IMetadataTag* tag : AllTags()) {
            for (int id = 0; id <= kLastFrameId; ++id)
                tag->RemoveFrames(id);
        }
        m_modified = true;
        if (!m_listView)
            return S_OK;
        SendMessageA(m_listView, WM_SETREDRAW, FALSE, 0);
        int rows = static_cast<int>(SendMessageA(m_listView, LVM_GETITEMCOUNT, 0, 0));
        for (int row = 0; row < rows; ++row) {
            if (int frameId = FrameAt(row))
                RefreshRow(frameId);
        }
        SendMessageA(m_listView, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(m_listView, nullptr, TRUE);
        return S_OK;
    });
}

bool TX_THISCALL CMetadataLV::IsModified() {
    return m_modified;
}

void CMetadataLV::ShowContextMenu(const NMITEMACTIVATE& click) {
    UniqueMenu menu(LoadMenuA(Module(), MAKEINTRESOURCEA(IDR_METADATA_LV_MENU)));
    if (!menu)
        return;
    POINT at = click.ptAction;
    ClientToScreen(m_listView, &at);
    int frameId = FrameAt(click.iItem);
    if (frameId == 0) {
        UINT command = TrackPopupMenu(GetSubMenu(menu.get(), 1), TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y,
                                      0, Owner(), nullptr);
        if (command == ID_LIST_REMOVE_ALL)
            RemoveAll();
        return;
    }
    if (m_readOnly)
        return;
    HMENU popup = GetSubMenu(menu.get(), 0);
    SetMenuDefaultItem(popup, ID_FRAME_EDIT, FALSE);
    ComPtr<IMetadataFrame> kind;
    MetadataCreateFrame(frameId, IID_IMetadataFrame, kind.putVoid());
    // The distinct values of the files, in file order, for the user to pick one for all.
    struct Choice {
        ComPtr<IMetadataFrame> frame;
        IMetadataTag* tag;
    };
    std::vector<Choice> choices;
    if (kind && kind->IsReadOnly()) {
        EnableMenuItem(popup, ID_FRAME_EDIT, MF_BYCOMMAND | MF_GRAYED);
    } else if (!m_otherTags.empty()) {
        for (IMetadataTag* tag : AllTags()) {
            ComPtr<IMetadataFrame> frame = FrameOf(tag, frameId);
            if (!frame || static_cast<int>(choices.size()) >= kMaxValueChoices)
                continue;
            std::wstring text = DisplayText(frame.get());
            bool listed = text.empty();
            for (const Choice& choice : choices)
                listed = listed || choice.frame->IsEqual(frame.get());
            if (listed)
                continue;
            if (choices.empty())
                AppendMenuA(popup, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(popup, MF_STRING, kFirstValueCommand + choices.size(), text.c_str());
            choices.push_back({frame, tag});
        }
    }
    UINT command = TrackPopupMenu(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, Owner(), nullptr);
    if (command == ID_FRAME_REMOVE)
        RemoveFrame(frameId);
    else if (command == ID_FRAME_EDIT)
        EditFrame(frameId);
    else if (command >= kFirstValueCommand && command < kFirstValueCommand + choices.size())
        ChooseValue(frameId, choices[command - kFirstValueCommand].frame.get(),
                    choices[command - kFirstValueCommand].tag);
}

LRESULT CMetadataLV::CustomDraw(NMLVCUSTOMDRAW& draw) {
    if (draw.nmcd.dwDrawStage == CDDS_PREPAINT)
        return CDRF_NOTIFYITEMDRAW | CDRF_NOTIFYPOSTPAINT;
    if (draw.nmcd.dwDrawStage != CDDS_ITEMPREPAINT)
        return 0;
    // Wine's list view does not dim cut items; the text shows the state instead.
    if (SendMessageA(m_listView, LVM_GETITEMSTATE, draw.nmcd.dwItemSpec, LVIS_CUT) & LVIS_CUT)
        draw.clrText = GetSysColor(COLOR_GRAYTEXT);
    if (draw.nmcd.lItemlParam == 0) {
        if (!m_boldFont) {
            HFONT font = reinterpret_cast<HFONT>(SendMessageA(m_listView, WM_GETFONT, 0, 0));
            LOGFONTA log = {};
            GetObjectA(font ? font : GetStockObject(DEFAULT_GUI_FONT), sizeof(log), &log);
            log.lfWeight = FW_BOLD;
            m_boldFont = CreateFontIndirectA(&log);
        }
        if (m_boldFont)
            SelectObject(draw.nmcd.hdc, m_boldFont);
    }
    return CDRF_NEWFONT | CDRF_NOTIFYPOSTPAINT;
}

LRESULT TX_THISCALL CMetadataLV::OnNotify(NMHDR* header) {
    if (!header || !m_listView)
        return 0;
    try {
        switch (header->code) {
        case LVN_GETINFOTIPA:
        case LVN_GETINFOTIPW: {
            auto* tip = reinterpret_cast<NMLVGETINFOTIPA*>(header);
            const char* text = trelvox::FrameLongDescription(FrameAt(tip->iItem));
            if (!text || !tip->pszText || tip->cchTextMax <= 0)
                return 0;
            if (header->code == LVN_GETINFOTIPA)
                lstrcpynA(tip->pszText, text, tip->cchTextMax);
            else
                lstrcpynW(reinterpret_cast<NMLVGETINFOTIPW*>(header)->pszText,
                          trelvox::Widen(text, CP_ACP).c_str(), tip->cchTextMax);
            return 0;
        }
        case NM_CUSTOMDRAW:
            return CustomDraw(*reinterpret_cast<NMLVCUSTOMDRAW*>(header));
        case NM_DBLCLK:
            EditSelected();
            return 0;
        case NM_RCLICK:
            ShowContextMenu(*reinterpret_cast<NMITEMACTIVATE*>(header));
            return 0;
        }
    } catch (...) {
        // A failed notification leaves the view as it was.
    }
    return 0;
}

extern "C" HRESULT __cdecl CreateMetaDataLV(IMetadataLV** lv) {
    return trelvox::GuardHResult([&]() -> HRESULT {
        if (!lv)
            return E_INVALIDARG;
        *lv = new CMetadataLV();
        return S_OK;
    });
}
