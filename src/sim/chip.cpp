#include "sim/chip.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "sim/chip_tables.h"

namespace ostrand::sim {

SimChip::SimChip(const DeviceDefinition& device, ChipLine& line, FlashMemory& flash,
                 FaultSet& faults, EventLog* log)
    : dev_(device),
      bt_(device.bootType),
      line_(line),
      flash_(flash),
      faults_(faults),
      log_(log),
      matchByte_(ownRate(device.bootType) ? 0x86 : 0x5A),
      protected_(faults.startsProtected()) {}

void SimChip::run() {
    for (;;) {
        try {
            session();
        } catch (const Restart& r) {
            if (log_) log_->event("reset", r.why);
        } catch (const HostGone&) {
            if (log_) log_->event("reset", "host closed the terminal");
        }
    }
}

void SimChip::session() {
    inWcp_ = false;
    wcpKind_ = -1;
    bt4Open_ = false;
    pushedBack_.reset();
    needY_ = false;
    reg53_ = 100;
    ram_.assign(size_t{dev_.singleBootRamEnd - dev_.singleBootRamStart} + 1, 0xFF);
    match();
    for (;;) {
        try {
            const uint8_t b = in(-1);
            if (inWcp_)
                wcpByte(b);
            else
                bootByte(b);
        } catch (const CommandDropped&) {
            // An injected error code was sent instead; wait for the next command.
        } catch (const FrameCut&) {
            // A WCP drops the command and waits for the next; the boot
            // program starts over.
            if (!inWcp_) throw Restart{"frame cut short"};
            if (log_) log_->event("wcp", "frame cut short");
        }
    }
}

void SimChip::match() {
    matching_ = true;
    for (;;) {
        autoRate_ = true;
        if (in(-1) != matchByte_) continue;
        const StepAction action = faults_.at("match");
        if (action.silent) {
            if (log_) log_->event("fault", "no answer to the matching byte");
            continue;
        }
        // A chip that comes up slowly after each reset (an opening of the
        // port) answers its first matching late; the host's next attempt
        // finds the answer waiting.
        if (const int late = faults_.lateFirstReplyMs(); late > 0) {
            if (log_) log_->event("fault", "late answer to the matching byte");
            line_.pause(late);
        }
        if (bt_ == 4) out({0x61, 0x04, 0x10});
        if (action.noise) out({kNoise[0], kNoise[1], kNoise[2]});
        out({action.code.value_or(matchByte_)});
        break;
    }
    matching_ = false;
    justMatched_ = false;
    repeatedMatch_ = true;
    matchedRate_ = listenRate_;
    needY_ = bt_ == 11;
    if (log_) log_->event("rate", "matched at " + std::to_string(listenRate_));
}

// ---------------------------------------------------------------- bytes

uint8_t SimChip::in(int timeoutMs) {
    if (pushedBack_) {
        const uint8_t b = *pushedBack_;
        pushedBack_.reset();
        return b;
    }
    for (;;) {
        const std::optional<RxByte> r = line_.receive(timeoutMs);
        if (!r) throw FrameCut{};
        if (autoRate_) {
            if ((matching_ || ownRate(bt_)) && matchRate(bt_, r->rate)) {
                autoRate_ = false;
                listenRate_ = r->rate;
                return r->value;
            }
        } else if (r->rate == listenRate_) {
            return r->value;
        }
        // Sent at a rate the UART is not listening at: a line error.
        if (log_)
            log_->event("garbled", hex2(r->value) + " at " + std::to_string(r->rate) +
                                       ", listening at " + std::to_string(listenRate_));
        if (matching_ || inWcp_) continue;
        throw Restart{"line error"};
    }
}

uint32_t SimChip::inBE(int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | in();
    return v;
}

void SimChip::out(std::initializer_list<uint8_t> bytes) {
    line_.send(bytes.begin(), bytes.size());
}

void SimChip::out(const std::vector<uint8_t>& bytes) {
    line_.send(bytes.data(), bytes.size());
}

void SimChip::reply(const std::string& step, uint8_t due) {
    const StepAction action = faults_.at(step);
    if (action.silent) throw Restart{"fault: no answer at " + step};
    if (action.noise) out({kNoise[0], kNoise[1], kNoise[2]});
    if (action.code) {
        if (log_) log_->event("fault", "answer " + hex2(*action.code) + " at " + step);
        out({*action.code});
        throw CommandDropped{};
    }
    out({due});
}

void SimChip::refuse(const std::string& why) {
    if (log_) log_->event("refuse", why);
    // Ignore everything until the line has been quiet for 50 ms.
    while (line_.receive(50)) {
    }
    throw Restart{why};
}

void SimChip::commandError(uint8_t b) {
    out({fixedPasswordType(bt_) ? static_cast<uint8_t>((b & 0xF0) | 0x01) : uint8_t{0x63}});
}

void SimChip::flashChanged() {
    if (flashChanged_) flashChanged_();
}

}  // namespace ostrand::sim
