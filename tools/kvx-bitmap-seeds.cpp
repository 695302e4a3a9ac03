// kvx-bitmap-seeds: writes the seed files of the bitmap decoder's fuzz target.

#include "ui/BitmapFile.h"

#include <juce_core/juce_core.h>

#include <iostream>
#include <string>
#include <vector>

namespace
{
    const char* const help =
        "Usage: kvx-bitmap-seeds DIR\n"
        "\n"
        "Writes small Windows bitmaps into DIR, the seeds of fuzz_bitmap\n"
        "(fuzz/corpus/bitmap/): 24- and 32-bit pixels, padded rows, a last row without\n"
        "padding, and two the decoder rejects (top-down rows, rows past the end).\n"
        "\n"
        "  -h, --help  show this help\n";

    struct Pixel { uint8_t b, g, r, a; };

    const Pixel red { 0, 0, 255, 255 };
    const Pixel green { 0, 255, 0, 255 };
    const Pixel blue { 255, 0, 0, 255 };
    const Pixel clear { 0, 0, 0, 0 };

    // Rows in stored order (bottom row first), each padded to the bitmap's stride; the
    // last row is left unpadded when asked.
    std::vector<uint8_t> pixelArray (int bitsPerPixel, const std::vector<std::vector<Pixel>>& rows,
                                     bool padLastRow = true)
    {
        std::vector<uint8_t> bytes;

        for (size_t i = 0; i < rows.size(); ++i)
        {
            const auto start = bytes.size();

            for (const auto& p : rows[i])
            {
                bytes.insert (bytes.end(), { p.b, p.g, p.r });

                if (bitsPerPixel == 32)
                    bytes.push_back (p.a);
            }

            if (padLastRow || i + 1 < rows.size())
                bytes.resize (start + (size_t) bitmapRowStride (bitsPerPixel, (int64_t) rows[i].size()), 0);
        }

        return bytes;
    }

    struct Seed
    {
        const char* name;
        std::vector<uint8_t> bytes;
    };

    std::vector<Seed> seeds()
    {
        const std::vector<std::vector<Pixel>> twoByTwo { { red, red }, { blue, blue } };
        const std::vector<std::vector<Pixel>> threeByThree { { red, green, blue }, { green, blue, red },
                                                             { blue, red, green } };
        return {
            { "rgb-2x2.bmp", writeBitmap (2, 2, 24, pixelArray (24, twoByTwo)) },
            { "rgb-3x3-padded.bmp", writeBitmap (3, 3, 24, pixelArray (24, threeByThree)) },
            { "rgb-3x3-last-row-unpadded.bmp", writeBitmap (3, 3, 24, pixelArray (24, threeByThree, false)) },
            { "argb-3x2.bmp", writeBitmap (3, 2, 32, pixelArray (32, { { red, clear, blue }, { green, green, clear } })) },
            { "top-down-2x2.bmp", writeBitmap (2, -2, 24, pixelArray (24, twoByTwo)) },
            { "rows-past-end.bmp", writeBitmap (2, 3, 24, pixelArray (24, twoByTwo)) },
        };
    }
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
        std::cerr << "kvx-bitmap-seeds: expected one argument, the folder to write into (see --help)\n";
        return 2;
    }

    const auto folder = juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]);

    if (! folder.createDirectory())
    {
        std::cerr << "kvx-bitmap-seeds: cannot create " << folder.getFullPathName() << '\n';
        return 1;
    }

    for (const auto& seed : seeds())
    {
        const auto file = folder.getChildFile (seed.name);

        if (! file.replaceWithData (seed.bytes.data(), seed.bytes.size()))
        {
            std::cerr << "kvx-bitmap-seeds: cannot write " << file.getFullPathName() << '\n';
            return 1;
        }
    }

    return 0;
}
