#include "TXSlider.h"

#include "Trace.h"
#include "TrelvoxUI.h"

#include <windowsx.h>

namespace {

LRESULT CALLBACK SliderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* slider = reinterpret_cast<CTXSlider*>(GetWindowLongPtrA(window, 0));
    try {
        if (!slider) {
            slider = new CTXSlider(window);
            SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(slider));
        }
        LRESULT result = slider->HandleMessage(message, wParam, lParam);
        if (message == WM_NCDESTROY) {
            SetWindowLongPtrA(window, 0, 0);
            delete slider;
        }
        return result;
    } catch (...) {
        // Out of memory for the window object: the window cannot be created.
        return message == WM_NCCREATE ? FALSE : DefWindowProcA(window, message, wParam, lParam);
    }
}

} // namespace

CTXSlider::~CTXSlider() {
    if (m_thumbRegion)
        DeleteObject(m_thumbRegion);
}

bool CTXSlider::Register(HINSTANCE module) {
    WNDCLASSA existing = {};
    if (GetClassInfoA(module, TXSLIDER_CLASS, &existing))
        return true;
    WNDCLASSA wc = {};
    wc.style = CS_GLOBALCLASS;
    wc.lpfnWndProc = SliderProc;
    wc.cbWndExtra = sizeof(CTXSlider*);
    wc.hInstance = module;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = TXSLIDER_CLASS;
    if (::RegisterClassA(&wc))
        return true;
    TX_TRACE(ui, "RegisterClass(TXSlider) failed: %lu", GetLastError());
    return false;
}

int32_t CTXSlider::Right() const {
    RECT client = {};
    GetClientRect(m_window, &client);
    return client.right;
}

void CTXSlider::BuildThumb() {
    // A range of 0 has no usable position: the thumb stays at the left end.
    int x = m_range > 0 ? int(double(m_position) / double(m_range) * double(Right() - 11)) : 0;
    m_thumb[0] = {x, 10};
    m_thumb[1] = {x + 5, 5};
    m_thumb[2] = {x + 10, 10};
    m_thumb[3] = {x, 10};
    if (m_thumbRegion)
        DeleteObject(m_thumbRegion);
    m_thumbRegion = CreatePolygonRgn(m_thumb, 4, ALTERNATE);
}

void CTXSlider::Paint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_window, &paint);
    int right = Right();
    const POINT track[4] = {{4, 0}, {4, 4}, {right - 5, 4}, {right - 5, -4}};
    Polyline(dc, track, 4);
    Polyline(dc, m_thumb, 4);
    EndPaint(m_window, &paint);
}

void CTXSlider::MoveTo(int x) {
    int right = Right();
    double scaled = right > 10 ? double(x) / double(right - 10) * double(m_range) : 0.0;
    int32_t position = scaled < 0.0 ? 0 : scaled > double(m_range) ? m_range : int32_t(scaled);
    if (position == m_position)
        return;
    m_position = position;
    if (m_thumbRegion)
        InvalidateRgn(m_window, m_thumbRegion, TRUE);
    BuildThumb();
    RedrawWindow(m_window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    int id = GetDlgCtrlID(m_window);
    SendMessageA(GetParent(m_window), WM_COMMAND, MAKEWPARAM(id, TXSN_MOVED),
                 reinterpret_cast<LPARAM>(m_window));
}

LRESULT CTXSlider::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        BuildThumb();
        return 0;
    case WM_PAINT:
        Paint();
        return 0;
    case WM_LBUTTONDOWN:
        // The top five pixel rows, above the track, do not take clicks.
        if (GET_Y_LPARAM(lParam) > 4) {
            SetCapture(m_window);
            MoveTo(GET_X_LPARAM(lParam));
        }
        return 0;
    case WM_MOUSEMOVE:
        if (GetCapture() == m_window)
            MoveTo(GET_X_LPARAM(lParam));
        return 0;
    case WM_LBUTTONUP:
        if (GetCapture() == m_window)
            ReleaseCapture();
        return 0;
    case TXSM_SETPOS: {
        int32_t position = int32_t(wParam);
        m_position = position < 0 ? 0 : position > m_range ? m_range : position;
        BuildThumb();
        InvalidateRect(m_window, nullptr, TRUE);
        return 0;
    }
    case TXSM_GETPOS:
        return m_position;
    case TXSM_SETRANGE:
        m_range = int32_t(wParam);
        return 0;
    }
    return DefWindowProcA(m_window, message, wParam, lParam);
}
