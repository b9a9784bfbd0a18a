// SingleInstance: the claim that makes one copy of the program per user and desktop session.
#pragma once

#include <QString>

// Claims a name that only one process at a time can hold, without writing any file. The claim
// is released when the object is destroyed or the process ends, however it ends.
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
    QString name_;
    int claim_ = -1;  // the platform's handle while the claim is held
};
