// SingleInstance: the claim that makes one copy of the program per user and desktop session.
#pragma once

#include <QString>
#include <memory>

class QSocketNotifier;

// Claims a name that only one process of this user at a time can hold, without writing any
// file on persistent disk. The claim is released when the object is destroyed or the process
// ends, however it ends. A name that another user holds does not count as a copy running.
class SingleInstance {
public:
    explicit SingleInstance(QString name);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Takes the claim if it is free; true while this object holds it.
    bool TryClaim();

    // The name for this user on this desktop.
    static QString DefaultName();

private:
    void Release();

    QString name_;
    bool held_ = false;
    int listener_ = -1;  // the abstract socket name, when it was free
    int lock_ = -1;      // the lock in the user's private runtime folder, where there is one
    std::unique_ptr<QSocketNotifier> callers_;  // copies asking who holds the name
};
