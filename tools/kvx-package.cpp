// kvx-package: writes update packages and shows what the updater's reader makes of one.

#include "update/PackageWriter.h"
#include "update/UpdatePackage.h"

#include <juce_core/juce_core.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace
{
    constexpr int exitValid = 0;
    constexpr int exitInvalid = 1;
    constexpr int exitUsage = 2;

    const char* const mainHelp =
        "Usage: kvx-package COMMAND [OPTIONS]\n"
        "\n"
        "Writes KVX-70 update packages and checks them with the updater's own reader.\n"
        "\n"
        "Commands:\n"
        "  create   write a package from section data files\n"
        "  inspect  show what the updater concludes about a package\n"
        "\n"
        "Run 'kvx-package COMMAND --help' for the options of a command.\n";

    const char* const createHelp =
        "Usage: kvx-package create -o FILE --version X.YZ [--section PATH[:off]]...\n"
        "\n"
        "Writes an update package. Up to eight --section options fill sections 1 to 8 in\n"
        "order with the bytes of PATH; sections not given are empty and not enabled.\n"
        "\n"
        "  -o, --output FILE   the package file to write\n"
        "  --version X.YZ      package version, 0.01 to 9.99\n"
        "  --section PATH      data of the next section, sent to the controller\n"
        "  --section PATH:off  data of the next section, carried but not sent\n"
        "  -h, --help          show this help\n";

    const char* const inspectHelp =
        "Usage: kvx-package inspect FILE [--json]\n"
        "\n"
        "Reads FILE as the updater does and prints its conclusion: version, payload size\n"
        "and each section's flag, length and CRC, or the first reason it is invalid.\n"
        "\n"
        "  --json      print one JSON object instead of text\n"
        "  -h, --help  show this help\n"
        "\n"
        "Exit status: 0 valid, 1 invalid, 2 usage error or unreadable file.\n";

    int usageError (const std::string& message)
    {
        std::cerr << "kvx-package: " << message << '\n';
        return exitUsage;
    }

    bool isHelp (const std::string& argument)
    {
        return argument == "-h" || argument == "--help";
    }

    // "X.YZ" with X, Y, Z decimal digits, 0.01 to 9.99; -1 when malformed or out of range.
    int parseVersion (const std::string& text)
    {
        if (text.size() != 4 || text[1] != '.')
            return -1;

        for (size_t i : { 0u, 2u, 3u })
            if (text[i] < '0' || text[i] > '9')
                return -1;

        const int digits = 100 * (text[0] - '0') + 10 * (text[2] - '0') + (text[3] - '0');
        return digits >= 1 ? digits : -1;
    }

    int create (const std::vector<std::string>& arguments)
    {
        std::string output;
        int version = -1;
        std::vector<PackageSectionSource> sections;

        for (size_t i = 0; i < arguments.size(); ++i)
        {
            const auto& argument = arguments[i];

            if (isHelp (argument))
            {
                std::cout << createHelp;
                return 0;
            }

            const bool takesValue = argument == "-o" || argument == "--output"
                                 || argument == "--version" || argument == "--section";

            if (! takesValue)
                return usageError ("create: unknown argument '" + argument + "' (see --help)");

            if (i + 1 >= arguments.size())
                return usageError ("create: " + argument + " needs a value");

            const auto& value = arguments[++i];

            if (argument == "-o" || argument == "--output")
            {
                output = value;
            }
            else if (argument == "--version")
            {
                version = parseVersion (value);

                if (version < 0)
                    return usageError ("create: version '" + value + "' is not X.YZ from 0.01 to 9.99");
            }
            else
            {
                if (sections.size() == (size_t) packageLayout::sectionCount)
                    return usageError ("create: a package has at most eight sections");

                PackageSectionSource section;
                auto path = value;
                static const std::string offSuffix = ":off";

                if (path.size() > offSuffix.size()
                    && path.compare (path.size() - offSuffix.size(), offSuffix.size(), offSuffix) == 0)
                {
                    section.enabled = false;
                    path.resize (path.size() - offSuffix.size());
                }

                const auto file = juce::File::getCurrentWorkingDirectory().getChildFile (path);
                juce::MemoryBlock data;

                if (! file.existsAsFile() || ! (file.getSize() == 0 || file.loadFileAsData (data)))
                    return usageError ("create: cannot read section data '" + path + "'");

                auto* bytes = static_cast<const uint8_t*> (data.getData());
                section.data.assign (bytes, bytes + data.getSize());
                sections.push_back (std::move (section));
            }
        }

        if (output.empty())
            return usageError ("create: -o FILE is required");

        if (version < 0)
            return usageError ("create: --version X.YZ is required");

        const auto bytes = writeUpdatePackage (version, sections);
        const auto file = juce::File::getCurrentWorkingDirectory().getChildFile (output);

        if (! file.replaceWithData (bytes.data(), bytes.size()))
            return usageError ("create: cannot write '" + output + "'");

        return 0;
    }

    std::string versionText (int version)
    {
        char text[16];
        std::snprintf (text, sizeof (text), "%d.%02d", version / 100, version % 100);
        return text;
    }

    int inspect (const std::vector<std::string>& arguments)
    {
        std::string path;
        bool json = false;

        for (const auto& argument : arguments)
        {
            if (isHelp (argument))
            {
                std::cout << inspectHelp;
                return 0;
            }

            if (argument == "--json")
                json = true;
            else if (! argument.empty() && argument[0] == '-')
                return usageError ("inspect: unknown option '" + argument + "' (see --help)");
            else if (path.empty())
                path = argument;
            else
                return usageError ("inspect: only one FILE may be given");
        }

        if (path.empty())
            return usageError ("inspect: FILE is required");

        const auto file = juce::File::getCurrentWorkingDirectory().getChildFile (path);
        const bool readable = file.existsAsFile() && juce::FileInputStream (file).openedOk();

        int version = -1;
        PackageSection sections[packageLayout::sectionCount];
        std::string reason;
        int sectionsReached = 0;
        const auto payloadSize = readUpdatePackage (file, packageLayout::signature, &version,
                                                    sections, &reason, &sectionsReached);

        UpdatePackage package;
        settleUpdatePackage (package, payloadSize, version);

        if (payloadSize > 0 && ! package.valid)
            reason = version <= 0 ? "version " + std::to_string (version) + " is not above 0"
                                  : "payload size does not fit the reader's size";
        else if (readable && payloadSize == 0 && reason.empty())
            reason = "payload size is 0";

        // Sections as far as the reader got: a section that failed its check still shows
        // what the reader recorded for it before it stopped.
        const int shown = package.valid ? packageLayout::sectionCount : sectionsReached;

        if (json)
        {
            juce::Array<juce::var> sectionList;

            for (int k = 0; k < shown; ++k)
            {
                auto* object = new juce::DynamicObject();
                object->setProperty ("number", k + 1);
                object->setProperty ("enabled", sections[k].enabled);
                object->setProperty ("length", (juce::int64) sections[k].length);
                object->setProperty ("crc", (int) sections[k].crc);
                sectionList.add (juce::var (object));
            }

            auto* result = new juce::DynamicObject();
            result->setProperty ("valid", package.valid);
            result->setProperty ("version", version);
            result->setProperty ("payloadSize", package.payloadSize);
            result->setProperty ("sections", sectionList);
            result->setProperty ("error", package.valid ? juce::var() : juce::var (juce::String (reason)));
            std::cout << juce::JSON::toString (juce::var (result), true) << '\n';
        }
        else if (! readable)
        {
            std::cerr << "kvx-package: inspect: cannot read '" << path << "': " << reason << '\n';
        }
        else
        {
            std::printf ("%s: %s\n", path.c_str(), package.valid ? "valid" : "INVALID");

            if (! package.valid)
                std::printf ("  reason:       %s\n", reason.c_str());

            if (version >= 0)
                std::printf ("  version:      %s\n", versionText (version).c_str());

            std::printf ("  payload size: %d bytes\n", package.payloadSize);

            for (int k = 0; k < shown; ++k)
                std::printf ("  section %d:    %-4s length %10u  crc 0x%04X\n", k + 1,
                             sections[k].enabled ? "Y" : "off", sections[k].length,
                             sections[k].crc);
        }

        if (! readable)
            return exitUsage;

        return package.valid ? exitValid : exitInvalid;
    }
}

int main (int argc, char* argv[])
{
    std::vector<std::string> arguments (argv + 1, argv + argc);

    if (arguments.empty())
    {
        std::cerr << mainHelp;
        return exitUsage;
    }

    const auto command = arguments.front();
    arguments.erase (arguments.begin());

    if (isHelp (command))
    {
        std::cout << mainHelp;
        return 0;
    }

    if (command == "create")
        return create (arguments);

    if (command == "inspect")
        return inspect (arguments);

    return usageError ("unknown command '" + command + "' (see --help)");
}
