#include "AdapterLink.h"

#include "Pause.h"
#include "platform/SerialPort.h"

int BlockSize(const QString& deviceCode) {
    if (deviceCode == QLatin1String("y") || deviceCode == QLatin1String("t")) {
        return 256;
    }
    return 512;
}

AdapterLink::AdapterLink(platform::SerialPort& port, platform::Clock& clock, const bool& abort)
    : port_(port), clock_(clock), abort_(abort) {}

void AdapterLink::Wait(float ms) {
    Pause(clock_, ms, &abort_);
    if (abort_) {
        throw OperationAborted{};
    }
}

void AdapterLink::OpenLink(const QString& deviceCode, char command) {
    port_.SetPortOpen(true);
    port_.Output(deviceCode.toLatin1());
    Wait(CommandGapMs);
    port_.Output(QByteArray(1, command));
    Wait(CommandGapMs);
}

void AdapterLink::StartDataPhase(float settleMs) {
    port_.SetInputLen(1);
    port_.SetRThreshold(1);
    port_.Output(QByteArrayLiteral("c"));
    Wait(settleMs);
}

void AdapterLink::SendDataByte(unsigned char byte) {
    port_.Output(QByteArray(1, static_cast<char>(byte)));
    Wait(SendGapMs);
}

int AdapterLink::ReceiveBlock(int n,
                              const std::function<bool(int count, unsigned char byte)>& onByte) {
    int taken = 0;
    for (int step = 1; step <= n; ++step) {
        port_.SetRThreshold(1);
        bool goOn = true;
        if (port_.CommEvent() == platform::SerialPort::comEvReceive) {
            Wait(ReceiveStepMs);
            const QByteArray input = port_.Input();
            // The receive event stays set after the first byte, so a step may find the
            // queue empty; it takes nothing then rather than inventing a byte.
            if (!input.isEmpty()) {
                ++taken;
                goOn = onByte(taken, static_cast<unsigned char>(input.at(0)));
            }
        }
        port_.SetRThreshold(0);
        if (!goOn) {
            break;
        }
    }
    return taken;
}

void AdapterLink::AbandonLink() {
    port_.Output(QByteArrayLiteral("e"));
    port_.SetPortOpen(false);
}

void AdapterLink::CloseLink() {
    port_.SetPortOpen(false);
}

void AdapterLink::ProgramSettle(int blockSize) {
    const int waits = blockSize == 256 ? 13 : 26;
    for (int i = 0; i < waits; ++i) {
        Wait(SettleStepMs);
    }
}
