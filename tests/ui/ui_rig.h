// What the window tests share: a program folder with short waits, the
// simulated chip as a child process, and the windowed program's document and
// main window over them, with message boxes answered by the test.
#pragma once

#include <QMessageBox>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sim_process.h"
#include "test_folder.h"
#include "ui/main_frame.h"

namespace ostrand::test {

// Intel HEX of `size` bytes from address 0 (a pattern that is never 0xFF).
inline std::string hexObject(uint32_t size) {
    std::string out;
    char line[64];
    for (uint32_t a = 0; a < size; a += 16) {
        std::snprintf(line, sizeof line, ":10%04X00", a & 0xFFFF);
        out += line;
        unsigned sum = 0x10 + ((a >> 8) & 0xFF) + (a & 0xFF);
        for (uint32_t i = 0; i < 16; ++i) {
            const unsigned b = (a + i) * 7 % 251;
            sum += b;
            std::snprintf(line, sizeof line, "%02X", b);
            out += line;
        }
        std::snprintf(line, sizeof line, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
        out += line;
    }
    return out + ":00000001FF\n";
}

inline std::string setupText(const std::string& device, const std::string& object,
                             const std::string& port, const std::string& rate,
                             const std::string& steps = "0") {
    return "[Ostrand]\nDevice=" + device + "\nOpenFile=" + object + "\nCOMPort=" + port +
           "\nDataRate=" + rate + "\nAllErase=" + steps + "\nBlankCheck=" + steps +
           "\nProgramming=" + steps + "\nVerify=" + steps + "\nFileCompare=" + steps + "\n";
}

// The document and the window as the program builds them.
struct UiRig {
    TestFolder folder;
    Session session;
    ui::QtOperator op{session};
    std::unique_ptr<DocumentCore> core;
    std::unique_ptr<ui::COstrandDoc> doc;
    std::unique_ptr<ui::CMainFrame> frame;
    std::vector<int> answers;  // buttons for the next boxes; then OK / Yes

    UiRig() {
        writeFastProgramFolder(folder.path());
        op.runBox = [this](QMessageBox& box) {
            if (!answers.empty()) {
                const int a = answers.front();
                answers.erase(answers.begin());
                return a;
            }
            return box.standardButtons() & QMessageBox::Yes ? int(QMessageBox::Yes)
                                                            : int(QMessageBox::Ok);
        };
    }
    ~UiRig() {
        frame.reset();
        doc.reset();
        core.reset();
    }
    // Start-up with the folder's Ostrand.ini, then the window.
    int32_t start() {
        core = std::make_unique<DocumentCore>(session, op, folder.path());
        EngineTimeouts t = core->engine.timeouts();
        t.echo = 300;
        core->engine.setTimeouts(t);
        doc = std::make_unique<ui::COstrandDoc>(*core, op);
        frame = std::make_unique<ui::CMainFrame>(*doc);
        doc->openUrl = [](const QUrl&) { return false; };
        const int32_t r = core->startUp("");
        frame->show();
        frame->updateCommandUi();  // what the idle refresh does
        return r;
    }
    std::vector<int32_t> codes() const {
        std::vector<int32_t> out;
        for (const auto& b : op.boxes) out.push_back(b.code);
        return out;
    }
};

}  // namespace ostrand::test
