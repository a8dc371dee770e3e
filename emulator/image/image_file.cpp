#include "emulator/image/image_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace emu {

namespace {

constexpr char kMagic[8] = {'K', 'V', '7', '9', '4', '6', 'I', 'M'};
constexpr uint32_t kVersion = 1;
constexpr std::size_t kHeaderBytes = 32;
constexpr std::size_t kRecordBytes = 4 + kPageBytes;

void put(std::vector<uint8_t>& out, uint32_t v, unsigned bytes) {
    for (unsigned i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t get(const uint8_t* p, unsigned bytes) {
    uint32_t v = 0;
    for (unsigned i = 0; i < bytes; ++i)
        v |= static_cast<uint32_t>(p[i]) << (8 * i);
    return v;
}

uint32_t checkSum(const uint8_t* p, std::size_t n) {
    uint32_t a = 1, b = 0; // Adler-32
    for (std::size_t i = 0; i < n; ++i) {
        a = (a + p[i]) % 65521;
        b = (b + a) % 65521;
    }
    return b << 16 | a;
}

bool fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

} // namespace

bool saveImage(const Controller& controller, const std::string& path, std::string* error) {
    const auto& pages = controller.flash().writtenPages();
    std::vector<uint8_t> records;
    records.reserve(pages.size() * kRecordBytes);
    for (const auto& [page, bytes] : pages) {
        put(records, page, 4);
        records.insert(records.end(), bytes.begin(), bytes.end());
    }
    std::vector<uint8_t> header(kMagic, kMagic + 8);
    put(header, kVersion, 4);
    header.push_back(static_cast<uint8_t>(controller.geometry().units));
    header.push_back(static_cast<uint8_t>(controller.geometry().zones));
    put(header, (controller.writeProtected() ? 1u : 0u) | (controller.packetDevice() ? 2u : 0u), 2);
    put(header, static_cast<uint32_t>(pages.size()), 4);
    put(header, checkSum(records.data(), records.size()), 4);
    header.resize(kHeaderBytes, 0);

    std::string temp = path + ".tmp";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return fail(error, "cannot create " + temp + ": " + std::strerror(errno));
    bool ok = std::fwrite(header.data(), 1, header.size(), f) == header.size() &&
              std::fwrite(records.data(), 1, records.size(), f) == records.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) {
        std::remove(temp.c_str());
        return fail(error, "cannot write " + temp);
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return fail(error, "cannot replace " + path + ": " + std::strerror(errno));
    }
    return true;
}

std::unique_ptr<Controller> loadImage(const std::string& path, std::string* error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        fail(error, path + ": " + std::strerror(errno));
        return nullptr;
    }
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);

    auto bad = [&](const std::string& why) -> std::unique_ptr<Controller> {
        fail(error, path + ": not a device image (" + why + ")");
        return nullptr;
    };
    if (bytes.size() < kHeaderBytes || std::memcmp(bytes.data(), kMagic, 8) != 0)
        return bad("no image header");
    if (get(&bytes[8], 4) != kVersion) return bad("unknown format version");
    uint32_t units = bytes[12], zones = bytes[13];
    if (auto why = Geometry::check(units, zones)) return bad("bad geometry: " + *why);
    uint32_t flags = get(&bytes[14], 2);
    uint32_t count = get(&bytes[16], 4);
    if (bytes.size() != kHeaderBytes + static_cast<uint64_t>(count) * kRecordBytes)
        return bad("wrong length");
    if (checkSum(bytes.data() + kHeaderBytes, bytes.size() - kHeaderBytes) != get(&bytes[20], 4))
        return bad("check sum mismatch");

    NandFlash flash(Geometry{units, zones});
    int64_t previous = -1;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* rec = bytes.data() + kHeaderBytes + i * kRecordBytes;
        uint32_t page = get(rec, 4);
        if (!flash.validPage(page)) return bad("page number beyond the flash");
        if (static_cast<int64_t>(page) <= previous) return bad("pages out of order");
        previous = page;
        PageBytes content;
        std::memcpy(content.data(), rec + 4, kPageBytes);
        flash.store(page, content);
    }
    auto controller = std::make_unique<Controller>(std::move(flash));
    controller->setWriteProtect((flags & 1) != 0);
    controller->setPacketDevice((flags & 2) != 0);
    return controller;
}

} // namespace emu
