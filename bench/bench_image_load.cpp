// Loading image files: a full 65535-line Generic FLASH file with distinct addresses in random
// order (the case that must stay far from quadratic), and, for comparison, layouts with many
// entries sharing an address, which take the slower tie-keeping path of the sort.
//
// Usage: bench_image_load [repeats]   (default 7; the table shows the median and the worst)
#include "base/ImageFile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <random>
#include <string>
#include <vector>

using namespace talmar;
using Clock = std::chrono::steady_clock;

namespace {

std::string FlashFile(const std::vector<uint32_t>& addresses) {
    std::string text;
    text.reserve(addresses.size() * 13);
    char line[32];
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        std::snprintf(line, sizeof line, "%06X:%04X\r\n", addresses[i], static_cast<unsigned>(i & 0xFFFF));
        text += line;
    }
    return text;
}

struct TCase {
    std::string name;
    std::vector<uint32_t> addresses;
};

} // namespace

int main(int argc, char** argv) {
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    constexpr std::size_t n = kMaxGenericLines;
    std::mt19937 rng(12345);

    std::vector<TCase> cases;
    {
        std::vector<uint32_t> a(n);
        std::iota(a.begin(), a.end(), 0u);
        std::shuffle(a.begin(), a.end(), rng);
        cases.push_back({"distinct, shuffled", a});
        std::sort(a.begin(), a.end());
        cases.push_back({"distinct, in order", a});
        std::reverse(a.begin(), a.end());
        cases.push_back({"distinct, reversed", a});
    }
    {
        std::vector<uint32_t> a(n);
        for (auto& x : a)
            x = rng() % 4096;
        cases.push_back({"4096 addresses, ~16 each", a});
        for (auto& x : a)
            x = rng() % 16;
        cases.push_back({"16 addresses, ~4096 each", a});
        std::fill(a.begin(), a.end(), 0x0100);
        cases.push_back({"one address", a});
        // Every other entry shares one address, the rest rise: the ties keep being overtaken.
        for (std::size_t i = 0; i < n; ++i)
            a[i] = i % 2 ? 0 : static_cast<uint32_t>(i);
        cases.push_back({"half on one address", a});
    }

    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "talmar-bench-image";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "image.rom").string();

    std::printf("Image load of %zu-line Generic FLASH files (%d runs each)\n\n", n, repeats);
    std::printf("%-28s %12s %12s %12s\n", "layout", "median, ms", "worst, ms", "entries");
    bool ok = true;
    for (const auto& c : cases) {
        {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out << FlashFile(c.addresses);
        }
        std::vector<double> ms;
        std::size_t entries = 0;
        for (int r = 0; r < repeats; ++r) {
            const auto t0 = Clock::now();
            const TLoadedImage image = ReadImageFile(path, tpFLASH);
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
            entries = image.entries.size();
        }
        std::sort(ms.begin(), ms.end());
        std::printf("%-28s %12.1f %12.1f %12zu\n", c.name.c_str(), ms[ms.size() / 2], ms.back(), entries);
        if (&c == &cases.front())
            ok = ms[ms.size() / 2] < 100.0;
    }
    std::filesystem::remove_all(dir);
    std::printf("\ntarget: distinct, shuffled under 100 ms: %s\n", ok ? "met" : "NOT met");
    return 0;
}
