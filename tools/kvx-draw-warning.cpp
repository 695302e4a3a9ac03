// kvx-draw-warning: draws the updater's warning symbol and writes it as a PNG file.

#include "tools/WarningSymbol.h"

#include <iostream>
#include <string>

namespace
{
    const char* const help =
        "Usage: kvx-draw-warning OUTPUT.png\n"
        "\n"
        "Draws the updater's warning symbol (56 x 55 pixels, RGBA) and writes it as a PNG\n"
        "file. resources/images/warning.png is its output; run it again after changing the\n"
        "drawing and commit both.\n"
        "\n"
        "  -h, --help  show this help\n";
}

int main (int argc, char* argv[])
{
    if (argc == 2 && (std::string (argv[1]) == "-h" || std::string (argv[1]) == "--help"))
    {
        std::cout << help;
        return 0;
    }

    if (argc != 2 || argv[1][0] == '-' || argv[1][0] == '\0')
    {
        std::cerr << "kvx-draw-warning: expected one argument, the output file (see --help)\n";
        return 2;
    }

    const auto png = warningSymbol::drawPng();
    const auto output = juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]);

    if (png.isEmpty() || ! output.replaceWithData (png.getData(), png.getSize()))
    {
        std::cerr << "kvx-draw-warning: cannot write " << output.getFullPathName() << '\n';
        return 1;
    }

    return 0;
}
