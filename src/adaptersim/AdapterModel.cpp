#include "AdapterModel.h"

#include <algorithm>

namespace adaptersim {

AdapterModel::AdapterModel() : eeprom_(EepromSize, char(0xff)), reference_(eeprom_) {}

void AdapterModel::SetEeprom(const QByteArray& image) {
    eeprom_ = image.left(EepromSize);
    eeprom_.append(EepromSize - eeprom_.size(), char(0xff));
    reference_ = eeprom_;
}

QByteArray AdapterModel::Block(char family) const {
    const int size = BlockSize(family);
    return eeprom_.mid(EepromSize - (family == 'x' ? EepromSize : size), size);
}

void AdapterModel::Open(double nowMs) {
    pending_.clear();
    state_ = State::AwaitFamily;
    lastReceiveMs_ = nowMs;
}

void AdapterModel::Close(double nowMs) {
    TakeReplies(nowMs);
    pending_.clear();
}

int AdapterModel::DataLimit(int blockSize) const {
    return faults_.stopAfter >= 0 ? std::min(faults_.stopAfter, blockSize) : blockSize;
}

void AdapterModel::StartExchange(std::uint8_t family) {
    pending_.clear();
    family_ = char(family);
    state_ = State::AwaitCommand;
}

void AdapterModel::Receive(std::uint8_t byte, double timeMs) {
    Log({timeMs, Direction::ToAdapter, byte});
    if (state_ == State::Programming && timeMs - lastReceiveMs_ > ProgramGapMs) {
        state_ = State::AwaitFamily;
    }
    lastReceiveMs_ = timeMs;

    switch (state_) {
    case State::AwaitFamily:
        if (IsFamily(byte)) {
            StartExchange(byte);
        }
        break;
    case State::AwaitCommand:
        switch (byte) {
        case 'r':
        case 'p':
        case 'v':
            command_ = char(byte);
            state_ = State::Announced;
            break;
        case 'w':
            wpo_ = 0x00;
            state_ = State::AwaitFamily;
            break;
        case 'b': {
            // A stuck cell keeps what it held through the erase.
            const bool stuck = faults_.stuckAt >= 0 && faults_.stuckAt < eeprom_.size();
            const char kept = stuck ? eeprom_[faults_.stuckAt] : char(0xff);
            eeprom_.fill(char(0xff));
            if (stuck) {
                eeprom_[faults_.stuckAt] = kept;
            }
            state_ = State::AwaitFamily;
            break;
        }
        case 'e':
            state_ = State::AwaitFamily;
            break;
        default:
            if (IsFamily(byte)) {
                StartExchange(byte);
            }
        }
        break;
    case State::Announced:
        if (byte == 'c') {
            StartDataPhase(timeMs);
        } else if (byte == 'e') {
            state_ = State::AwaitFamily;
        } else if (IsFamily(byte)) {
            StartExchange(byte);
        }
        break;
    case State::Programming: {
        const int size = BlockSize(family_);
        if (programmed_ < DataLimit(size)) {
            const int address = BlockBase() + programmed_;
            // A worn cell keeps 00h whatever it is given; VERIFY then marks it.
            eeprom_[address] = programmed_ == faults_.wornAt   ? char(0)
                               : spoiling_ && programmed_ == 0 ? char(~byte)
                                                               : char(byte);
            reference_[address] = char(byte);
            lastProgrammed_.append(char(byte));
        }
        if (++programmed_ == size) {
            state_ = State::AwaitFamily;
        }
        break;
    }
    }
}

void AdapterModel::StartDataPhase(double timeMs) {
    const int size = BlockSize(family_);
    const int base = BlockBase();
    state_ = State::AwaitFamily;
    switch (command_) {
    case 'r':
        Send(eeprom_.mid(base, DataLimit(size)), timeMs);
        break;
    case 'v': {
        QByteArray marks(DataLimit(size), char(MatchMark));
        for (int i = 0; i < marks.size(); ++i) {
            if (eeprom_[base + i] != reference_[base + i] || i == faults_.mismatchAt) {
                marks[i] = char(MismatchMark);
            }
        }
        Send(marks, timeMs);
        break;
    }
    case 'p':
        ++programs_;
        spoiling_ = std::find(faults_.spoiledPrograms.begin(), faults_.spoiledPrograms.end(),
                              programs_) != faults_.spoiledPrograms.end();
        lastProgrammed_.clear();
        programmed_ = 0;
        state_ = State::Programming;
        break;
    }
}

void AdapterModel::Send(const QByteArray& bytes, double startMs) {
    if (faults_.silent) {
        return;
    }
    // Byte k has crossed the line k+1 byte times after the command that asked for it.
    for (int i = 0; i < bytes.size(); ++i) {
        pending_.push_back(
            {startMs + (i + 1) * Pace(), Direction::FromAdapter, std::uint8_t(bytes[i])});
    }
}

std::vector<WireByte> AdapterModel::TakeReplies(double nowMs) {
    std::vector<WireByte> due;
    while (!pending_.empty() && pending_.front().timeMs <= nowMs) {
        due.push_back(pending_.front());
        pending_.pop_front();
        Log(due.back());
    }
    return due;
}

std::optional<double> AdapterModel::NextReplyMs() const {
    if (pending_.empty()) {
        return std::nullopt;
    }
    return pending_.front().timeMs;
}

void AdapterModel::Log(const WireByte& wire) {
    // Replies are logged when taken, which may be after a later byte to the adapter.
    auto at = std::upper_bound(log_.begin(), log_.end(), wire.timeMs,
                               [](double t, const WireByte& w) { return t < w.timeMs; });
    log_.insert(at, wire);
    if (observer_) {
        observer_(wire);
    }
}

std::vector<WireByte> AdapterModel::WireLog(Direction direction) const {
    std::vector<WireByte> result;
    std::copy_if(log_.begin(), log_.end(), std::back_inserter(result),
                 [direction](const WireByte& w) { return w.direction == direction; });
    return result;
}

QByteArray AdapterModel::WireBytes(Direction direction) const {
    QByteArray bytes;
    for (const WireByte& w : log_) {
        if (w.direction == direction) {
            bytes.append(char(w.byte));
        }
    }
    return bytes;
}

void AdapterModel::SetWireObserver(std::function<void(const WireByte&)> observer) {
    observer_ = std::move(observer);
}

} // namespace adaptersim
