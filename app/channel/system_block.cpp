// Rewriting the system block and byte-order helpers.
#include "app/channel/device_channel.h"

#include "app/channel/flash_layout.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace kv::DeviceChannel {

bool ResetPasswordPage(HANDLE handle) {
    std::vector<uint8_t> image(kBlockDataSize);
    CommandBlock block;
    for (uint32_t page = 0; page < kPagesPerBlock; ++page) {
        if (!ReadPage(handle, block, kSystemBlock * kPagesPerBlock + page)) return false;
        std::memcpy(image.data() + page * kPageDataSize, block.data, kPageDataSize);
    }
    FillBlankPasswordPage(image.data() + kPasswordPage * kPageDataSize);
    for (uint32_t page = 0; page < kPagesPerBlock; ++page) {
        std::memcpy(block.data, image.data() + page * kPageDataSize, kPageDataSize);
        if (!WritePage(handle, block, kSystemBlock * kPagesPerBlock + page)) return false;
    }
    return true;
}

void ReverseBytes(uint8_t* buffer, std::size_t count) {
    if (buffer != nullptr) std::reverse(buffer, buffer + count);
}

} // namespace kv::DeviceChannel
