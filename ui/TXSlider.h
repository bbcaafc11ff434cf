#pragma once

#include <windows.h>

#include <stdint.h>

// The window object of one "TXSlider" window: created with the window's first message and
// deleted with the window.
class CTXSlider {
public:
    explicit CTXSlider(HWND window) : m_window(window) {}
    ~CTXSlider();
    CTXSlider(const CTXSlider&) = delete;
    CTXSlider& operator=(const CTXSlider&) = delete;

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // Registers the global class "TXSlider" for module; later calls do nothing. False when
    // the class could not be registered.
    static bool Register(HINSTANCE module);

private:
    int32_t Right() const;
    // The thumb's outline and region for the current position.
    void BuildThumb();
    void Paint();
    // Follows the pointer's x; the parent hears of it when the position changed.
    void MoveTo(int x);

    HWND m_window;
    HRGN m_thumbRegion = nullptr; // owned
    int32_t m_position = 0;
    int32_t m_range = 0;
    POINT m_thumb[4] = {};
};
