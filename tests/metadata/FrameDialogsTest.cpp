// The frame edit dialogs, opened through IMetadataFrame::Edit and driven like a user
// (DialogDriver.h): OK stores, a failed check shows its message and keeps the dialog open,
// Cancel leaves the frame as it was.
#include "ComPtr.h"
#include "DialogDriver.h"
#include "ResourceIds.h"
#include "TestSupport.h"
#include "Trelvox.h"
#include "TrelvoxMetadata.h"

#include <functional>
#include <string>
#include <vector>

using trelvox::ComPtr;
using txtest::Dialog;

namespace {

const std::string kBox = "Harvane: ";
using Entries = std::vector<std::string>;

template <class T> ComPtr<T> NewFrame(int frameId, REFIID iid) {
    ComPtr<T> frame;
    EXPECT_EQ(MetadataCreateFrame(frameId, iid, frame.putVoid()), S_OK) << frameId;
    return frame;
}

// A getter's text; the frames here hold plain ASCII.
std::string Read(const std::function<void(wchar_t*, int)>& get) {
    wchar_t text[2048] = L"";
    get(text, 2048);
    std::string narrow;
    for (const wchar_t* c = text; *c; ++c)
        narrow += static_cast<char>(*c);
    return narrow;
}

Dialog* Open(IMetadataFrame* frame, HWND parent = nullptr) {
    return new Dialog([frame, parent] { return frame->Edit(parent); });
}

// Presses OK in a dialog whose check must fail: the message it showed, with the dialog still
// open afterwards.
std::string RejectedOK(Dialog& dialog) {
    dialog.Press(IDOK);
    std::string message = dialog.AnswerMessage();
    EXPECT_TRUE(dialog.IsOpen()) << "the dialog closed after " << message;
    return message;
}

// The index of the language list's entry for name.
LRESULT Language(const Dialog& dialog, const char* name) {
    return dialog.Send(IDC_FRAME_LANGUAGE, CB_FINDSTRINGEXACT, WPARAM(-1), reinterpret_cast<LPARAM>(name));
}

} // namespace

TEST(FrameDialogs, TextDialogRunsTheFramesCheck) {
    struct Case {
        int frameId;
        const char* typed;
        const char* message;
    } cases[] = {
        {80, "1799", "Please enter a number between 1800 and 2100."},
        {80, "2005x", "Please enter a valid number."},
        {33, "Some Label 2004", "Copyright Text must begin with a year number."},
        {34, "3213", "Please enter a numeric string in DDMM format."},
        {45, "2400", "Please enter a numeric string in HHMM format."},
        {68, "3-12", "Please enter a number or two numbers separated by a slash."},
        {68, "100/100", "Please enter a number between 1 and 99."},
        {65, "12/3", "The first number must be smaller than the second one."},
    };
    for (const Case& c : cases) {
        auto frame = NewFrame<IMetadataFrameText>(c.frameId, IID_IMetadataFrameText);
        frame->SetText(L"kept");
        std::unique_ptr<Dialog> dialog(Open(frame.get()));
        ASSERT_TRUE(dialog->window()) << c.frameId;
        dialog->SetText(IDC_FRAME_TEXT, c.typed);
        EXPECT_EQ(RejectedOK(*dialog), kBox + c.message) << c.frameId << " " << c.typed;
        EXPECT_EQ(dialog->Close(IDCANCEL), IDCANCEL);
        EXPECT_EQ(Read([&](wchar_t* b, int n) { frame->GetText(b, n); }), "kept") << c.typed;
    }

    // Labels and OK, centred over an owner window of the dialog's thread.
    auto year = NewFrame<IMetadataFrameText>(80, IID_IMetadataFrameText);
    year->SetText(L"1999");
    RECT ownerRect = {};
    Dialog dialog([&] {
        HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 40, 30, 700, 500, nullptr,
                                     nullptr, nullptr, nullptr);
        GetWindowRect(owner, &ownerRect);
        int result = year->Edit(owner);
        DestroyWindow(owner);
        return result;
    });
    ASSERT_TRUE(dialog.window());
    printf("text dialog on screen after %.1f ms\n", dialog.msToVisible);
    EXPECT_EQ(dialog.Text(0), "Edit Text");
    EXPECT_EQ(dialog.Text(IDC_FRAME_LABEL), std::string(year->GetName()) + ":");
    EXPECT_EQ(dialog.Text(IDC_FRAME_EXPLANATION), "Contains the year of the recording.");
    EXPECT_EQ(dialog.Text(IDC_FRAME_TEXT), "1999");
    RECT rect = {};
    GetWindowRect(dialog.window(), &rect);
    EXPECT_NEAR((rect.left + rect.right) / 2, (ownerRect.left + ownerRect.right) / 2, 2);
    EXPECT_NEAR((rect.top + rect.bottom) / 2, (ownerRect.top + ownerRect.bottom) / 2, 2);
    dialog.SetText(IDC_FRAME_TEXT, "2100");
    EXPECT_EQ(dialog.Close(IDOK), IDOK);
    EXPECT_EQ(Read([&](wchar_t* b, int n) { year->GetText(b, n); }), "2100");

    // Kinds without a dialog.
    EXPECT_EQ(NewFrame<IMetadataFrame>(51, IID_IMetadataFrame)->Edit(nullptr), -1);
    EXPECT_EQ(NewFrame<IMetadataFrame>(77, IID_IMetadataFrame)->Edit(nullptr), -1);
}

