#pragma once

#include <QString>

namespace adaptersim {

// A pseudo-terminal in raw mode: the master end for the adapter, the slave's path for the
// program's port. The pair keeps a descriptor of its own on the slave, so the master sees
// no hang-up while no program has the port open and each session finds the line as the
// last one left it.
class PseudoTerminal {
public:
    // Raises std::system_error when the system has no pseudo-terminal to give.
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    int MasterFd() const { return master_; }
    const QString& SlavePath() const { return slavePath_; }

private:
    int master_ = -1;
    int slaveHold_ = -1;
    QString slavePath_;
};

} // namespace adaptersim
