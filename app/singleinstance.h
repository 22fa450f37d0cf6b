#pragma once
// One program per user and settings file: a later start hands its arguments to the running
// program through a local socket and ends. Two programs writing one saved list would lose entries.
#include "app/startargs.h"

#include <QObject>

#include <functional>
#include <string>

class QLocalServer;
class QLocalSocket;

// The socket of the program that keeps this settings file, in the user's own runtime folder.
std::string InstanceSocketPath(const std::string& settingsFile);

class TSingleInstance : public QObject {
    Q_OBJECT
public:
    explicit TSingleInstance(const std::string& socketPath, QObject* parent = nullptr);

    // Hands the arguments to the running program: true when it has them. Otherwise this program
    // becomes the running one (a socket left by a crashed program is replaced) and false is returned.
    bool HandOver(const TStartArgs& args);

    // Runs for each later start's arguments, from the event loop.
    std::function<void(const TStartArgs&)> OnStart;

    bool Listening() const;

private:
    // Refused: the program closed the connection without an answer.
    enum class TSent { Delivered, NoProgram, Unknown, Refused };
    TSent Send(const TStartArgs& args, bool withLaunch) const;
    void Listen();
    void Accept();
    void Read(QLocalSocket* socket);

    std::string FSocketPath;
    QLocalServer* FServer = nullptr;
};
