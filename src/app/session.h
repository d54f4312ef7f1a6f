// Process-wide words of one running program, owned by the document and passed
// by reference. Every word is atomic: the reconnect worker and the window side
// read and write several of them without a lock.
#pragma once

#include <atomic>
#include <cstdint>

namespace ostrand {

enum ProgrammingModes : int32_t {
    kModeNone = 0,
    kModeWcpDiv = 1,
    kModeWcpAll = 2,
    kModeSBootPw = 3,
    kModeSBoot = 4,
};

enum ConnectStates : int32_t {
    kDisconnected = 0,
    kConnected = 1,
    kConnecting = 2,
    kDisconnecting = 3,
};

// What a connection's result (1 connected, 2 the reconnect worker goes on
// trying, anything else failed) makes of ConnectStatus.
constexpr int32_t connectStatusFor(int32_t connectResult) {
    return connectResult == 1 ? kConnected : connectResult == 2 ? kConnecting : kDisconnected;
}

// LinkPhase values: who the host is talking to.
constexpr uint32_t kLinkBootProgram = 0x10;
constexpr uint32_t kLinkWcp = 0x20;

struct Session {
    std::atomic<int32_t> ProgrammingMode{kModeNone};
    std::atomic<int32_t> ConnectStatus{kDisconnected};
    std::atomic<int32_t> AbortRequested{0};
    std::atomic<int32_t> ChipRewritten{0};
    std::atomic<int32_t> DeviceIdentified{0};
    std::atomic<int32_t> ChipErased{0};
    std::atomic<int32_t> ReportIllegalWrite{0};
    std::atomic<int32_t> ProtectState{0};
    std::atomic<int32_t> eraseRefused{0};
    std::atomic<uint32_t> ComDelayFlags{0};
    std::atomic<uint32_t> LinkPhase{0};
    std::atomic<int32_t> LastMessageCode{0};
    std::atomic<int32_t> ExitStatus{3};
    std::atomic<int32_t> MultiInstance{0};
    std::atomic<int32_t> CommandLineRun{0};
    std::atomic<int32_t> ShowAutoResults{-1};
    std::atomic<int32_t> ObjectDataByteCount{0};
    std::atomic<int32_t> AutoRunPhase{0};
    std::atomic<int32_t> StartupErasePending{0};
    // Set when a single-boot session's flag word must be cleared (mode change
    // from a WCP mode into 3 or 4); the engine consumes it.
    std::atomic<int32_t> SingleBootFlagsReset{0};
};

}  // namespace ostrand
