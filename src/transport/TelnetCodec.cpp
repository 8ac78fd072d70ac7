#include "TelnetCodec.h"

namespace transport {

namespace {

QByteArray Three(unsigned char a, unsigned char b, unsigned char c) {
    QByteArray bytes;
    bytes.append(char(a)).append(char(b)).append(char(c));
    return bytes;
}

bool Wanted(unsigned char option) {
    return option == TelnetCodec::Binary || option == TelnetCodec::SuppressGoAhead ||
           option == TelnetCodec::ComPort;
}

} // namespace

QByteArray TelnetCodec::Greeting() {
    return Three(IAC, WILL, Binary) + Three(IAC, DO, Binary) + Three(IAC, WILL, SuppressGoAhead) +
           Three(IAC, DO, SuppressGoAhead) + Three(IAC, WILL, ComPort);
}

QByteArray TelnetCodec::ComPortCommand(unsigned char command, const QByteArray& value) {
    QByteArray bytes = Three(IAC, SB, ComPort);
    bytes.append(char(command));
    bytes.append(Escape(value));
    bytes.append(char(IAC)).append(char(SE));
    return bytes;
}

QByteArray TelnetCodec::Escape(const QByteArray& data) {
    QByteArray out;
    out.reserve(data.size());
    for (const char c : data) {
        out.append(c);
        if (static_cast<unsigned char>(c) == IAC) {
            out.append(c);
        }
    }
    return out;
}

QByteArray TelnetCodec::Feed(const QByteArray& bytes) {
    QByteArray data;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        switch (state_) {
        case State::Data:
            if (b == IAC) {
                state_ = State::Command;
            } else {
                data.append(c);
            }
            break;
        case State::Command:
            if (b == IAC) {
                data.append(c); // IAC IAC: one FFh of data
                state_ = State::Data;
            } else if (b >= WILL && b <= DONT) {
                verb_ = b;
                state_ = State::Option;
            } else if (b == SB) {
                sub_.clear();
                state_ = State::Subnegotiation;
            } else {
                state_ = State::Data; // NOP, GA, BREAK, ...: nothing for the adapter
            }
            break;
        case State::Option:
            OnOption(verb_, b);
            state_ = State::Data;
            break;
        case State::Subnegotiation:
            if (b == IAC) {
                state_ = State::SubnegotiationIac;
            } else if (sub_.size() < MaxSubnegotiation) {
                sub_.append(c);
            } else if (fault_.isEmpty()) {
                fault_ = QStringLiteral("the server sent a subnegotiation of more than %1 bytes")
                             .arg(MaxSubnegotiation);
            }
            break;
        case State::SubnegotiationIac:
            if (b == SE) {
                OnSubnegotiation();
                state_ = State::Data;
            } else {
                if (b == IAC && sub_.size() < MaxSubnegotiation) {
                    sub_.append(c);
                }
                state_ = State::Subnegotiation;
            }
            break;
        }
    }
    return data;
}

QByteArray TelnetCodec::TakeReplies() {
    QByteArray replies = replies_;
    replies_.clear();
    return replies;
}

void TelnetCodec::OnOption(unsigned char verb, unsigned char option) {
    if (option == ComPort) {
        if (verb == DO) {
            accepted_ = true;
        } else if (verb == DONT) {
            refused_ = true;
        }
    }
    // The client asked for its options already; anything else is declined, and a refusal
    // is never answered (that would loop). Replies stay few: one per request.
    if (Wanted(option) || replies_.size() > 3 * 256) {
        return;
    }
    if (verb == DO) {
        replies_ += Three(IAC, WONT, option);
    } else if (verb == WILL) {
        replies_ += Three(IAC, DONT, option);
    }
}

void TelnetCodec::OnSubnegotiation() {
    if (sub_.size() < 2 || static_cast<unsigned char>(sub_[0]) != ComPort) {
        return;
    }
    const auto command = static_cast<unsigned char>(sub_[1]);
    if (command == NotifyModemState + 100 && sub_.size() >= 3) {
        modemState_ = static_cast<unsigned char>(sub_[2]);
    }
}

} // namespace transport
