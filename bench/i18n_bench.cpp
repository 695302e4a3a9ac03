// Start-up costs of the localisation: the catalogue with the language detection, a language
// change, and on Linux the font preparation on top of JUCE's own font scan.
#include "i18n/FontResolution.h"
#include "i18n/LanguageDetection.h"
#include "i18n/TxtLoader.h"

#include <benchmark/benchmark.h>

#include <juce_gui_basics/juce_gui_basics.h>

namespace
{
    // What TxtLoader::instance does on the first call.
    void catalogueWithDetection (benchmark::State& state)
    {
        for (auto _ : state)
        {
            TxtLoader loader;
            loader.setLanguage (loader.detectDefaultLanguage());
            benchmark::DoNotOptimize (loader.getString (3));
        }
    }

    void systemLanguageSettings (benchmark::State& state)
    {
        for (auto _ : state)
            benchmark::DoNotOptimize (readSystemLanguageSettings());
    }

    void languageChange (benchmark::State& state)
    {
        TxtLoader loader;
        int language = 0;

        for (auto _ : state)
        {
            language = (language + 1) % TxtLoader::languageCount;
            loader.setLanguage (language);
            benchmark::DoNotOptimize (loader.getString (22));
        }
    }

    // Each iteration is a fresh JUCE: its font scan, then the fonts of a start in English
    // (Arial: no CJK collection is registered) or in Japanese (the CJK collections are).
    void fontStartUp (benchmark::State& state)
    {
        const char* const starts[] = { nullptr, "Arial", "MS UI Gothic" };
        const char* const labels[] = { "JUCE font scan alone", "JUCE font scan + an English start's fonts",
                                       "JUCE font scan + a Japanese start's fonts" };
        const auto* fontName = starts[state.range (0)];

        for (auto _ : state)
        {
            juce::ScopedJuceInitialiser_GUI juce;
            benchmark::DoNotOptimize (juce::Font::findAllTypefaceNames());

            if (fontName != nullptr)
            {
                prepareFonts();
                setLanguageFallback (resolveFontName (fontName));
            }
        }

        state.SetLabel (labels[state.range (0)]);
    }
}

BENCHMARK (catalogueWithDetection)->Unit (benchmark::kMicrosecond);
BENCHMARK (systemLanguageSettings)->Unit (benchmark::kMicrosecond);
BENCHMARK (languageChange)->Unit (benchmark::kMicrosecond);
BENCHMARK (fontStartUp)->Arg (0)->Arg (1)->Arg (2)->Unit (benchmark::kMillisecond)->Iterations (5);
