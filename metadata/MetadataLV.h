// The multi-file tag editor that runs in the caller's list view.
#pragma once

#include "ComObject.h"
#include "ComPtr.h"
#include "TrelvoxMetadata.h"

#include <windows.h>
#include <commctrl.h>

#include <vector>

// The first file is the primary one: its tag supplies the frames that are edited, and the
// other files' tags follow every change. All tags stay in memory until Save.
class CMetadataLV final : public trelvox::ComObject<IMetadataLV> {
public:
    CMetadataLV() = default;
    ~CMetadataLV() override;

    HRESULT TX_THISCALL Attach(HWND listView) override;
    HRESULT TX_THISCALL SetMetadata(IMetadata* md) override;
    HRESULT TX_THISCALL SetFiles(IMetadata** list, unsigned count) override;
    HRESULT TX_THISCALL Save() override;
    HRESULT TX_THISCALL EditSelected() override;
    HRESULT TX_THISCALL RemoveSelected() override;
    HRESULT TX_THISCALL RemoveAll() override;
    LRESULT TX_THISCALL OnNotify(NMHDR* header) override;
    bool TX_THISCALL IsModified() override;

private:
    void* FindInterface(REFIID riid) override;

    void InsertRows();
    void RefreshRow(int frameId);
    // The frame identifier of the first selected row, 0 for none or a section header.
    int SelectedFrame() const;
    int RowOf(int frameId) const;
    int FrameAt(int row) const;
    // E_FAIL without a selected frame row or in a read-only view; otherwise runs action on it.
    HRESULT OnSelectedFrame(void (CMetadataLV::*action)(int frameId));
    void EditFrame(int frameId);
    void RemoveFrame(int frameId);
    void ShowContextMenu(const NMITEMACTIVATE& click);
    // Makes every tag's frameId, except source's own, a copy of chosen (a frame of source).
    void ChooseValue(int frameId, IMetadataFrame* chosen, IMetadataTag* source);
    // The primary tag, then the other files' tags in file order.
    std::vector<IMetadataTag*> AllTags() const;
    LRESULT CustomDraw(NMLVCUSTOMDRAW& draw);
    HWND Owner() const;

    trelvox::ComPtr<IMetadataTag> m_tag;
    std::vector<trelvox::ComPtr<IMetadataTag>> m_otherTags;
    trelvox::ComPtr<IMetadata> m_metadata;
    std::vector<trelvox::ComPtr<IMetadata>> m_otherFiles;
    HWND m_listView = nullptr;
    bool m_readOnly = false;
    bool m_modified = false;
    // The control's font in bold, made on the first custom draw; owned.
    HFONT m_boldFont = nullptr;
};
