// One value of the library's settings store changed for this run of txconv.
#pragma once

#include "Trelvox.h"

#include <string>

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

// The same for a text; an empty value leaves the stored text alone.
class ScopedText {
public:
    ScopedText(const char* section, const char* key, const std::string& value)
        : m_section(section), m_key(key), m_value(value) {
        if (value.empty())
            return;
        char old[1024] = {};
        m_hadValue = GetProfileStringA(section, key, old);
        m_oldValue = old;
        if (!(m_hadValue && m_oldValue == value))
            m_changed = PutProfileString(section, key, value.c_str());
    }
    ~ScopedText() {
        char now[1024] = {};
        if (!m_changed || !GetProfileStringA(m_section, m_key, now) || m_value != now)
            return;
        PutProfileString(m_section, m_key, m_hadValue ? m_oldValue.c_str() : nullptr);
    }
    ScopedText(const ScopedText&) = delete;
    ScopedText& operator=(const ScopedText&) = delete;

private:
    const char* m_section;
    const char* m_key;
    std::string m_value;
    std::string m_oldValue;
    bool m_hadValue = false;
    bool m_changed = false;
};

} // namespace txconv