TEST(FrameDialogs, URLAndUserTextDialogs) {
    auto url = NewFrame<IMetadataFrameURL>(87, IID_IMetadataFrameURL);
    url->SetURL(L"http://example.com/artist");
    {
        std::unique_ptr<Dialog> dialog(Open(url.get()));
        ASSERT_TRUE(dialog->window());
        EXPECT_EQ(dialog->Text(0), "Edit URL");
        EXPECT_EQ(dialog->Text(IDC_FRAME_LABEL), std::string(url->GetName()) + ":");
        EXPECT_EQ(dialog->Text(IDC_FRAME_TEXT), "http://example.com/artist");
        dialog->SetText(IDC_FRAME_TEXT, "not a url");
        dialog->Press(IDC_FRAME_OPEN_URL); // the same check guards the shell
        EXPECT_EQ(dialog->AnswerMessage(), kBox + "Please enter a valid URL.");
        EXPECT_EQ(RejectedOK(*dialog), kBox + "Please enter a valid URL.");
        dialog->SetText(IDC_FRAME_TEXT, "http://example.org/band");
        EXPECT_EQ(dialog->Close(IDOK), IDOK);
    }
    EXPECT_EQ(Read([&](wchar_t* b, int n) { url->GetURL(b, n); }), "http://example.org/band");

    auto userURL = NewFrame<IMetadataFrameUserURL>(92, IID_IMetadataFrameUserURL);
    {
        std::unique_ptr<Dialog> dialog(Open(userURL.get()));
        ASSERT_TRUE(dialog->window());
        EXPECT_EQ(dialog->Text(0), userURL->GetName());
        EXPECT_EQ(RejectedOK(*dialog), kBox + "Please enter a valid URL.");
        dialog->SetText(IDC_FRAME_TEXT, "http://example.com/");
        EXPECT_EQ(RejectedOK(*dialog), kBox + "Please enter description for user-defined URL link.");
        EXPECT_EQ(dialog->Close(IDCANCEL), IDCANCEL);
    }
    EXPECT_EQ(Read([&](wchar_t* b, int n) { userURL->GetURL(b, n); }), "");
    {
        std::unique_ptr<Dialog> dialog(Open(userURL.get()));
        ASSERT_TRUE(dialog->window());
        dialog->SetText(IDC_FRAME_TEXT, "http://example.com/");
        dialog->SetText(IDC_FRAME_DESCRIPTION, "home");
        EXPECT_EQ(dialog->Close(IDOK), IDOK);
    }
    EXPECT_EQ(Read([&](wchar_t* b, int n) { userURL->GetURL(b, n); }), "http://example.com/");
    EXPECT_EQ(Read([&](wchar_t* b, int n) { userURL->GetDescription(b, n); }), "home");

    auto userText = NewFrame<IMetadataFrameUserText>(79, IID_IMetadataFrameUserText);
    userText->SetDescription(L"mood");
    userText->SetText(L"calm");
    for (int button : {IDCANCEL, IDOK}) {
        std::unique_ptr<Dialog> dialog(Open(userText.get()));
        ASSERT_TRUE(dialog->window());
        EXPECT_EQ(dialog->Text(0), userText->GetName());
        EXPECT_EQ(dialog->Text(IDC_FRAME_DESCRIPTION), "mood");
        EXPECT_EQ(dialog->Text(IDC_FRAME_TEXT), "calm");
        dialog->SetText(IDC_FRAME_DESCRIPTION, "");
        dialog->SetText(IDC_FRAME_TEXT, "restless");
        EXPECT_EQ(dialog->Close(button), button);
    }
    EXPECT_EQ(Read([&](wchar_t* b, int n) { userText->GetDescription(b, n); }), "");
    EXPECT_EQ(Read([&](wchar_t* b, int n) { userText->GetText(b, n); }), "restless");
}

