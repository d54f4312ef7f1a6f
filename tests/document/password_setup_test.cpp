// The Setup Password and Set Up Option windows' OK as the document decides
// it: the checks in their order with the field each failure belongs to,
// the object file's own password or none, what is stored where.
#include <gtest/gtest.h>

#include "cli_run.h"
#include "document/document.h"
#include "objfile/hex_records.h"
#include "recording_operator.h"
#include "sim_rig.h"
#include "test_folder.h"

using namespace ostrand;

namespace {

// KM16F48 (password area 0xBF00-0xBF3F) with no chip: "pw.h16" keeps a
// count byte of 8 at 0xBF00 and A1..A8 after it, "plain.h16" no password.
class PasswordSetup : public ::testing::Test {
  protected:
    void SetUp() override {
        test::writeFastDefinition(folder.path());
        const std::string low = record(0, {1, 2, 3, 4, 5, 6, 7, 8});
        folder.write("pw.h16",
                     low + record(0xBF00, {8, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8}) +
                         ":00000001FF\n");
        folder.write("plain.h16", low + ":00000001FF\n");
        folder.write("Ostrand.ini", "[Ostrand]\nDevice=" + device +
                                        "\nCOMPort=/nonexistent/tty\nDataRate=38400\nOpenFile=" +
                                        at("pw.h16") + "\n");
        core = std::make_unique<DocumentCore>(session, op, folder.path());
        core->startUp(StartupRequest{});
        op.messages.clear();
    }
    std::string at(const std::string& name) const { return (folder.path() / name).string(); }

    TestFolder folder;
    Session session;
    RecordingOperator op{session};
    std::string device = "KM16F48";
    std::unique_ptr<DocumentCore> core;
};

PasswordEntry typedDevice(const std::string& text, bool hex, const std::string& num,
                          const std::string& cmp) {
    PasswordEntry e;
    e.deviceGroup = true;
    e.deviceSource = 2;
    e.hex = hex;
    e.devicePassword = text;
    e.deviceNumAdd = num;
    e.deviceCmpAdd = cmp;
    return e;
}

PasswordEntry objectPassword(bool automatic, const std::string& file, const std::string& num = {},
                             const std::string& cmp = {}) {
    PasswordEntry e = typedDevice("abc", false, "0xBF00", "0xBF01");
    e.objectGroup = true;
    e.objectAuto = automatic;
    e.objectFile = file;
    e.objectNumAdd = num;
    e.objectCmpAdd = cmp;
    return e;
}

}  // namespace

TEST_F(PasswordSetup, ChecksInOrderWithTheirField) {
    struct Case {
        const char* what;
        PasswordEntry entry;
        int32_t code, hint;
        PasswordField field;
    };
    const std::string pw = at("pw.h16");
    const Case cases[] = {
        {"three in a row", typedDevice("abcaaad", false, "0xBF00", "0xBF01"), 10134, 12110,
         PasswordField::DevicePassword},
        // The text first: a bad text hides bad addresses.
        {"not hex", typedDevice("A1G2", true, "", ""), 10129, 0, PasswordField::DevicePassword},
        {"no count address", typedDevice("abc", false, "", "0xBF01"), 10131, 0,
         PasswordField::DeviceNumAdd},
        {"start outside", typedDevice("abc", false, "0xBF00", "0x10"), 10121, 12110,
         PasswordField::DeviceCmpAdd},
        {"object count unprefixed", objectPassword(false, pw, "BF00", "0xBF01"), 10130, 0,
         PasswordField::ObjectNumAdd},
        {"no object file", objectPassword(true, ""), 10135, 12146, PasswordField::ObjectSource},
        {"count not in the file", objectPassword(false, pw, "0xBF20", "0xBF01"), 10125, 12111,
         PasswordField::ObjectNumAdd},
        {"start not in the file", objectPassword(false, pw, "0xBF00", "0xBF20"), 10126, 12111,
         PasswordField::ObjectCmpAdd},
    };
    core->settings.inForce.openFile.clear();  // the entry names the object file
    const std::string before = folder.read("Ostrand.ini");
    for (const Case& c : cases) {
        op.messages.clear();
        PasswordField field = PasswordField::None;
        const Outcome o = core->setPasswords(c.entry, &field);
        EXPECT_EQ(o.status, 0) << c.what;
        EXPECT_EQ(op.codes(), std::vector<int32_t>{c.code}) << c.what;
        if (!op.messages.empty()) {
            EXPECT_EQ(op.messages[0].hint, c.hint) << c.what;
        }
        EXPECT_EQ(field, c.field) << c.what;
    }
    EXPECT_EQ(folder.read("Ostrand.ini"), before) << "a refused entry wrote the setup";
}

