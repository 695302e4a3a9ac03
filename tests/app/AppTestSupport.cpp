#include "AppTestSupport.h"

#include "devhid/devhid.h"

#include "i18n/FontResolution.h"
#include "i18n/TxtLoader.h"
#include "update/PackageWriter.h"
#include "update/ReportProtocol.h"

namespace appTest
{
    void pump (int ms)
    {
        juce::MessageManager::getInstance()->runDispatchLoopUntil (ms);
    }

    bool pumpUntil (const std::function<bool()>& condition, int timeoutMs, const std::function<void()>& each)
    {
        const auto deadline = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;

        while (! condition())
        {
            if (juce::Time::getMillisecondCounter() > deadline)
                return false;

            if (each)
                each();

            pump (5);
        }

        return true;
    }

    juce::File PackageFile::location()
    {
        return juce::File::getSpecialLocation (juce::File::currentExecutableFile)
                   .getSiblingFile (packageLayout::fileName);
    }

    PackageFile::PackageFile (Package kind, int version)
    {
        location().deleteFile();

        if (kind == Package::missing)
            return;

        // Two sections of 100 and 62 bytes: two data reports, then one.
        std::vector<uint8_t> first (100), second (62);
        for (size_t i = 0; i < first.size(); ++i)
            first[i] = (uint8_t) i;
        for (size_t i = 0; i < second.size(); ++i)
            second[i] = (uint8_t) (0xA0 + i);

        auto bytes = writeUpdatePackage (version, { { first, true }, { second, true } });

        // Not a package at all: the reader finds no header.
        if (kind == Package::invalid)
            bytes.assign (64, (uint8_t) 'x');

        location().replaceWithData (bytes.data(), bytes.size());
    }

    PackageFile::~PackageFile()
    {
        location().deleteFile();
    }

    bool Controller::connect (int version, int type)
    {
        devhidBus::Hello hello;
        hello.deviceType = type;
        hello.firmwareVersion = version;
        hello.productName = "KVX-70";
        return device.connect (hello);
    }

    void Controller::leave()
    {
        device.disconnect();
    }

    bool Controller::sendInput (const std::vector<uint8_t>& report)
    {
        return device.sendInput (report.data(), report.size());
    }

    void Controller::serve (bool answer)
    {
        using namespace reportProtocol;
        std::vector<uint8_t> report;

        while (device.isConnected() && device.receiveOutput (report, 0) == devhidBus::BusDevice::Received::report)
        {
            received.push_back (report);

            if (! answer || report.empty())
                continue;

            uint8_t code = 0;
            uint8_t value = 0;

            switch (report[0])
            {
                case updateHeader:
                    for (size_t k = 0; k < 8; ++k)
                    {
                        const auto* record = report.data() + headerRecordsOffset + k * sectionRecordSize;
                        sectionLengths[k] = (size_t) record[recordLengthOffset]
                                          | ((size_t) record[recordLengthOffset + 1] << 8)
                                          | ((size_t) record[recordLengthOffset + 2] << 16);
                        dataSeen[k] = 0;
                    }
                    code = headerAccepted;
                    break;

                case sectionStart:
                    code = proceed;
                    break;

                case sectionData:
                {
                    const auto k = (size_t) (report[sectionNumberOffset] - 1) % 8;
                    const auto reports = (sectionLengths[k] + dataBytesPerReport - 1) / dataBytesPerReport;
                    ++dataSeen[k];
                    code = dataSeen[k] >= reports ? sectionEnd : proceed;
                    value = (uint8_t) (50 * (k + 1));
                    break;
                }

                case statusQuery:
                    code = finished;
                    value = 100;
                    break;

                default:
                    continue;
            }

            const std::vector<uint8_t> answerReport { code, value };
            sendInput (answerReport);
        }
    }

    Screen::Screen()
    {
        component = std::make_unique<MainComponent>();
        parent.addAndMakeVisible (*component);
        parent.setSize (MainComponent::initialWidth + 6, MainComponent::initialHeight + 6);
        component->setSize (426, 176);
    }

    Screen::~Screen()
    {
        component.reset();
        pump (20);   // let the device link's last messages go before the next test
    }

    bool Screen::waitForState (int state, int timeoutMs, const std::function<void()>& each)
    {
        return pumpUntil ([&] { return component->getScreenState() == state; }, timeoutMs, each);
    }

    bool busIsOurs()
    {
        constexpr int probeType = 99;
        devhidBus::BusDevice probe;
        devhidBus::Hello hello;
        hello.deviceType = probeType;

        if (! probe.connect (hello))
            return false;

        return pumpUntil ([]
        {
            int32_t numbers[HID_LIST_CAPACITY];
            const int count = (int) HID_EnumHIDno (numbers);
            for (int i = 0; i < count; ++i)
                if (HID_GetDeviceType (numbers[i]) == probeType)
                    return true;
            return false;
        }, 2000);
    }

    void prepareLanguages (int language)
    {
        static bool fontsPrepared = false;

        if (! fontsPrepared)
        {
            prepareFonts();
            fontsPrepared = true;
        }

        auto* catalogue = TxtLoader::instance();

        for (auto& available : catalogue->languageAvailable)
            available = true;

        catalogue->setLanguage (language);
    }

    juce::String glyphText (const juce::GlyphArrangement& layout)
    {
        juce::String text;

        // getGlyph is not const in this framework version; reading changes nothing.
        auto& glyphs = const_cast<juce::GlyphArrangement&> (layout);

        for (int i = 0; i < glyphs.getNumGlyphs(); ++i)
            text += juce::String::charToString (glyphs.getGlyph (i).getCharacter());

        return text;
    }

    int findGlyph (const juce::GlyphArrangement& layout, const juce::String& text, int from)
    {
        return glyphText (layout).indexOf (from, text);
    }

    juce::String entry (int index)
    {
        return TxtLoader::instance()->getString (index);
    }

    juce::String currentTypeface()
    {
        return resolveFontName (TxtLoader::instance()->getCurrentFontName());
    }

    std::string styleOf (const juce::GlyphArrangement& layout, int index, int count, const juce::String& typeface)
    {
        if (index < 0 || count <= 0 || index + count > layout.getNumGlyphs())
            return "neither";

        const auto run = glyphText (layout).substring (index, index + count);
        const auto advance = glyphAt (layout, index + count - 1).getRight() - glyphAt (layout, index).getLeft();
        const auto matches = [&] (int style)
        {
            return std::abs (juce::Font (typeface, 13.0f, style).getStringWidthFloat (run) - advance) < 0.05f;
        };
        const bool bold = matches (juce::Font::bold);
        const bool plain = matches (juce::Font::plain);

        return bold == plain ? "neither" : bold ? "bold" : "plain";
    }

    juce::PositionedGlyph glyphAt (const juce::GlyphArrangement& layout, int index)
    {
        return const_cast<juce::GlyphArrangement&> (layout).getGlyph (index);
    }
}