TEST(FrameDialogs, LanguageAndCommentDialogs) {
    const char* const kEnglish = "English (United States)";
    auto language = NewFrame<IMetadataFrameText>(50, IID_IMetadataFrameText);
    language->SetText(L"enu");
    {
        std::unique_ptr<Dialog> dialog(Open(language.get()));
        ASSERT_TRUE(dialog->window());
        printf("language dialog on screen and filled after %.1f ms, %d languages\n", dialog->msToVisible,
               int(dialog->Send(IDC_FRAME_LANGUAGE, CB_GETCOUNT)));
        EXPECT_EQ(dialog->Text(0), language->GetName());
        EXPECT_GT(dialog->Send(IDC_FRAME_LANGUAGE, CB_GETCOUNT), 50);
        EXPECT_EQ(dialog->Text(IDC_FRAME_LANGUAGE), kEnglish);
        dialog->Select(IDC_FRAME_LANGUAGE, Language(*dialog, "French (France)"));
        EXPECT_EQ(dialog->Close(IDCANCEL), IDCANCEL);
    }
    EXPECT_EQ(Read([&](wchar_t* b, int n) { language->GetText(b, n); }), "enu");
    {
        std::unique_ptr<Dialog> dialog(Open(language.get()));
        ASSERT_TRUE(dialog->window());
        dialog->Select(IDC_FRAME_LANGUAGE, Language(*dialog, "French (France)"));
        EXPECT_EQ(dialog->Close(IDOK), IDOK);
    }
    EXPECT_EQ(Read([&](wchar_t* b, int n) { language->GetText(b, n); }), "FRA");

    auto comment = NewFrame<IMetadataFrameComment>(4, IID_IMetadataFrameComment);
    comment->SetLanguage(L"enu");
    comment->SetDescription(L"note");
    {
        std::unique_ptr<Dialog> dialog(Open(comment.get()));
        ASSERT_TRUE(dialog->window());
        EXPECT_EQ(dialog->Text(0), comment->GetName());
        EXPECT_EQ(dialog->Text(IDC_FRAME_DESCRIPTION), "note");
        EXPECT_EQ(dialog->Text(IDC_FRAME_LANGUAGE), kEnglish);
        dialog->SetText(IDC_FRAME_DESCRIPTION, "liner");
        EXPECT_EQ(RejectedOK(*dialog), kBox + "Please enter a comment.");
        EXPECT_EQ(dialog->Close(IDCANCEL), IDCANCEL);
    }
    EXPECT_EQ(Read([&](wchar_t* b, int n) { comment->GetDescription(b, n); }), "note");
    {
        std::unique_ptr<Dialog> dialog(Open(comment.get()));
        ASSERT_TRUE(dialog->window());
        dialog->Select(IDC_FRAME_LANGUAGE, Language(*dialog, "French (France)"));
        dialog->SetText(IDC_FRAME_TEXT, "first line\r\nsecond line");
        EXPECT_EQ(dialog->Close(IDOK), IDOK);
    }
    EXPECT_EQ(Read([&](wchar_t* b, int n) { comment->GetLanguage(b, n); }), "FRA");
    EXPECT_EQ(Read([&](wchar_t* b, int n) { comment->GetText(b, n); }), "first line\r\nsecond line");
}

