// The document core: what the program owns for its whole life (an engine
// session: device database, settings, passwords, memory image, engine), the
// one order in which it comes up and goes down, and every operator command
// as one function. The windowed program and ostrand-cli both call these
// functions, each through its own Operator, and nothing below them.
//
// Start-up and shut-down:
//   startUp(StartupRequest)  the program folder, setup, object and connection
//   shutDown()               worker stopped, port closed, lock released
//   commandLineRunDue(), runCommandLine()
//                            the unattended run the window's command line asks for
//   linkCameUp()             the reconnect worker reached the chip
//   linkTimedOut()           the reconnect worker's time ran out
// Commands (each returns an Outcome: its status and the message that told it):
//   preamble(id)             P, R and the table's rules of command `id`; a
//                            dialog runs it before it opens, then calls its
//                            command with Preamble::Done
//   openSetup(path)          File > Open... (the file chosen)
//   openObject(path)         File > Open Object File...
//   saveFlash(path, range)   File > Save As...
//   reconnect()              File > ReConnect... (after the operator's Yes)
//   chipErase()              Edit > Chip Erase...
//   blockErase(start, size)  Edit > Block Erase...
//   readMemory(start, out, n)    Edit > Memory Dump..., Data Read...
//   writeMemory(addr, bytes, n)  Edit > Data Write..., the memory editor
//   verify(sum)              Edit > Verify...
//   compare(difference)      Edit > Compare...; compareStep() its dialog's runs
//   dumpRead(start, out, n)  the memory dump's pages
//   program()                Edit > Program
//   blankCheck()             Edit > Blank Check
//   protect()                Edit > Protect
//   autoProgramming(boxes)   Command > Auto Programming..., its Start
//   unattendedAuto(batch)    the toolbar's unattended run, ostrand-cli auto
//   applySetup()             the Setup dialog's OK: the setup in force applied
//   takeUpSetupFile(path)    the Setup dialog's new setup file
//   applyDevice(name)        the Setup dialog's Device Apply
//   setPasswords(entry)      the Setup Password dialog's OK
//   lookUpDevicePassword(found)  the Setup Password dialog's Auto (password log)
//   setOptions(entry)        the Set Up Option dialog's OK
//   optionCommand(run)       Setup > Option... around the Set Up Option dialog
//   saveSetupAs(path)        Setup > Save As Setup File...
//   singleBootSwitch()       Ctrl+Shift+Q
//   openManual(open), openWebAddress(open)  Help > Help, the web help
//   fileDialogStart(id), holdLink(), releaseLink(), anyAutoOption()
//                            what the window's file dialogs and toolbar need
//   commandState(), enabled(id)  what the enabling rules see
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/file_io.h"
#include "app/operator.h"
#include "app/session.h"
#include "document/auto_program.h"
#include "document/command_table.h"
#include "document/run_passwords.h"
#include "engine/engine_session.h"

