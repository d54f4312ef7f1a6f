// One port of a gang run: its own session, operator and document (device
// database, settings, passwords, image, engine), so that nothing one port
// does reaches another. Each runs on a thread of its own.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/operator.h"
#include "app/session.h"
#include "document/auto_program.h"
#include "document/document.h"
#include "document/run_record.h"
#include "engine_context.h"
#include "gang_console.h"

namespace ostrand::cli {

// What every port of the gang shares.
struct GangSettings {
    std::filesystem::path home;  // the program folder
    std::string object;          // OBJECT, absolute; empty: each setup's own
    CommonOptions overrides;     // --device, --rate and the passwords (no port)
    AutoOptions chosen{};
    bool anyChosen = false;
    // Object files load one port at a time: an absolute object is converted
    // in the shared work folder.
    std::mutex* loading = nullptr;
    std::filesystem::path record;  // --record FILE, absolute; empty: none
};

// One port's share: a setup file (empty: the default one) and a port that
// replaces the setup's (empty: the setup's COMPort).
struct PortJob {
    std::string setup;
    std::string port;
};

// The messages, questions and progress of one port, through the console.
class GangOperator : public Operator {
  public:
    GangOperator(Session& session, GangConsole& console, size_t index)
        : Operator(session), console_(console), index_(index) {}
    bool ask(int32_t code) override { return console_.ask(index_, code, false); }
    bool askOkCancel(int32_t code) override { return console_.ask(index_, code, true); }
    bool notice(int32_t code) override {
        showMessage(code);
        return false;
    }
    // Ctrl-C stops every port; AbortRequested is this port's own.
    bool progressAborted() override { return session().AbortRequested != 0 || cancelRequested(); }
    std::vector<ShownMessage> shown;
    // The advice printed after a message (empty: none).
    std::function<std::string(const ShownMessage&)> advice;

  protected:
    void present(const ShownMessage& message) override;
    void onProgress(const ProgressEvent& event) override { console_.progress(index_, event); }

  private:
    GangConsole& console_;
    size_t index_;
};

// The result of one pass on one port.
struct PortOutcome {
    bool passed = false;
    bool nothingRan = false;
    bool badUsage = false;  // a password option the device cannot take
    std::string device;
    std::string failedStep;  // empty when passed
    bool haveFailure = false;
    ShownMessage failure;  // the message that tells why
    AutoRunRecord record;
    double seconds = 0;
    std::vector<ShownMessage> messages;  // every message of this pass
};

class PortRun {
  public:
    PortRun(size_t index, const GangSettings& gang, PortJob job, GangConsole& console);
    ~PortRun();
    PortRun(const PortRun&) = delete;
    PortRun& operator=(const PortRun&) = delete;

    // first: start-up, connection, one pass; later: connect again (a new
    // chip), one pass. Fills outcome.
    void run(bool first);
    // Disconnects; the port is free again.
    void close();
    // Cuts the step under way short (a second Ctrl-C).
    void abort() { session_.AbortRequested = 1; }
    // A run record of this port could not be appended.
    bool recordLost() const { return recorder_ && recorder_->failed(); }

    const std::string& label() const { return console_.portName(index_); }
    PortOutcome outcome;

  private:
    void start();
    void again();
    void pass();
    void fail(const char* step, size_t firstMessage);

    size_t index_;
    const GangSettings& gang_;
    PortJob job_;
    CommonOptions options_;
    GangConsole& console_;
    Session session_;
    GangOperator op_;
    std::unique_ptr<DocumentCore> doc_;
    std::unique_ptr<RunRecorder> recorder_;  // --record
    bool ready_ = false;                     // start-up loaded setup and object
};

}  // namespace ostrand::cli
