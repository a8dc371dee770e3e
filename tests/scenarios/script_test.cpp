#include "tools/kv7946-sim/scenario/script.h"

#include <gtest/gtest.h>

using namespace scenario;

namespace {

Script parseOk(const std::string& text) {
    Script script;
    ParseError error;
    EXPECT_TRUE(parseScript(text, script, error)) << "line " << error.line << ": " << error.message;
    return script;
}

} // namespace

TEST(ScriptParse, ReadsEveryVerbOfTheLanguage) {
    Script s = parseOk(R"(# a comment line
machine 2000
device 1 zones=4 units=1 name="USB DISK" password="abc" write-protect image=img/1.kv
device 2 name="Two ""quoted"" words"
unplug 2
plug 2
fault 1 CMD_GET_PASSWORD_ERROR stall times=1
start KV7946AP.exe   # trailing comment
wait 2s
wait 150ms
type TMainForm.edtPwd "a b#c"
key TMainForm.edtPwd Enter
click TMainForm.btnOk
select TMainForm.cboxDeviceList "USB DISK"
check TMainForm.rbtnAutoPopUp on
close TMainForm
tray rightclick
menu ShowSECURITY1
answer Cancel
save-as C:\pwd.txt
save-cancel
expect message WARNING "Password Incorrect!!"
expect no-message
expect hidden TMainForm.btnMore
expect visible TMainForm
expect items TMainForm.cboxDeviceList
expect items TMainForm.cboxDeviceList "A" "B"
expect registry "HKEY_LOCAL_MACHINE\Software\KV7946\V1.0" "Pop" 1
expect registry "HKEY_LOCAL_MACHINE\Software\KV7946\V1.0" "Pop" absent
expect ended KV7946AP.exe
trace 1 out/t.pcap
export 1 security out/sec.img
registry set "HKLM\Software\KV7946\V1.0" "Pop" 1
registry delete "HKLM\Software\KV7946"
)");
    EXPECT_EQ(s.machine, "2000");
    ASSERT_EQ(s.steps.size(), 32u);

    const Step& dev = s.steps[0];
    EXPECT_EQ(dev.line, 3);
    EXPECT_EQ(dev.device, 1);
    EXPECT_EQ(dev.spec.name, "USB DISK");
    EXPECT_EQ(dev.spec.password, "abc");
    EXPECT_TRUE(dev.spec.writeProtect);
    EXPECT_EQ(dev.spec.image, "img/1.kv");
    EXPECT_EQ(s.steps[1].spec.name, "Two \"quoted\" words");
    EXPECT_FALSE(s.steps[1].spec.password.has_value());

    const Step& fault = s.steps[4];
    EXPECT_EQ(fault.fault.request, 0xF6);
    EXPECT_EQ(fault.fault.kind, "stall");
    EXPECT_EQ(fault.fault.times, 1);

    EXPECT_EQ(s.steps[6].duration, std::chrono::seconds(2));
    EXPECT_EQ(s.steps[7].duration, std::chrono::milliseconds(150));
    EXPECT_EQ(s.steps[8].strings.at(0), "a b#c");
    EXPECT_EQ(s.steps[8].target.form, "TMainForm");
    EXPECT_EQ(s.steps[8].target.component, "edtPwd");
    EXPECT_EQ(s.steps[17].path, "C:\\pwd.txt");

    const Step& msg = s.steps[19];
    EXPECT_EQ(msg.expect, ExpectKind::Message);
    EXPECT_EQ(msg.word, "WARNING");
    EXPECT_EQ(msg.strings.at(0), "Password Incorrect!!");
    EXPECT_TRUE(s.steps[22].target.component.empty());
    EXPECT_TRUE(s.steps[23].strings.empty());
    EXPECT_EQ(s.steps[24].strings, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(s.steps[25].path, "HKEY_LOCAL_MACHINE\\Software\\KV7946\\V1.0");
    EXPECT_EQ(s.steps[25].strings.at(0), "Pop");
    EXPECT_EQ(s.steps[25].number, 1u);
    EXPECT_FALSE(s.steps[26].number.has_value());
    EXPECT_EQ(s.steps[29].word, "security");
    EXPECT_EQ(s.steps[30].word, "set");
    EXPECT_EQ(s.steps[30].number, 1u);
    EXPECT_EQ(s.steps[30].strings.at(0), "Pop");
    EXPECT_EQ(s.steps[31].word, "delete");
    EXPECT_TRUE(s.steps[31].strings.empty());
}

TEST(ScriptParse, DefaultsToXpWithADefaultDevice) {
    Script s = parseOk("device 1\n");
    EXPECT_EQ(s.machine, "xp");
    EXPECT_EQ(s.steps.at(0).spec.zones, 4);
    EXPECT_EQ(s.steps.at(0).spec.units, 1);
    EXPECT_EQ(s.steps.at(0).spec.name, "USB DISK");
}

TEST(ScriptParse, RefusesBadLinesWithTheirLineNumber) {
    struct Case {
        const char* text;
        int line;
        const char* fragment;
    };
    const Case cases[] = {
        {"start KV7946AP.exe\nfrobnicate x\n", 2, "unknown verb 'frobnicate'"},
        {"\n\nexpect sparkly TMainForm\n", 3, "unknown expectation"},
        {"start KV7946AP.exe\nmachine xp\n", 2, "before every other step"},
        {"machine nt4\n", 1, "machine must be"},
        {"type TMainForm.edtPwd abc\n", 1, "quoted string"},
        {"type TMainForm \"abc\"\n", 1, "FORM.COMPONENT"},
        {"click TMainForm.btn-Ok\n", 1, "FORM.COMPONENT"},
        {"key TMainForm.edtPwd Escape\n", 1, "key must be"},
        {"wait 2\n", 1, "bad duration"},
        {"wait soon\n", 1, "bad duration"},
        {"device 0\n", 1, "bad device number"},
        {"device 1 colour=red\n", 1, "unknown device option"},
        {"device 1 password=\"123456789\"\n", 1, "at most 8"},
        {"type TMainForm.edtPwd \"abc\n", 1, "unterminated string"},
        {"expect message WARNING \"a\"b\n", 1, "after a closing quote"},
        {"expect registry HKLM \"Pop\" 1\n", 1, "registry takes"},
        {"expect registry \"K\" \"Pop\" lots\n", 1, "bad registry value"},
        {"fault 1 CMD_FLY stall\n", 1, "unknown request"},
        {"fault 1 CMD_GET_STATUS melt\n", 1, "fault kind"},
        {"fault 1 0xFE stall times=0\n", 1, "times=K"},
        {"close TMainForm.btnOk\n", 1, "close takes a form"},
        {"click\n", 1, "takes 1 argument"},
        {"\"start\" KV7946AP.exe\n", 1, "unknown verb"},
        {"registry set \"K\" \"Pop\"\n", 1, "registry set"},
        {"registry clear \"K\"\n", 1, "registry set"},
        {"expect stay-on-top TMainForm.btnOk\n", 1, "belongs to a form"},
    };
    for (const Case& c : cases) {
        Script script;
        ParseError error;
        EXPECT_FALSE(parseScript(c.text, script, error)) << c.text;
        EXPECT_EQ(error.line, c.line) << c.text;
        EXPECT_NE(error.message.find(c.fragment), std::string::npos)
            << c.text << " -> " << error.message;
    }
}

TEST(ScriptParse, NamesRequestsByCommandOrNumber) {
    EXPECT_EQ(requestByName("CMD_GET_STATUS"), 0xFE);
    EXPECT_EQ(requestByName("0xF6"), 0xF6);
    EXPECT_EQ(requestByName("GET_DEVICE_NAME"), 0x107);
    EXPECT_FALSE(requestByName("0x1FF").has_value());
    EXPECT_FALSE(requestByName("254").has_value());
}
