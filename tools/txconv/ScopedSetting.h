// One integer of the library's settings store changed for this run of txconv.
#pragma once

#include "Trelvox.h"

namespace txconv {

// The stored value is put back at the end, unless something else changed it meanwhile
// (another txconv, the front end, or the library itself): then theirs stays.
class ScopedSetting {
public:
    ScopedSetting(const char* section, const char* key, int value)
        : m_section(section), m_key(key), m_value(value) {
        m_hadValue = GetProfileIntA(section, key, &m_oldValue);
        if (m_hadValue && m_oldValue == value)
            return; // already as wanted: nothing to change or restore
        m_changed = PutProfileInt(section, key, value);
    }
    ~ScopedSetting() {
        int now = 0;
        if (!m_changed || !GetProfileIntA(m_section, m_key, &now) || now != m_value)
            return;
        if (m_hadValue)
            PutProfileInt(m_section, m_key, m_oldValue);
        else
            PutProfileString(m_section, m_key, nullptr);
    }
    ScopedSetting(const ScopedSetting&) = delete;
    ScopedSetting& operator=(const ScopedSetting&) = delete;

    bool Applied() const { return m_changed || (m_hadValue && m_oldValue == m_value); }

private:
    const char* m_section;
    const char* m_key;
    int m_value;
    int m_oldValue = 0;
    bool m_hadValue = false;
    bool m_changed = false;
};

} // namespace txconv