TEST(FrameDialogs, GenreDialogEditsTheList) {
    auto genre = NewFrame<IMetadataFrameText>(32, IID_IMetadataFrameText);
    genre->SetText(L"(17)(6)");
    {
        std::unique_ptr<Dialog> dialog(Open(genre.get()));
        ASSERT_TRUE(dialog->window());
        EXPECT_EQ(dialog->Text(0), "Content Type / Genre");
        Entries names = dialog->Entries(IDC_GENRE_NAME);
        ASSERT_EQ(names.size(), 80u);
        EXPECT_EQ(names[64], "Native American");
        EXPECT_EQ(names[17], "Rock") << "trailing spaces removed";
        EXPECT_EQ(dialog->ListEntries(IDC_GENRE_LIST), (Entries{"Rock", "Grunge"}));
        dialog->SetText(IDC_GENRE_NAME, "rock");
        dialog->Click(IDC_GENRE_ADD);
        EXPECT_EQ(dialog->ListEntries(IDC_GENRE_LIST), (Entries{"Rock", "Grunge"}));
        EXPECT_EQ(dialog->Send(IDC_GENRE_LIST, LB_GETCURSEL), 0);
        dialog->Click(IDC_GENRE_REMOVE);
        dialog->Send(IDC_GENRE_LIST, LB_SETCURSEL, 0);
        dialog->Click(IDC_GENRE_REMOVE);
        EXPECT_EQ(dialog->ListEntries(IDC_GENRE_LIST), Entries{});
        EXPECT_EQ(RejectedOK(*dialog), kBox + "Please enter/select at least one genre and click Add.");
        EXPECT_EQ(dialog->Close(IDCANCEL), IDCANCEL);
    }
    EXPECT_EQ(Read([&](wchar_t* b, int n) { genre->GetText(b, n); }), "(17)(6)");
    {
        std::unique_ptr<Dialog> dialog(Open(genre.get()));
        ASSERT_TRUE(dialog->window());
        dialog->SetText(IDC_GENRE_NAME, "Britpop");
        dialog->Click(IDC_GENRE_ADD);
        dialog->Send(IDC_GENRE_LIST, LB_SETCURSEL, 1);
        dialog->Click(IDC_GENRE_REMOVE);
        EXPECT_EQ(dialog->ListEntries(IDC_GENRE_LIST), (Entries{"Rock", "Britpop"}));
        EXPECT_EQ(dialog->Close(IDOK), IDOK);
    }
    EXPECT_EQ(Read([&](wchar_t* b, int n) { genre->GetText(b, n); }), "(17)Britpop");
}

namespace {

// Windows registers the content type of every picture format; Wine registers none. The test
// gives the GIF extension the registration Windows has, for its own duration.
class ContentTypeRegistration {
public:
    ContentTypeRegistration(const char* extension, const char* type) {
        DWORD disposition = 0;
        if (RegCreateKeyExA(HKEY_CLASSES_ROOT, extension, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                            &m_key, &disposition) != ERROR_SUCCESS)
            return;
        m_created = disposition == REG_CREATED_NEW_KEY;
        m_extension = extension;
        RegSetValueExA(m_key, "Content Type", 0, REG_SZ, reinterpret_cast<const BYTE*>(type),
                       DWORD(strlen(type) + 1));
    }
    ~ContentTypeRegistration() {
        if (!m_key)
            return;
        RegDeleteValueA(m_key, "Content Type");
        RegCloseKey(m_key);
        if (m_created)
            RegDeleteKeyA(HKEY_CLASSES_ROOT, m_extension.c_str());
    }

private:
    HKEY m_key = nullptr;
    bool m_created = false;
    std::string m_extension;
};

} // namespace