TEST_F(PasswordSetup, ObjectFilePasswordOrNone) {
    struct Case {
        const char* what;
        PasswordEntry entry;
        std::string password;  // the object password kept
        const char* numAdd;    // PassObjNumAdd written
    };
    const Case cases[] = {
        {"auto finds it", objectPassword(true, at("pw.h16")), "08A1A2A3A4A5A6A7", "0x00BF00"},
        // Nothing found is no password, not a refusal.
        {"auto, none in the file", objectPassword(true, at("plain.h16")), "", ""},
        {"manual, compared", objectPassword(false, at("pw.h16"), "0xBF00", "0xBF01"),
         "A1A2A3A4A5A6A7A8", "0x00BF00"},
    };
    for (const Case& c : cases) {
        op.messages.clear();
        core->passwords.objectPassword = "stale";
        EXPECT_EQ(core->setPasswords(c.entry).status, 1) << c.what;
        EXPECT_TRUE(op.codes().empty()) << c.what;
        EXPECT_EQ(core->passwords.objectPassword, c.password) << c.what;
        const std::string ini = folder.read("Ostrand.ini");
        EXPECT_NE(ini.find(std::string("PassObjNumAdd=") + c.numAdd + "\n"), std::string::npos)
            << c.what << "\n"
            << ini;
        EXPECT_NE(ini.find("PassObjBlank=2\n"), std::string::npos) << c.what;
    }
}

TEST_F(PasswordSetup, DeviceSourcesAndThePagesCopy) {
    // The password log's choice keeps what the lookup found, even nothing.
    PasswordEntry logged = typedDevice("", true, "", "");
    logged.deviceSource = 3;
    SetupValues page = core->settings.inForce;
    logged.pageValues = &page;
    ASSERT_EQ(core->setPasswords(logged).status, 1) << op.codes().size();
    EXPECT_EQ(page.passDevBlank, 3);
    EXPECT_EQ(core->settings.inForce.passDevBlank, 3);
    EXPECT_EQ(core->passwords.devicePasswordOption, 3);

    // Device is Blank: FF bytes at the area's start, whatever was typed.
    PasswordEntry blank = typedDevice("ignored", false, "", "");
    blank.deviceSource = 1;
    ASSERT_EQ(core->setPasswords(blank).status, 1);
    EXPECT_EQ(core->passwords.devicePassword, std::string(510, 'F'));
    EXPECT_EQ(core->passwords.deviceNumAdd, 0xBF00u);

    // A ':' in a device password: only the colon-free types are told.
    for (const auto& [name, notice] : {std::pair{"KM16F48", false}, std::pair{"KM16F96", true}}) {
        op.messages.clear();
        PasswordEntry colon = typedDevice("ab:cd12", false, "0x80", "0x81");
        colon.device = core->devices.find(name);
        if (!notice) {
            colon.deviceNumAdd = "0xBF00";
            colon.deviceCmpAdd = "0xBF01";
        }
        ASSERT_EQ(core->setPasswords(colon).status, 1) << name;
        EXPECT_EQ(op.codes(), notice ? std::vector<int32_t>{12149} : std::vector<int32_t>{})
            << name;
    }
}

TEST_F(PasswordSetup, OptionsByBootType) {
    struct Case {
        const char* device;
        int32_t readProtect, readProtectOther;
    };
    // BootType 11 keeps its own Protect choice; the others share one.
    for (const Case& c : {Case{"KMS11G124", 1, 0}, Case{"KMV5A60P", 0, 1}}) {
        core->settings.inForce.readProtect = core->settings.inForce.readProtectOther = 0;
        OptionEntry e;
        e.protect = true;
        e.eraseWithoutPassword = true;
        e.device = core->devices.find(c.device);
        SetupValues page{};
        e.pageValues = &page;
        ASSERT_EQ(core->setOptions(e).status, 1) << c.device;
        for (const SetupValues* v : {&page, &core->settings.inForce}) {
            EXPECT_EQ(v->readProtect, c.readProtect) << c.device;
            EXPECT_EQ(v->readProtectOther, c.readProtectOther) << c.device;
            EXPECT_EQ(v->eraseWithoutPassword, 1);
        }
        EXPECT_EQ(core->passwords.eraseWithoutPassword, 1);
    }
    EXPECT_NE(folder.read("Ostrand.ini").find("EraseWithoutPassword=1\n"), std::string::npos);
}
