#include "tests/emulator/host_helpers.h"
#include "tests/emulator/outside_tools.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace emu {
namespace {

using namespace emu::test;
namespace fs = std::filesystem;

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class Traces : public ::testing::Test {
  protected:
    Traces()
        : file(fs::temp_directory_path() /
               ("kv_emu_trace_" + std::to_string(::getpid()) + ".pcap")) {}
    ~Traces() override { fs::remove(file); }
    fs::path file;
};

TEST_F(Traces, ControlAndMassStorageTransfersDecode) {
    Controller c({1, 1}, "Traced");
    c.plugged();
    std::string error;
    ASSERT_TRUE(c.startTrace(file.string(), &error)) << error;
    std::vector<uint8_t> name(255);
    c.control({0x80, usb::kGetDescriptor, 0x0307, 0, 255}, name);
    EXPECT_TRUE(vendorIn(c, cmd::kGetStatus, 0, 0, 1).ok());
    EXPECT_EQ(vendorOut(c, cmd::kVerifyPassword, 0, 0, bytesOf("x")), usb::TransferStatus::Stall);
    EXPECT_EQ(readPage(c, 1).size(), 528u);
    ASSERT_TRUE(configure(c));
    BotResult r = runBot(c, {scsi::kInquiry, 0, 0, 0, 36, 0}, 36, true);
    ASSERT_EQ(r.status, 0);
    r = runBot(c, rw10(scsi::kRead10, 0, 1), 512, true);
    ASSERT_EQ(r.status, 0);
    c.stopTrace();

    if (!haveProgram("tshark"))
        GTEST_SKIP() << "tshark is not installed (scripts/deps installs it)";
    RunResult out = runProgram("tshark -r " + file.string() + " -V");
    ASSERT_EQ(out.status, 0) << out.output;
    EXPECT_EQ(count(out.output, "Malformed"), 0u) << out.output;
    // 2 transfers of the enumeration, 5 control requests, 6 bulk transfers; S and C each.
    EXPECT_EQ(count(out.output, "URB type: URB_SUBMIT"), 13u);
    EXPECT_EQ(count(out.output, "URB type: URB_COMPLETE"), 13u);
    EXPECT_NE(out.output.find("bRequest: 254"), std::string::npos) << out.output; // GET_STATUS
    EXPECT_NE(out.output.find("idVendor"), std::string::npos);
    EXPECT_NE(out.output.find("Signature: 0x43425355"), std::string::npos) << out.output;
    EXPECT_NE(out.output.find("Signature: 0x53425355"), std::string::npos);
    EXPECT_NE(out.output.find("Inquiry"), std::string::npos);
    EXPECT_NE(out.output.find("Read(10)"), std::string::npos);
    EXPECT_NE(out.output.find("Broken pipe (-EPIPE)"), std::string::npos); // the refused verify
}

} // namespace
} // namespace emu
