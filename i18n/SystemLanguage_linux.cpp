// The Linux side of the language detection, and the one place where the updater reads its
// environment: the user's POSIX locale and the locales the C library has installed.
#include "i18n/LanguageDetection.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
    // Where glibc keeps compiled locales: one folder per locale (locales-all, or
    // `localedef` without the archive) and the archive that locale-gen fills.
    constexpr const char* localeFolder = "/usr/lib/locale";
    constexpr const char* localeArchivePath = "/usr/lib/locale/locale-archive";

    // The locale that names the language of messages, in POSIX precedence; empty is unset.
    std::string userLocaleName()
    {
        for (auto* variable : { "LC_ALL", "LC_MESSAGES", "LANG" })
            if (const char* value = std::getenv (variable); value != nullptr && *value != 0)
                return value;

        return {};
    }

    void addPrimaryLanguage (std::vector<int>& primaries, const std::string& localeName)
    {
        const int id = languageIdForLocaleName (localeName);

        if (id != 0 && std::find (primaries.begin(), primaries.end(), id & 0xff) == primaries.end())
            primaries.push_back (id & 0xff);
    }

    bool hasPrimaryLanguage (const std::vector<int>& primaries, const std::string& localeName)
    {
        const int id = languageIdForLocaleName (localeName);
        return id == 0 || std::find (primaries.begin(), primaries.end(), id & 0xff) != primaries.end();
    }

    // Maps the archive rather than reading it: it can hold hundreds of megabytes, of which
    // only the header and the name table are touched.
    void addArchiveLocales (std::vector<int>& primaries)
    {
        const int file = ::open (localeArchivePath, O_RDONLY | O_CLOEXEC);

        if (file < 0)
            return;

        struct stat status {};

        if (::fstat (file, &status) == 0 && S_ISREG (status.st_mode) && status.st_size > 0)
        {
            const auto size = (size_t) status.st_size;
            void* mapped = ::mmap (nullptr, size, PROT_READ, MAP_PRIVATE, file, 0);

            if (mapped != MAP_FAILED)
            {
                for (const auto& name : localeArchiveNames (static_cast<const uint8_t*> (mapped), size))
                    addPrimaryLanguage (primaries, name);

                ::munmap (mapped, size);
            }
        }

        ::close (file);
    }

    // A folder counts as a locale when it holds LC_IDENTIFICATION, as for `locale -a`
    // (some folders hold only translations). The check is made only for a folder that
    // would add a language not yet seen, so start-up stays at one directory listing.
    void addFolderLocales (std::vector<int>& primaries)
    {
        DIR* folder = ::opendir (localeFolder);

        if (folder == nullptr)
            return;

        while (const dirent* entry = ::readdir (folder))
        {
            const std::string name = entry->d_name;

            if (name.empty() || name[0] == '.' || hasPrimaryLanguage (primaries, name))
                continue;

            struct stat status {};
            const auto identification = std::string (localeFolder) + "/" + name + "/LC_IDENTIFICATION";

            if (::stat (identification.c_str(), &status) == 0 && S_ISREG (status.st_mode))
                addPrimaryLanguage (primaries, name);
        }

        ::closedir (folder);
    }
}

LanguageSettings readSystemLanguageSettings()
{
    LanguageSettings settings;
    settings.userDefaultLanguageId = languageIdForLocaleName (userLocaleName());

    // "C" and "POSIX" are always there.
    addPrimaryLanguage (settings.installedPrimaryLanguages, "C");
    addArchiveLocales (settings.installedPrimaryLanguages);
    addFolderLocales (settings.installedPrimaryLanguages);

    return settings;
}
