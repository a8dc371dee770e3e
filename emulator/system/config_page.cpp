#include "emulator/system/config_page.h"

#include <algorithm>
#include <cstring>

namespace emu {

namespace {

// Decodes UTF-8 into code points of the basic plane; other bytes become '?'.
std::vector<uint16_t> toUtf16(const std::string& s) {
    std::vector<uint16_t> out;
    for (std::size_t i = 0; i < s.size();) {
        auto c = static_cast<uint8_t>(s[i]);
        uint32_t cp = '?';
        std::size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0 && i + 1 < s.size()) {
            cp = ((c & 0x1Fu) << 6) | (static_cast<uint8_t>(s[i + 1]) & 0x3Fu);
            len = 2;
        } else if ((c & 0xF0) == 0xE0 && i + 2 < s.size()) {
            cp = ((c & 0x0Fu) << 12) | ((static_cast<uint8_t>(s[i + 1]) & 0x3Fu) << 6) |
                 (static_cast<uint8_t>(s[i + 2]) & 0x3Fu);
            len = 3;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
        }
        out.push_back(static_cast<uint16_t>(cp));
        i += len;
    }
    return out;
}

void appendUtf8(std::string& out, uint16_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Offsets of the chain's descriptors, in order, up to the end marker or the
// first malformed entry.
std::vector<std::size_t> chainOffsets(const PageData& page) {
    std::vector<std::size_t> offsets;
    std::size_t p = kChainStart;
    while (p + 2 <= kChainEnd) {
        uint8_t len = page[p];
        if (len < 2 || page[p + 1] != 3 || p + len > kChainEnd) break;
        offsets.push_back(p);
        p += len;
    }
    return offsets;
}

} // namespace

std::vector<uint8_t> utf16Descriptor(const std::string& utf8) {
    std::vector<uint16_t> units = toUtf16(utf8);
    if (units.size() > 126) units.resize(126);
    std::vector<uint8_t> d;
    d.push_back(static_cast<uint8_t>(2 + 2 * units.size()));
    d.push_back(3);
    for (uint16_t u : units) {
        d.push_back(static_cast<uint8_t>(u & 0xFF));
        d.push_back(static_cast<uint8_t>(u >> 8));
    }
    return d;
}

std::string descriptorText(const std::vector<uint8_t>& descriptor) {
    std::string out;
    for (std::size_t i = 2; i + 1 < descriptor.size(); i += 2)
        appendUtf8(out, static_cast<uint16_t>(descriptor[i] | (descriptor[i + 1] << 8)));
    return out;
}

PageData defaultConfigPage(const Geometry& geometry, const std::string& name, uint32_t division) {
    PageData page{};
    const char header[] = "KV7946 CONFIG";
    std::memcpy(page.data(), header, sizeof header - 1);
    page[16] = 1; // header version

    const std::vector<std::vector<uint8_t>> chain = {
        {4, 3, 0x09, 0x04},
        utf16Descriptor("KV7946"),
        utf16Descriptor("USB Flash Disk"),
        utf16Descriptor("794600000001"),
        utf16Descriptor("Flash Disk Configuration"),
        utf16Descriptor("Mass Storage"),
        utf16Descriptor("Security Flash Disk"),
        utf16Descriptor(name),
    };
    std::size_t p = kChainStart;
    for (const auto& d : chain) {
        if (p + d.size() > kChainEnd - 1) break;
        std::copy(d.begin(), d.end(), page.begin() + static_cast<std::ptrdiff_t>(p));
        p += d.size();
    }
    page[kBootFlagOffset] = 1;
    setDivisionPoint(page, static_cast<uint16_t>(division));
    for (uint32_t u = 0; u < geometry.units; ++u) {
        uint16_t entry = static_cast<uint16_t>(geometry.logicalPerUnit() + 1);
        page[kUnitTableOffset + 2 * u] = static_cast<uint8_t>(entry >> 8);
        page[kUnitTableOffset + 2 * u + 1] = static_cast<uint8_t>(entry & 0xFF);
    }
    return page;
}

std::optional<std::vector<uint8_t>> chainString(const PageData& page, unsigned index) {
    std::vector<std::size_t> offsets = chainOffsets(page);
    if (index >= offsets.size()) return std::nullopt;
    std::size_t p = offsets[index];
    return std::vector<uint8_t>(page.begin() + static_cast<std::ptrdiff_t>(p),
                                page.begin() + static_cast<std::ptrdiff_t>(p + page[p]));
}

bool replaceChainString7(PageData& page, const std::string& utf8Name) {
    std::vector<std::size_t> offsets = chainOffsets(page);
    if (offsets.size() <= kNameStringIndex) return false;
    std::vector<uint8_t> chain;
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        if (i == kNameStringIndex) {
            std::vector<uint8_t> d = utf16Descriptor(utf8Name);
            chain.insert(chain.end(), d.begin(), d.end());
        } else {
            std::size_t p = offsets[i];
            chain.insert(chain.end(), page.begin() + static_cast<std::ptrdiff_t>(p),
                         page.begin() + static_cast<std::ptrdiff_t>(p + page[p]));
        }
    }
    if (kChainStart + chain.size() > kChainEnd) return false;
    std::fill(page.begin() + kChainStart, page.begin() + kChainEnd, 0);
    std::copy(chain.begin(), chain.end(), page.begin() + kChainStart);
    return true;
}

uint16_t divisionPoint(const PageData& page) {
    return static_cast<uint16_t>((page[kDivisionOffset] << 8) | page[kDivisionOffset + 1]);
}

void setDivisionPoint(PageData& page, uint16_t blocks) {
    page[kDivisionOffset] = static_cast<uint8_t>(blocks >> 8);
    page[kDivisionOffset + 1] = static_cast<uint8_t>(blocks & 0xFF);
}

uint8_t bootLayoutFlag(const PageData& page) {
    return page[kBootFlagOffset];
}

std::array<uint16_t, 8> unitTable(const PageData& page) {
    std::array<uint16_t, 8> table{};
    for (std::size_t i = 0; i < table.size(); ++i)
        table[i] = static_cast<uint16_t>((page[kUnitTableOffset + 2 * i] << 8) |
                                         page[kUnitTableOffset + 2 * i + 1]);
    return table;
}

} // namespace emu