TEST(FrameDialogs, PictureDialogLoadsChecksAndSaves) {
    txtest::TempDir dir;
    const std::string gif = dir / "cover.gif", unknown = dir / "cover.trelvoxpic", saved = dir / "saved.jpg";
    const std::string gifBytes =
        std::string("GIF89a\x01\x00\x01\x00\x00\x00\x00;", 13) + std::string(400, 'x');
    txtest::WriteFile(gif, gifBytes);
    txtest::WriteFile(unknown, "not registered");
    ContentTypeRegistration gifType(".gif", "image/gif");

    auto picture = NewFrame<IMetadataFramePicture>(2, IID_IMetadataFramePicture);
    picture->SetPictureType(3);
    {
        std::unique_ptr<Dialog> dialog(Open(picture.get()));
        ASSERT_TRUE(dialog->window());
        EXPECT_EQ(dialog->Text(0), picture->GetName());
        Entries types = dialog->Entries(IDC_PICTURE_TYPE);
        ASSERT_EQ(types.size(), 21u);
        EXPECT_EQ(types[17], "A bright coloured fish");
        EXPECT_EQ(dialog->Send(IDC_PICTURE_TYPE, CB_GETCURSEL), 3);
        EXPECT_EQ(dialog->Text(IDC_PICTURE_SIZE), "(0 bytes)");
        EXPECT_EQ(RejectedOK(*dialog), kBox + "Please enter description for attached picture.");
        dialog->SetText(IDC_FRAME_DESCRIPTION, "front");
        EXPECT_EQ(RejectedOK(*dialog), kBox + "Please load a picture.");

        dialog->Press(IDC_PICTURE_LOAD);
        ASSERT_TRUE(dialog->ChooseFile(unknown.c_str()));
        EXPECT_EQ(dialog->AnswerMessage(), kBox + "Unable to get MIME type of the picture file.");
        EXPECT_EQ(dialog->Text(IDC_PICTURE_MIME), "");

        dialog->Press(IDC_PICTURE_LOAD);
        ASSERT_TRUE(dialog->ChooseFile(gif.c_str()));
        EXPECT_EQ(dialog->AnswerMessage(),
                  kBox + "PNG or JPEG format should be used if interoperability is desired.\n");
        EXPECT_EQ(dialog->Text(IDC_PICTURE_MIME), "image/gif");
        EXPECT_EQ(dialog->Text(IDC_PICTURE_SIZE), "(" + std::to_string(gifBytes.size()) + " bytes)");
        dialog->Select(IDC_PICTURE_TYPE, 4);
        EXPECT_EQ(dialog->Close(IDOK), IDOK);
    }
    EXPECT_EQ(Read([&](wchar_t* b, int n) { picture->GetMimeType(b, n); }), "image/gif");
    EXPECT_EQ(Read([&](wchar_t* b, int n) { picture->GetDescription(b, n); }), "front");
    EXPECT_EQ(picture->GetPictureType(), 4u);
    std::string display = Read([&](wchar_t* b, int n) { picture->GetDisplayText(b, n); });
    EXPECT_EQ(display, "image/gif (front, " + std::to_string(gifBytes.size()) + " bytes)");

    // Save writes the frame's picture; Reset and Cancel leave the frame alone.
    {
        std::unique_ptr<Dialog> dialog(Open(picture.get()));
        ASSERT_TRUE(dialog->window());
        dialog->Press(IDC_PICTURE_SAVE);
        ASSERT_TRUE(dialog->ChooseFile(saved.c_str()));
        dialog->Click(IDC_PICTURE_RESET);
        EXPECT_EQ(dialog->Text(IDC_PICTURE_SIZE), "(0 bytes)");
        EXPECT_EQ(dialog->Text(IDC_PICTURE_MIME), "");
        EXPECT_EQ(dialog->Close(IDCANCEL), IDCANCEL);
    }
    EXPECT_EQ(txtest::ReadFile(saved), gifBytes);
    EXPECT_EQ(Read([&](wchar_t* b, int n) { picture->GetDisplayText(b, n); }), display);
}