namespace ostrand {

// The object path of the command line: the words after the program name as
// one text, a pair of double quotes around the whole removed. The
// ",MSG_ON"/",MSG_OFF" option stays on it until a setup file is read.
std::string commandLineObjectPath(int argc, const char* const* argv);
// That command line asks for a run without result windows: nobody is there.
bool unattendedCommandLine(const std::string& commandLine);

// What a session comes up with.
struct StartupRequest {
    // The windowed program's command line (an object file, ",MSG_ON"/",MSG_OFF").
    std::string commandLine;
    // A setup file to start with instead of the default one.
    std::filesystem::path setupFile;
    // The run's device, port and rate over the setup's, and its passwords.
    RunOverrides overrides;
    RunPasswords passwords;
    // An object file over the setup's (ostrand-cli's FILE).
    std::string objectFile;
    // ostrand-cli: no setup dialog; the options may stand in for a setup; no
    // erase question at the connection, which waits for the chip and shows
    // its errors.
    bool console = false;
    // console: the command works with the object file, which must load.
    bool needObject = false;
    // false: the caller holds the program's instance lock for several
    // documents at once (a gang of ports in one process).
    bool takeInstanceLock = true;
    // Held while the setup and the object load (gang ports share the work
    // folder of .abs conversions).
    std::mutex* loading = nullptr;
};

enum class StartupStage {
    Ended,         // the program ends now (second instance, definition file, a refused option)
    SetupNeeded,   // no valid setup and object: the setup dialog's turn
    NoPort,        // console: neither the options nor the setup name a port
    NoObject,      // console: the command needs an object file and none is named (10135)
    Connected,     // connected to the chip
    Connecting,    // the reconnect worker keeps trying
    NotConnected,  // the connection failed (message shown)
    LogMissed,     // connected, but the password log did not know the chip (10138, 10139)
};

struct StartupResult {
    StartupStage stage = StartupStage::Ended;
    bool malformed = false;  // a password option was malformed (a usage error)
    // Ended at the program folder's instance lock: why, for the front end to say.
    std::string refusal;
    bool runs() const { return stage != StartupStage::Ended; }
    bool connected() const { return stage == StartupStage::Connected; }
    // It went as far as the chip (and failed there, or is still trying).
    bool reachedChip() const {
        return stage == StartupStage::NotConnected || stage == StartupStage::Connecting ||
               stage == StartupStage::LogMissed;
    }
};

// Commands that a dialog runs in pieces: the preamble once as it opens.
enum class Preamble { Run, Done };

// The Setup Password dialog's fields as the operator left them, and what
// its page knows: the Setup dialog opens it with its own device, object
// file, copy of the setup and setup file path.
struct PasswordEntry {
    bool deviceGroup = false;  // "Device Password" ticked
    int32_t deviceSource = 2;  // 1 "Device is Blank", 2 manual, 3 password log
    bool hex = true;
    // Typed, or what the password log or an object file gave.
    std::string devicePassword;
    std::string deviceNumAdd, deviceCmpAdd;  // as shown ("0x...")
    bool objectGroup = false;                // "Object File Password" ticked
    bool objectAuto = true;                  // "Auto(Search from Object File)"
    std::string objectNumAdd, objectCmpAdd;  // as typed, Manual
    bool passLogSave = false;
    // The page's device; nullptr: the device in force.
    const DeviceDefinition* device = nullptr;
    // The page's object file; empty: the setup's.
    std::string objectFile;
    // The Setup dialog's copy of the setup, which takes the passwords too.
    SetupValues* pageValues = nullptr;
    // Its Setup File page's path (where a multi-instance setup is written).
    std::filesystem::path pagePath;
};

// Which field a Setup Password failure belongs to.
enum class PasswordField {
    None,
    DevicePassword,
    DeviceNumAdd,
    DeviceCmpAdd,
    ObjectSource,  // the object file itself: none named, or unreadable
    ObjectNumAdd,
    ObjectCmpAdd
};

// The Set Up Option dialog's two boxes, and what its page knows (as above).
struct OptionEntry {
    bool protect = false;
    bool eraseWithoutPassword = false;
    const DeviceDefinition* device = nullptr;
    SetupValues* pageValues = nullptr;
    std::filesystem::path pagePath;
};

// Where a file dialog of a command starts: its folder, the name it
// proposes, and the working folder to change to first (empty: none).
struct FileDialogStart {
    std::filesystem::path folder, initial, workingFolder;
};

// Why a start-up found the program folder's instance lock closed to it:
// `failure` is the lock's (EWOULDBLOCK: another process holds it).
std::string instanceRefusal(const std::filesystem::path& folder, const std::filesystem::path& lock,
                            int failure);

class DocumentCore : public EngineSession {
  public:
    DocumentCore(Session& session, Operator& op, std::filesystem::path programFolder);
    ~DocumentCore();
    DocumentCore(const DocumentCore&) = delete;
    DocumentCore& operator=(const DocumentCore&) = delete;

    // Start-up in its fixed order.
    StartupResult startUp(const StartupRequest& request);
    // The windowed program's start-up: 1 the program runs on, 0 it ends now.
    int32_t startUp(const std::string& commandLine);
    // Shut-down: worker stopped, port closed, lock released, held setup file
    // closed. Returns the exit status of the program.
    int32_t shutDown();

    // The command line asked for an unattended run that has not run yet and
    // the chip is connected.
    bool commandLineRunDue() const;
    // Runs it. 1 when the program ends now: the run ran, or it is
    // unattended and cannot run (the chip did not come; its message is shown).
    int32_t runCommandLine();
    // The command line's run has nobody at the window (",MSG_OFF"): nothing
    // may wait for a person.
    bool unattendedRun() const;
    // The reconnect worker's time ran out: true when the window shows its
    // adapter-lost notice; false when nobody is there (the message is shown
    // instead and the program ends).
    bool linkTimedOut();
    // The reconnect worker reached the chip: the steps after connecting.
    Outcome linkCameUp();
    // The operator chose to leave the program rather than erase a protected
    // chip (a console run fails then).
    bool leaving() const { return leaving_; }

    // The rules of the command table over the program's state now.
    CommandState commandState() const;
    bool enabled(int command) const { return commandEnabled(command, commandState()); }

