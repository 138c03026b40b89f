#include "store/SettingsImage.h"

#include "base/ImageFile.h"

#include <cmath>
#include <cstdio>
#include <map>

namespace talmar {

std::vector<TImageByte> TSettingsImage::Effective() const {
    // The reader's own sort decides which line of an address is programmed last; each entry
    // carries the index of its byte.
    TImage entries;
    entries.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i)
        entries.push_back(TImageEntry{bytes[i].addr, static_cast<uint16_t>(i)});
    SortImage(entries);
    std::vector<TImageByte> out;
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (i + 1 == entries.size() || entries[i + 1].Address != entries[i].Address)
            out.push_back(bytes[entries[i].Value]);
    return out;
}

std::string TSettingsImage::FileText() const {
    std::string out;
    char buf[32];
    for (const TImageByte& b : bytes) {
        std::snprintf(buf, sizeof buf, "%04X:%02X\r\n", static_cast<unsigned>(b.addr),
                      static_cast<unsigned>(b.value));
        out += buf;
    }
    return out;
}

std::string BytesText(const std::vector<TImageByte>& layout, const std::vector<uint8_t>& bytes) {
    std::string out;
    char buf[32];
    for (std::size_t i = 0; i < layout.size() && i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%s%04X:%02X", out.empty() ? "" : " ",
                      static_cast<unsigned>(layout[i].addr), static_cast<unsigned>(bytes[i]));
        out += buf;
    }
    return out;
}

namespace {

// Coarse 1.5 dB units and fine 0.25 dB steps below +2.5 dB, as the builder makes them from a
// whole dB value a.
std::pair<long, long> LevelSteps(long a) {
    const double x = (2.5 - static_cast<double>(a)) / 0.25;
    const double q = x / 6;
    const auto even = [](double v) {
        const double f = std::floor(v);
        const double d = v - f;
        if (d != 0.5)
            return d > 0.5 ? f + 1 : f;
        return std::fmod(f, 2.0) == 0.0 ? f : f + 1;
    };
    return {static_cast<long>(even(q)), static_cast<long>(even((q - std::trunc(q)) * 6))};
}

} // namespace

std::optional<std::string> DecodeItem(const TImageItem& item, const std::vector<TImageByte>& layout,
                                      const std::vector<uint8_t>& bytes) {
    std::map<int, long> params;
    for (std::size_t i = 0; i < layout.size() && i < bytes.size(); ++i)
        params[layout[i].param] += static_cast<long>(bytes[i]) << (8 * layout[i].byte);
    const auto has = [&](int p) { return params.contains(p); };
    switch (item.encoding) {
    case TEncoding::Plain:
        if (!has(0))
            return std::nullopt;
        return std::to_string(params[0]);
    case TEncoding::Ticks: {
        if (!has(0))
            return std::nullopt;
        // The builder truncates ms * 1000 / 32: the duration is the smallest whose ticks these are.
        const long ms = (params[0] * 32 + 999) / 1000;
        if (ms * 1000 / 32 != params[0])
            return std::nullopt;
        return std::to_string(ms) + " мс";
    }
    case TEncoding::KPNumber: {
        if (!has(0) || !has(1))
            return std::nullopt;
        const int first = item.system == 1 ? 2 : 1, last = item.system == 1 ? 7 : 5;
        long k = 0;
        for (int i = first; i <= last; ++i)
            for (int j = i + 1; j <= last; ++j) {
                ++k;
                if (params[0] == i && params[1] == j)
                    return std::to_string(k);
            }
        return std::nullopt;
    }
    case TEncoding::Coefficient: {
        if (!has(0) || !has(1) || params[1] > 999)
            return std::nullopt;
        char buf[48];
        std::snprintf(buf, sizeof buf, "%ld.%03ld", params[0], params[1]);
        return std::string(buf);
    }
    case TEncoding::Level:
    case TEncoding::Attenuation: {
        if (!has(0) || !has(1))
            return std::nullopt;
        const long coarse = params[0], fine = params[1];
        // A fine step of 4 was rounded up into the coarse count.
        const long x = 6 * (fine >= 4 ? coarse - 1 : coarse) + fine;
        if ((10 - x) % 4 != 0)
            return std::nullopt;
        const long a = (10 - x) / 4;
        if (LevelSteps(a) != std::pair<long, long>{coarse, fine})
            return std::nullopt;
        const long level = item.encoding == TEncoding::Level ? a - item.correction : a;
        return std::to_string(level) + " дБ";
    }
    }
    return std::nullopt;
}

} // namespace talmar
