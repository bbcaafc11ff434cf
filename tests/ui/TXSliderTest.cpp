// The "TXSlider" class as a front end uses it: created by name in a window of the caller's
// module, driven by its three messages and by mouse messages, heard through WM_COMMAND.
#include "TestSupport.h"
#include "Trelvox.h"
#include "TrelvoxUI.h"

#include <vector>

namespace {

constexpr int kId = 42;
constexpr int kWidth = 210; // client width, so that a pointer x of 20 is one step of ten

struct Notification {
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Notification> g_heard;

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND)
        g_heard.push_back({wParam, lParam});
    return DefWindowProcA(window, message, wParam, lParam);
}

class Slider : public ::testing::Test {
protected:
    void SetUp() override {
        InitTX(nullptr);
        WNDCLASSA wc = {};
        wc.lpfnWndProc = ParentProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "TxSliderTestParent";
        RegisterClassA(&wc);
        parent = CreateWindowExA(0, wc.lpszClassName, "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 100,
                                 nullptr, nullptr, wc.hInstance, nullptr);
        slider = CreateWindowExA(0, TXSLIDER_CLASS, "", WS_CHILD | WS_VISIBLE, 10, 10, kWidth, 16, parent,
                                 reinterpret_cast<HMENU>(kId), GetModuleHandleA(nullptr), nullptr);
        ASSERT_TRUE(slider) << GetLastError();
        SendMessageA(slider, TXSM_SETRANGE, 10, 0);
        g_heard.clear();
    }
    void TearDown() override { DestroyWindow(parent); }

    LRESULT Position() { return SendMessageA(slider, TXSM_GETPOS, 0, 0); }
    void Mouse(UINT message, int x, int y) { SendMessageA(slider, message, MK_LBUTTON, MAKELPARAM(x, y)); }
    // Whether the thumb's tip is drawn at client x.
    bool TipAt(int x) {
        RedrawWindow(slider, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        HDC dc = GetDC(slider);
        COLORREF color = GetPixel(dc, x, 5);
        ReleaseDC(slider, dc);
        return color == RGB(0, 0, 0);
    }

    HWND parent = nullptr;
    HWND slider = nullptr;
};

} // namespace

TEST_F(Slider, ClassIsGlobalOnButtonFace) {
    WNDCLASSA wc = {};
    ASSERT_TRUE(GetClassInfoA(GetModuleHandleA("Trelvox.dll"), TXSLIDER_CLASS, &wc));
    EXPECT_TRUE(wc.style & CS_GLOBALCLASS);
    EXPECT_EQ(wc.hbrBackground, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    EXPECT_EQ(wc.hIcon, nullptr);
    EXPECT_EQ(wc.lpszMenuName, nullptr);
}

TEST_F(Slider, MessagesClampAndNeverNotify) {
    EXPECT_EQ(Position(), 0);
    EXPECT_TRUE(TipAt(5));
    SendMessageA(slider, TXSM_SETPOS, 15, 0);
    EXPECT_EQ(Position(), 10);
    EXPECT_TRUE(TipAt(kWidth - 11 + 5)); // at the right end
    SendMessageA(slider, TXSM_SETPOS, WPARAM(-3), 0);
    EXPECT_EQ(Position(), 0);
    // A new range does not move the thumb.
    SendMessageA(slider, TXSM_SETPOS, 4, 0);
    SendMessageA(slider, TXSM_SETRANGE, 2, 0);
    EXPECT_EQ(Position(), 4);
    EXPECT_TRUE(g_heard.empty());
}

TEST_F(Slider, DragMovesTheThumbAndTellsTheParent) {
    // The top five pixel rows take no clicks.
    Mouse(WM_LBUTTONDOWN, 100, 3);
    Mouse(WM_MOUSEMOVE, 150, 3);
    EXPECT_EQ(Position(), 0);
    EXPECT_TRUE(g_heard.empty());

    Mouse(WM_LBUTTONDOWN, 100, 5); // 100 / 200 x 10
    EXPECT_EQ(Position(), 5);
    ASSERT_EQ(g_heard.size(), 1u);
    EXPECT_EQ(g_heard[0].wParam, MAKEWPARAM(kId, TXSN_MOVED));
    EXPECT_EQ(g_heard[0].lParam, reinterpret_cast<LPARAM>(slider));
    Mouse(WM_MOUSEMOVE, -40, 8);
    EXPECT_EQ(Position(), 0);
    Mouse(WM_MOUSEMOVE, 1000, 8);
    EXPECT_EQ(Position(), 10);
    Mouse(WM_MOUSEMOVE, 205, 30); // still 10: nothing new to tell
    EXPECT_EQ(g_heard.size(), 3u);
    Mouse(WM_LBUTTONUP, 205, 8);
    EXPECT_EQ(GetCapture(), nullptr);
    // Without the capture the pointer moves nothing.
    Mouse(WM_MOUSEMOVE, 20, 8);
    EXPECT_EQ(Position(), 10);
    // A click on the position it already has says nothing.
    Mouse(WM_LBUTTONDOWN, 209, 8);
    Mouse(WM_LBUTTONUP, 209, 8);
    EXPECT_EQ(g_heard.size(), 3u);
}