    Outcome preamble(int command);
    Outcome openSetup(const std::filesystem::path& file);
    Outcome openObject(const std::filesystem::path& file);
    Outcome saveFlash(const std::filesystem::path& file,
                      std::optional<AddressRange> range = std::nullopt, Preamble p = Preamble::Run);
    Outcome reconnect();
    Outcome chipErase(Preamble p = Preamble::Run);
    Outcome blockErase(uint32_t start, uint32_t size, Preamble p = Preamble::Run);
    Outcome readMemory(uint32_t start, uint8_t* out, uint32_t count, Preamble p = Preamble::Run);
    Outcome writeMemory(uint32_t address, const uint8_t* bytes, uint32_t count,
                        Preamble p = Preamble::Run);
    // status 0: the SUMs match, 1 they differ, -1 failed.
    Outcome verify(uint16_t& deviceSum, Preamble p = Preamble::Run);
    // status 0: equal, 1 a difference (in `difference`), -1 failed.
    Outcome compare(CompareDifference* difference = nullptr, bool showResult = true,
                    Preamble p = Preamble::Run);
    // One run of the Compare dialog (Start: fromStart), stopping at a
    // difference: status 1 with it, 0 at the end, -1 failed.
    Outcome compareStep(const CompareView& view, bool fromStart, uint32_t& address,
                        uint8_t& fileByte, uint8_t& flashByte);
    // The memory dump's read: no message of its own (the dump shows 11007).
    bool dumpRead(uint32_t start, uint8_t* out, uint32_t count);
    Outcome program(Preamble p = Preamble::Run);
    Outcome blankCheck(Preamble p = Preamble::Run);
    Outcome protect(Preamble p = Preamble::Run);
    // The Auto Programming dialog's Start (the preamble ran as it opened).
    Outcome autoProgramming(const AutoOptions& boxes);
    // The unattended run: batch (the command line's, ostrand-cli's) or the
    // toolbar's with the continue loop. status 1 when it ran.
    Outcome unattendedAuto(bool batch);
    Outcome applySetup();
    Outcome takeUpSetupFile(const std::filesystem::path& file);
    Outcome applyDevice(const std::string& deviceName);
    // The checks of the Setup Password dialog's OK in their order, then the
    // password set, the page's copy and the setup file. `field` takes the
    // field a failure belongs to.
    Outcome setPasswords(const PasswordEntry& entry, PasswordField* field = nullptr);
    // The device password the password log keeps for the chip (by its SUM),
    // for the dialog to show: status 1 found (in `found`). Nothing is stored.
    Outcome lookUpDevicePassword(PasswordLogEntry& found);
    // The Set Up Option dialog's OK: the boxes into the setup, which is written.
    Outcome setOptions(const OptionEntry& entry);
    // Setup > Option: `dialog` is the Set Up Option dialog, run in between.
    Outcome optionCommand(const std::function<void()>& dialog);
    Outcome saveSetupAs(const std::filesystem::path& file);
    Outcome singleBootSwitch();
    // Help > Help: the manual Help.pdf of the program folder, opened by
    // `open` (the desktop's viewer); 10902 when it is missing or not opened.
    Outcome openManual(const std::function<bool(const std::filesystem::path&)>& open);
    // Help > web help: the definition file's web address, opened by `open`;
    // 10901 when not opened. status 0 without an address.
    Outcome openWebAddress(const std::function<bool(const std::string&)>& open);

    // The file dialog of Open, Open Object File, Save As and Save As Setup File.
    FileDialogStart fileDialogStart(int command) const;
    // A setup or file dialog is open: the reconnect worker waits meanwhile.
    void holdLink();
    void releaseLink();
    // Any of the six auto programming options is on (else the toolbar's
    // unattended run opens the dialog).
    bool anyAutoOption() const;

    // At start-up, the setup dialog when no valid default setup exists.
    std::function<void()> openSetupDialog;

    AutoProgrammer autoProgrammer;
    bool connected = false;
    // The memory view's panes redraw after a disconnection (the windowed
    // program clears each once it has redrawn).
    int32_t viewRedraw[3] = {};

  private:
    // The connection's result into ConnectStatus.
    int32_t storeConnectResult(int32_t result);
    void disconnectAll();
    bool passes(const RuleVerdict& verdict);
    bool runPreamble(int command, Preamble p);
    int32_t loadRunObject(const StartupRequest& r, bool& malformed);
    std::filesystem::path setupSavePath() const;
    // The window's auto programming under the setup's RunRecord (if any).
    int32_t withRunRecord(const std::function<int32_t()>& run);

    FileLock instanceLock_;
    bool console_ = false;  // started for ostrand-cli (which has --record)
    bool leaving_ = false;
    bool shutDown_ = false;
};

}  // namespace ostrand
