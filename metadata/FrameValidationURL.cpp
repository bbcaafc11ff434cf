// The URL checks of the frame dialogs, which ask the shell what a URL is.
#include "FrameValidation.h"

#include "TextRules.h"

#include <windows.h>
#include <shlwapi.h>

namespace trelvox {

std::string ValidateURL(const std::wstring& url) {
    if (url.empty() || !PathIsURLA(Narrow(url, kAnsiCodePage).c_str()))
        return "Please enter a valid URL.";
    return std::string();
}

std::string ValidateUserURL(const std::wstring& url, const std::wstring& description) {
    std::string message = ValidateURL(url);
    if (message.empty() && description.empty())
        message = "Please enter description for user-defined URL link.";
    return message;
}

} // namespace trelvox
