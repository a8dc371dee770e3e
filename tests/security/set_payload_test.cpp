#include "app/security/set_payload.h"

#include <gtest/gtest.h>

namespace {

using kv::BuildSetPayload;
using Bytes = std::vector<uint8_t>;

TEST(BuildSetPayload, LaysOutOldAndNewWithTheirLengths) {
    const struct {
        const char* what;
        std::string oldPassword;
        std::string newPassword;
        Bytes expected;
    } cases[] = {
        {"set", "", "abc", {0x00, 0x03, 'a', 'b', 'c'}},
        {"set empty", "", "", {0x00, 0x00}},
        {"change", "abc", "wxyz", {0x03, 'a', 'b', 'c', 0x04, 'w', 'x', 'y', 'z'}},
        {"clear", "abc", "", {0x03, 'a', 'b', 'c', 0x00}},
        {"code page bytes", "\xE9", "\x80", {0x01, 0xE9, 0x01, 0x80}},
        {"eight each",
         "12345678",
         "ABCDEFGH",
         {8, '1', '2', '3', '4', '5', '6', '7', '8', 8, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'}},
    };
    for (const auto& c : cases) {
        const auto payload = BuildSetPayload(c.oldPassword, c.newPassword);
        ASSERT_TRUE(payload) << c.what;
        EXPECT_EQ(*payload, c.expected) << c.what;
        EXPECT_EQ(payload->size(), c.oldPassword.size() + c.newPassword.size() + 2) << c.what;
    }
}

TEST(BuildSetPayload, RefusesWhatALengthByteOrTheDataAreaCannotHold) {
    EXPECT_FALSE(BuildSetPayload(std::string(256, 'a'), ""));
    EXPECT_FALSE(BuildSetPayload("", std::string(256, 'a')));
    const auto longest = BuildSetPayload(std::string(255, 'a'), std::string(255, 'b'));
    ASSERT_TRUE(longest);
    EXPECT_EQ(longest->size(), 512u);
    EXPECT_EQ((*longest)[256], 255);
}

} // namespace
