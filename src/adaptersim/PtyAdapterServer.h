#pragma once

#include "AdapterModel.h"
#include "platform/QtClock.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

namespace adaptersim {

// Serves the model on the master end of a pseudo-terminal in real time: bytes the program
// writes are fed to the model as they come, and each reply byte is written when its time
// has come.
class PtyAdapterServer : public QObject {
    Q_OBJECT
public:
    PtyAdapterServer(AdapterModel& model, int masterFd, QObject* parent = nullptr);

private:
    void ReadLine();
    void SendDue();
    void ScheduleNext();

    AdapterModel& model_;
    int masterFd_;
    platform::QtClock clock_;
    QSocketNotifier notifier_;
    QTimer replyTimer_;
};

} // namespace adaptersim
