#pragma once

#include <sys/types.h>
#include <chrono>
#include <string>
#include <vector>

#include "sheets/descriptor.h"

namespace sheets::calc {

// One private soffice process with a profile of its own in a fresh temporary folder, started under a
// guard. The guard holds a pipe from this program and sees its end, however abrupt: unless the office
// shows a workbook at that moment, the guard ends it and removes what it left (lock files of its
// documents, its pipe, the profile). A shown office stays with the user; the guard cleans up after it
// once it exits.
class OfficeProcess {
public:
    explicit OfficeProcess(bool headless);
    // Ends an office that is still running (unless it was released) and waits for the cleanup.
    ~OfficeProcess();
    OfficeProcess(const OfficeProcess&) = delete;
    OfficeProcess& operator=(const OfficeProcess&) = delete;

    const std::string& pipeName() const { return pipeName_; }
    const std::string& stateDir() const { return stateDir_; }
    pid_t officePid() const { return officePid_; }
    pid_t guardPid() const { return guardPid_; }
    bool headless() const { return headless_; }

    // false once the office and its guard have ended.
    bool running();
    // Waits until the guard has ended (the office gone and cleaned up); false on time-out.
    bool waitForEnd(std::chrono::milliseconds limit);
    // Ends the office by signal (TERM, then KILL) and waits for the cleanup.
    void kill();
    // Whether the office shows a workbook now: decides what the guard does when this program ends.
    void setShown(bool shown);
    // A document of the office whose lock file the guard removes if the office leaves it behind.
    void recordDocument(const std::string& path);
    // Notes the office's named sockets (its own instance pipe among them) for the guard to remove
    // should the office not get to it; to be called once the office accepts connections.
    void recordPipes();
    // Lets the office run on for the user; the guard stays until it exits.
    void release();

private:
    std::vector<std::string> guardArguments() const;
    void startGuard();
    void reap(bool block);

    bool headless_;
    std::string stateDir_;
    std::string pipeName_;
    pid_t guardPid_ = -1;
    pid_t officePid_ = -1;
    Descriptor lifeline_;  // write end of the guard's pipe; closing it tells the guard that we are gone
    bool reaped_ = false;
    bool released_ = false;
};

}  // namespace sheets::calc
