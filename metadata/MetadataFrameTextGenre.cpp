#include "MetadataFrameTextGenre.h"

#include "FrameValidation.h"
#include "ResourceIds.h"
#include "TextRules.h"
#include "TrelvoxMetadata.h"

#include <vector>

int TX_THISCALL CMetadataFrameTextGenre::Edit(HWND parent) {
    return RunDialog(parent, IDD_FRAME_GENRE);
}

void CMetadataFrameTextGenre::OnInitDialog() {
    HWND names = Item(IDC_GENRE_NAME);
    for (int i = 0; i < GenreGetCount(); ++i) {
        std::string name = GenreGet(static_cast<unsigned>(i));
        name.erase(name.find_last_not_of(' ') + 1);
        AddComboText(names, trelvox::Widen(name, trelvox::kAnsiCodePage));
    }
    // The list shows what the frame's line in a tag list shows, one genre per entry.
    HWND list = Item(IDC_GENRE_LIST);
    std::wstring shown = Display(Field(ID3FN_TEXT));
    for (size_t pos = 0; pos < shown.size();) {
        size_t comma = shown.find(L", ", pos);
        std::wstring entry =
            shown.substr(pos, comma == std::wstring::npos ? std::wstring::npos : comma - pos);
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
        pos = comma == std::wstring::npos ? shown.size() : comma + 2;
    }
}

void CMetadataFrameTextGenre::AddGenre() {
    std::wstring name = ItemText(IDC_GENRE_NAME);
    if (name.empty())
        return;
    // A genre already listed (its name begins with what was typed, in any case) is selected
    // rather than listed twice.
    HWND list = Item(IDC_GENRE_LIST);
    LRESULT listed =
        SendMessageW(list, LB_FINDSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(name.c_str()));
    if (listed != LB_ERR)
        SendMessageW(list, LB_SETCURSEL, listed, 0);
    else
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
}

bool CMetadataFrameTextGenre::OnCommand(int id, int code) {
    if (code != BN_CLICKED)
        return false;
    if (id == IDC_GENRE_ADD) {
        AddGenre();
        return true;
    }
    if (id == IDC_GENRE_REMOVE) {
        HWND list = Item(IDC_GENRE_LIST);
        LRESULT selected = SendMessageW(list, LB_GETCURSEL, 0, 0);
        if (selected != LB_ERR)
            SendMessageW(list, LB_DELETESTRING, selected, 0);
        return true;
    }
    return false;
}

bool CMetadataFrameTextGenre::OnOK() {
    HWND list = Item(IDC_GENRE_LIST);
    int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    if (!Check(trelvox::ValidateGenreList(count > 0 ? static_cast<size_t>(count) : 0)))
        return false;
    std::vector<std::wstring> entries;
    for (int i = 0; i < count; ++i)
        entries.push_back(ListText(list, i));
    SetText(trelvox::BuildGenreText(entries).c_str());
    return true;
}
