// The Windows side of the language detection: the installed locales and the user's default
// language identifier, as the system reports them.
#include "i18n/LanguageDetection.h"

#include <windows.h>

namespace
{
    // EnumSystemLocalesA passes no context to its procedure; it calls it synchronously on
    // the calling thread, so the list being filled is held here for the time of the call.
    std::vector<int>* localesBeingListed = nullptr;

    BOOL CALLBACK localeEnumCallback (LPSTR localeIdentifier)
    {
        if (localeIdentifier == nullptr)
            return FALSE;

        const int primary = primaryLanguageOfLocaleString (localeIdentifier);

        if (primary >= 0 && localesBeingListed != nullptr)
            localesBeingListed->push_back (primary);

        return TRUE;
    }
}

LanguageSettings readSystemLanguageSettings()
{
    LanguageSettings settings;

    localesBeingListed = &settings.installedPrimaryLanguages;
    EnumSystemLocalesA (localeEnumCallback, LCID_INSTALLED);
    localesBeingListed = nullptr;

    settings.userDefaultLanguageId = GetUserDefaultLangID();
    return settings;
}
