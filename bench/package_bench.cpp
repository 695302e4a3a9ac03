// Throughput of the package CRC and of a whole-package check on a 64 MB package.
#include "update/PackageWriter.h"
#include "update/UpdatePackage.h"

#include <benchmark/benchmark.h>

#include <juce_core/juce_core.h>

#include <cstring>
#include <random>

namespace
{
    constexpr size_t packageBytes = 64u << 20;

    std::vector<uint8_t> randomBytes (size_t count)
    {
        std::mt19937_64 generator (42);
        std::vector<uint8_t> bytes (count);
        for (size_t i = 0; i + 8 <= count; i += 8)
        {
            const auto value = generator();
            std::memcpy (&bytes[i], &value, 8);
        }
        return bytes;
    }

    const std::vector<uint8_t>& bigPackage()
    {
        static const auto bytes = []
        {
            std::vector<PackageSectionSource> sections;
            for (int k = 0; k < 8; ++k)
                sections.push_back ({ randomBytes (packageBytes / 8), true });
            return writeUpdatePackage (123, sections);
        }();
        return bytes;
    }

    void packageCrcFolded (benchmark::State& state)
    {
        const auto data = randomBytes ((size_t) state.range (0));
        for (auto _ : state)
            benchmark::DoNotOptimize (packageCrc (data.data(), data.size()));
        state.SetBytesProcessed ((int64_t) state.iterations() * state.range (0));
    }

    void crcBitwiseReference (benchmark::State& state)
    {
        const auto data = randomBytes ((size_t) state.range (0));
        for (auto _ : state)
            benchmark::DoNotOptimize (packageCrcBitwise (data.data(), data.size()));
        state.SetBytesProcessed ((int64_t) state.iterations() * state.range (0));
    }

    void wholePackageCheck64MB (benchmark::State& state)
    {
        const auto& bytes = bigPackage();
        PackageSection sections[packageLayout::sectionCount];
        for (auto _ : state)
        {
            int version = -1;
            benchmark::DoNotOptimize (checkUpdatePackage (bytes.data(), bytes.size(),
                                                          packageLayout::signature, &version, sections));
        }
        state.SetBytesProcessed ((int64_t) state.iterations() * (int64_t) bytes.size());
    }

    void wholePackageReadFromDisk64MB (benchmark::State& state)
    {
        const auto& bytes = bigPackage();
        juce::TemporaryFile file (".upd");
        file.getFile().replaceWithData (bytes.data(), bytes.size());
        PackageSection sections[packageLayout::sectionCount];
        for (auto _ : state)
        {
            int version = -1;
            benchmark::DoNotOptimize (readUpdatePackage (file.getFile(), packageLayout::signature,
                                                         &version, sections));
        }
        state.SetBytesProcessed ((int64_t) state.iterations() * (int64_t) bytes.size());
    }
}

BENCHMARK (packageCrcFolded)->Arg (64 << 10)->Arg (packageBytes)->Unit (benchmark::kMillisecond);
BENCHMARK (crcBitwiseReference)->Arg (packageBytes)->Unit (benchmark::kMillisecond);
BENCHMARK (wholePackageCheck64MB)->Unit (benchmark::kMillisecond);
BENCHMARK (wholePackageReadFromDisk64MB)->Unit (benchmark::kMillisecond);
